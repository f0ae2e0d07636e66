#!/usr/bin/env bash
# Sets up, builds and starts the program; extra arguments go to vantora.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec ./build/bin/vantora "$@"
