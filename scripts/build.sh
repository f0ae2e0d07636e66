#!/usr/bin/env bash
# Configures and builds everything into ./build (programs in ./build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=""
if command -v ccache >/dev/null 2>&1; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"; fi
# shellcheck disable=SC2086
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher >/dev/null
cmake --build build -j"$(nproc)"
