#!/usr/bin/env bash
# Sets up, builds and runs every test under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j2 --timeout 900
