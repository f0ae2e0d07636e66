#!/bin/bash
# The program on the generated 1,000,000-page site: serves it with nginx on
# 127.0.0.1 (outside links on 127.0.0.2), runs bench_program (the main window,
# "Update Site Map" with the real sm and facts, the crawl kept and shown, Select
# All, save, close, open) with a settings folder of its own, and, in the same run,
# sm alone on the same site as the reference for the crawl's own time and memory.
# Usage: run.sh [BUILD_DIR] [PAGES]   (PAGES default 1000000; the site is kept in
# $BENCH_SITES, default /tmp/vantora-bench-sites, generated when missing)
set -u
HERE=$(dirname "$(readlink -f "$0")")
BUILD=$(readlink -f "${1:-$HERE/../../build}")
PAGES=${2:-1000000}
SITES=${BENCH_SITES:-/tmp/vantora-bench-sites}
WORK=$(mktemp -d /tmp/vantora-program.XXXXXX)
chmod 755 "$WORK"
PORT=$((20000 + RANDOM % 20000))
OUTSIDE=${BENCH_OUTSIDE_PORT:-39999}
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; rm -rf "$WORK"' EXIT
mkdir -p "$SITES" && chmod 755 "$SITES"
if [ ! -f "$SITES/$PAGES/done" ]; then
    rm -rf "$SITES/$PAGES" && mkdir -p "$SITES/$PAGES"
    echo "(generating the site of $PAGES pages in $SITES/$PAGES)"
    python3 "$HERE/../webcharter/gen_site.py" "$SITES/$PAGES" "$PAGES" "$OUTSIDE" &&
        touch "$SITES/$PAGES/done"
fi
# The outside server listens with reuseport: benchmarks run at the same time
# share its address (the generated sites link to it), each answering the same.
cat > "$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  default_type text/html;
  types { text/html html; }
  keepalive_requests 1000000;
  server {
    listen 127.0.0.1:$PORT;
    root $SITES/$PAGES;
    location /err/ { return 500; }
  }
  server {
    listen 127.0.0.2:$OUTSIDE reuseport;
    location / { return 200 "outside"; }
  }
}
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" || exit 1
sleep 0.3
echo "(reading the site's files into the page cache, untimed)"
find "$SITES/$PAGES" -type f -print0 | xargs -0 cat > /dev/null

echo "reference: sm alone, $PAGES pages, facts on"
mkdir -p "$WORK/sm"
/usr/bin/time -f "  sm: %e s, peak %M kB" \
    sh -c "cd '$WORK/sm' && exec '$BUILD/bin/sm' 'Search_URL=127.0.0.1:$PORT/index.html' \
           --facts=facts.jsonl --output=map.txt 2>log"
echo "  map: $(grep -c '^<PAGE>' "$WORK/sm/map.txt") pages, $(du -m "$WORK/sm/map.txt" | cut -f1) MB;" \
     "facts $(du -m "$WORK/sm/facts.jsonl" | cut -f1) MB"
rm -rf "$WORK/sm"

echo "the program (bench_program), same site:"
export XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" XDG_CACHE_HOME="$WORK/cache"
mkdir -p "$WORK/project"
/usr/bin/time -f "  bench_program: %e s, peak %M kB" \
    ${BENCH_WRAP:-} "$BUILD/bin/bench_program" "$WORK/project/big.zpr" "http://127.0.0.1:$PORT/"
