#!/bin/bash
# Million-page benchmark: serves the generated 1,000,000-page site (and a 20,000-page
# one) with nginx on 127.0.0.1 (outside links to 127.0.0.2, served too), maps each
# with sm as the program runs it (outside links checked, site-health facts on), and
# wget (recursive and spider: the faster counts) and a fetch that parses nothing
# (curl --parallel, 16 at a time, over the list of pages) on the 20,000-page site, in
# the same run. Prints pages per second, the peak memory of sm after 100k, 300k and
# 1M pages, and the map's counts checked against the site's; then an endless
# generated tree (ENDLESS_PAGES: its page limit, default 100000; "default" for sm's
# own); last a table of the figures and their ratios.
# Usage: million.sh [SM_BINARY] [PAGES]   (PAGES default 1000000)
# The generated sites are kept in $BENCH_SITES (default /tmp/vantora-bench-sites):
# writing a million files takes minutes.
set -u
HERE=$(dirname "$(readlink -f "$0")")
SM=$(readlink -f "${1:-$HERE/../../build/bin/sm}")
BIG=${2:-1000000}
SITES=${BENCH_SITES:-/tmp/vantora-bench-sites}
WORK=$(mktemp -d /tmp/vantora-million.XXXXXX)
chmod 755 "$WORK"
PORT=$((20000 + RANDOM % 20000))
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; rm -rf "$WORK"' EXIT
# the port the sites' outside links name, on 127.0.0.2
OUTSIDE=${BENCH_OUTSIDE_PORT:-39999}
mkdir -p "$SITES" && chmod 755 "$SITES"

for n in 20000 "$BIG"; do
    if [ ! -f "$SITES/$n/done" ]; then
        rm -rf "$SITES/$n"
        mkdir -p "$SITES/$n"
        echo "(generating the site of $n pages in $SITES/$n)"
        python3 "$HERE/gen_site.py" "$SITES/$n" "$n" "$OUTSIDE" && touch "$SITES/$n/done"
    fi
done

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
    root $SITES/20000;
    location /err/ { return 500; }
  }
  server {
    listen 127.0.0.1:$((PORT + 1));
    root $SITES/$BIG;
    location /err/ { return 500; }
  }
  # an endless tree: every page links ten new pages below it
  server {
    listen 127.0.0.1:$((PORT + 2));
    location / {
      default_type text/html;
      return 200 "<html><body><a href=\\"\${request_id}0/\\">0</a> <a href=\\"\${request_id}1/\\">1</a> <a href=\\"\${request_id}2/\\">2</a> <a href=\\"\${request_id}3/\\">3</a> <a href=\\"\${request_id}4/\\">4</a> <a href=\\"\${request_id}5/\\">5</a> <a href=\\"\${request_id}6/\\">6</a> <a href=\\"\${request_id}7/\\">7</a> <a href=\\"\${request_id}8/\\">8</a> <a href=\\"\${request_id}9/\\">9</a></body></html>";
    }
  }
  server {
    listen 127.0.0.2:$OUTSIDE reuseport;
    location / { return 200 "outside"; }
  }
}
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" || exit 1
sleep 0.3
# The sites' files read once before anything is timed: on a machine whose other work
# has pushed them out of the page cache, the first crawl would otherwise measure the
# disk (20,000 pages: 17 s cold, under 1 s warm), and the tools after it would not.
echo "(reading the sites' files into the page cache, untimed)"
find "$SITES/20000" "$SITES/$BIG" -type f -print0 | xargs -0 cat > /dev/null

# Runs sm on the site at port $1 of $2 pages; prints a line and, for each of the
# page counts that follow, the peak memory when the crawl had done that many.
run_sm() {
    local port=$1 pages=$2; shift 2
    local dir="$WORK/run.$port"
    mkdir -p "$dir"
    local start end
    start=$(date +%s.%N)
    (cd "$dir" && exec "$SM" "Search_URL=127.0.0.1:$port/${ROOTPATH-index.html}" \
        --facts=facts.jsonl --output=map.txt ${SM_EXTRA:-} 2>"$dir/log") &
    local pid=$! marks=("$@") at=0 peak=0 hwm
    local -a peaks=()
    while kill -0 "$pid" 2>/dev/null; do
        # (a process that has ended but is not yet waited for has no VmHWM line)
        hwm=$(awk '/VmHWM/ {print int($2 / 1024)}' "/proc/$pid/status" 2>/dev/null)
        [ -n "$hwm" ] && peak=$hwm
        done_pages=$(tail -1 "$dir/log" 2>/dev/null | sed -n 's/^sm: \([0-9]*\) pages done.*/\1/p')
        while [ "$at" -lt "${#marks[@]}" ] && [ -n "$done_pages" ] && [ "$done_pages" -ge "${marks[$at]}" ]; do
            peaks+=("${marks[$at]}:${peak}MB")
            at=$((at + 1))
        done
        sleep 0.5
    done
    wait "$pid"
    local rc=$?
    end=$(date +%s.%N)
    local wall pps
    wall=$(echo "$end - $start" | bc -l)
    pps=$(echo "$pages / $wall" | bc -l)
    printf "  sm, %7d pages: %8.1f pages/s  wall %6.1f s  peak %4d MB  (exit %d)\n" "$pages" "$pps" "$wall" "$peak" "$rc"
    LAST_WALL=$wall LAST_PEAK=$peak
    [ ${#peaks[@]} -gt 0 ] && echo "    peak memory by pages done: ${peaks[*]}"
    local map="$dir/map.txt"
    # the site's own counts: every page, one broken link line per page i with i % 13 == 0
    # (and one per image), one error line per page i with i % 97 == 0
    LAST_PPS=$pps LAST_COUNTS=""
    [ -n "${ENDLESS:-}" ] && return
    local listed broken errors
    listed=$(grep -c '^<PAGE>' "$map")
    broken=$(tr -d '\r' < "$map" | grep -c ' 404$')
    errors=$(tr -d '\r' < "$map" | grep -c '^<ERROR>.* 500$')
    echo "    map: $listed pages (site: $pages)," \
         "$broken broken link lines (site: $(( (pages + 12) / 13 )))," \
         "$errors server error lines (site: $(( (pages + 96) / 97 )))," \
         "facts: $(wc -l < "$dir/facts.jsonl") records"
    if [ "$listed" = "$pages" ] && [ "$broken" = $(( (pages + 12) / 13 )) ] &&
        [ "$errors" = $(( (pages + 96) / 97 )) ]; then
        LAST_COUNTS="right"
    else
        LAST_COUNTS="WRONG"
    fi
}

# Runs a command, prints its pages per second; sets LAST_PPS.
measure() { # name pages command...
    local name=$1 pages=$2; shift 2
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    LAST_PPS=$(echo "$pages / ($end - $start)" | bc -l)
    printf "  %-28s %8.1f pages/s\n" "$name, $pages pages:" "$LAST_PPS"
}

echo "sm on 127.0.0.1, outside links checked, site-health facts on"
run_sm "$PORT" 20000
smallPps=$LAST_PPS
run_sm "$((PORT + 1))" "$BIG" 100000 300000 1000000
bigPps=$LAST_PPS bigWall=$LAST_WALL bigPeak=$LAST_PEAK bigCounts=$LAST_COUNTS
endless=${ENDLESS_PAGES:-100000}
if [ "$endless" = default ]; then
    ENDLESS=x ROOTPATH=x/ run_sm "$((PORT + 2))" 2000000 100000 300000 1000000
    endlessNote="sm's default page limit"
else
    ENDLESS=x ROOTPATH=x/ SM_EXTRA=--max-pages=$endless run_sm "$((PORT + 2))" "$endless" 100000 300000 1000000
    endlessNote="a page limit of $endless"
fi
endlessPeak=$LAST_PEAK
echo "    (an endless tree of distinct URLs, ten new links a page, at $endlessNote)"
mkdir -p "$WORK/wget"
ROOT="http://127.0.0.1:$PORT/index.html"
measure "wget --spider" 20000 sh -c "cd '$WORK/wget' && exec wget -q --spider -r -l inf --no-parent '$ROOT'"
wgetPps=$LAST_PPS
measure "wget --recursive" 20000 sh -c "cd '$WORK/wget' && exec wget -q -r -l inf --no-parent --delete-after -P r '$ROOT'"
[ "$(echo "$LAST_PPS > $wgetPps" | bc)" = 1 ] && wgetPps=$LAST_PPS
find "$SITES/20000" -name '*.html' -printf "url = \"http://127.0.0.1:$PORT/%P\"\noutput = \"/dev/null\"\n" > "$WORK/curl.cfg"
measure "fetch-no-parse (curl x16)" 20000 curl -s --parallel --parallel-max 16 -K "$WORK/curl.cfg"
rawPps=$LAST_PPS
ratio() { printf %.2f "$(echo "$1 / $2" | bc -l)"; }
echo
echo "  | figure (same run)                      | value        | target         |"
echo "  |----------------------------------------|--------------|----------------|"
printf "  | sm, %7d pages: time                 | %7.1f s    | <= 70 s        |\n" "$BIG" "$bigWall"
printf "  | sm, %7d pages: pages/s              | %8.0f     |                |\n" "$BIG" "$bigPps"
printf "  | sm, %7d pages: peak memory          | %5d MB     | < 256 MB       |\n" "$BIG" "$bigPeak"
printf "  | sm, %7d pages: pages, broken, errors| %-12s |                |\n" "$BIG" "$bigCounts"
printf "  | sm, 20000 pages: pages/s               | %8.0f     |                |\n" "$smallPps"
printf "  | sm %d / sm 20000 pages/s          | %8s     | >= 0.80        |\n" "$BIG" "$(ratio "$bigPps" "$smallPps")"
printf "  | sm 20000 / wget's faster mode          | %7sx     | >= 5x          |\n" "$(ratio "$smallPps" "$wgetPps")"
printf "  | sm 20000 / fetch-no-parse              | %8s     | >= 0.70        |\n" "$(ratio "$smallPps" "$rawPps")"
printf "  | endless tree: peak memory              | %5d MB     | < 256 MB       |\n" "$endlessPeak"
