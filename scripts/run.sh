#!/usr/bin/env bash
# Sets up, builds and starts the program; extra arguments go to vantora and
# are read from the folder this script was started in.
set -euo pipefail
caller="$PWD"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
scripts/build.sh
cd "$caller"
exec "$root/build/bin/vantora" "$@"
