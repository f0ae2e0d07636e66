#!/usr/bin/env bash
# Runs the health benchmarks from a build.
#   run.sh [BUILD] [ARGS...]         link scores: 1,000,000 pages for Vantora, and
#                                    100,000 pages for both Vantora and the peer
#                                    (networkx is pure Python and far slower)
#   run.sh [BUILD] checks [PAGES]    the checks over the facts of a generated crawl
#                                    (1,000,000 pages), beside python3 reading them
set -euo pipefail
build="${1:-$(dirname "$0")/../../build}"
if [ "${2:-}" = checks ]; then
    "$build/bin/bench_health_checks" "${@:3}"
else
    "$build/bin/bench_link_score" "${@:2}"
fi
