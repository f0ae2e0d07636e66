#!/usr/bin/env bash
# Retakes the pictures of the help pages from the program under Xvfb, into
# help/images. Build first (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target help_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" build/tests/bin/help_screenshots help/images
