#!/bin/sh
# Wordweigh beside the peer: builds the page set (documentation pages from
# Debian's postgresql-doc-15 and debian-reference-en, and small-business
# pages written by make_pages.py), installs the peer from npm into this
# folder's node_modules when it is missing, and runs bench_wordweigh.
# Usage: bench/wordweigh/run.sh [path/to/bench_wordweigh] [page folder]
set -e
here=$(cd "$(dirname "$0")" && pwd)
bench=${1:-$here/../../build/bin/bench_wordweigh}
pages=${2:-${TMPDIR:-/tmp}/vantora-wordweigh-pages}
if [ ! -d "$here/node_modules/yoastseo" ]; then
    (cd "$here" && npm install --no-audit --no-fund --silent)
fi
python3 "$here/make_pages.py" "$pages"
nice -n 19 "$bench" "$pages/manifest.tsv" "$here"
