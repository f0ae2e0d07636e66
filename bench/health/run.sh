#!/usr/bin/env bash
# Runs the link-score benchmark from a build: 1,000,000 pages for Vantora,
# and 100,000 pages for both Vantora and the peer (networkx is pure Python and
# far slower, so it gets the smaller site).
set -euo pipefail
build="${1:-$(dirname "$0")/../../build}"
"$build/bin/bench_link_score" "${@:2}"
