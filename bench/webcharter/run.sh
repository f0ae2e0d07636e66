#!/bin/bash
# Crawler benchmark: serves a generated static site with nginx on 127.0.0.1 and maps
# it with sm, wget (recursive and spider) and linkchecker in the same run, printing
# pages per second, CPU seconds and peak memory of each and the ratios.
# Usage: run.sh [SM_BINARY] [PAGES...]   (default pages: 5000 20000)
set -u
SM=$(readlink -f "${1:-$(dirname "$0")/../../build/bin/sm}")
shift || true
SIZES=${*:-5000 20000}
WORK=$(mktemp -d /tmp/vantora-bench.XXXXXX)
chmod 755 "$WORK" # nginx workers may run as another user
PORT=$((20000 + RANDOM % 20000))
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; rm -rf "$WORK"' EXIT

cat > "$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  default_type text/html;
  types { text/html html; }
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$PORT;
    root $WORK/site;
    # linkchecker only goes past 10 requests a second to servers that send this.
    add_header LinkChecker 1;
    location /err/ { return 500; }
  }
}
CONF

# linkchecker limits itself to 10 requests a second per host unless told otherwise
# (and the server sends a LinkChecker header, see above).
printf '[checking]\nmaxrequestspersecond=100000\n' > "$WORK/linkcheckerrc"

measure() { # name pages command... ; prints one line, sets LAST_PPS LAST_CPU LAST_MEM
    local name=$1 pages=$2; shift 2
    local out="$WORK/time.$name"
    ( cd "$WORK/run" && /usr/bin/time -f "%e %U %S %M" -o "$out" "$@" >/dev/null 2>"$WORK/log.$name" )
    read -r wall user sys mem < <(tail -1 "$out")
    LAST_CPU=$(echo "$user + $sys" | bc -l)
    LAST_PPS=$(echo "$pages / ($wall + 0.005)" | bc -l)
    LAST_MEM=$((mem / 1024))
    printf "  %-22s %8.1f pages/s  wall %6.2f s  CPU %6.2f s  %6.1f ms CPU/page  peak %4d MB\n" \
        "$name" "$LAST_PPS" "$wall" "$LAST_CPU" "$(echo "$LAST_CPU * 1000 / $pages" | bc -l)" "$LAST_MEM"
}

for n in $SIZES; do
    rm -rf "$WORK/site" "$WORK/run"; mkdir -p "$WORK/site" "$WORK/run"
    python3 "$(dirname "$0")/gen_site.py" "$WORK/site" "$n"
    kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; sleep 0.2
    nginx -c "$WORK/nginx.conf" -p "$WORK" || exit 1
    sleep 0.3
    echo "Site of $n pages on 127.0.0.1:$PORT (external links to 127.0.0.2, checks off)"
    measure sm "$n" "$SM" "Search_URL=127.0.0.1:$PORT/index.html" --no-external --quiet
    smPps=$LAST_PPS; smCpu=$LAST_CPU; smMem=$LAST_MEM
    listed=$(grep -c '^<PAGE>' "$WORK/run/sitemap.tmp")
    echo "  sm listed $listed pages, $(grep -c '^<ERROR>' "$WORK/run/sitemap.tmp") error lines, $(wc -l < "$WORK/run/sitemap.tmp") lines"
    measure wget-recursive "$n" wget -q -r -l inf --no-parent --delete-after -P "$WORK/run/w" "http://127.0.0.1:$PORT/index.html"
    wPps=$LAST_PPS; wCpu=$LAST_CPU
    measure wget-spider "$n" wget -q --spider -r -l inf --no-parent "http://127.0.0.1:$PORT/index.html"
    sPps=$LAST_PPS
    lPps=0
    if [ "$n" -le 5000 ] || [ "${BENCH_LINKCHECKER_ALL:-0}" = 1 ]; then
        measure linkchecker "$n" linkchecker -f "$WORK/linkcheckerrc" -t 10 --no-warnings --no-status -o none --ignore-url='^http://127\.0\.0\.2' "http://127.0.0.1:$PORT/index.html"
        lPps=$LAST_PPS
    fi
    echo "  ratios: sm/wget-recursive $(printf %.2f "$(echo "$smPps / $wPps" | bc -l)")x (target 3)," \
         "sm/wget-spider $(printf %.2f "$(echo "$smPps / $sPps" | bc -l)")x," \
         "sm/linkchecker $( [ "$lPps" != 0 ] && printf %.1f "$(echo "$smPps / $lPps" | bc -l)" || echo n/a)x (target 25)," \
         "CPU per page sm/wget $(printf %.2f "$(echo "$smCpu / $wCpu" | bc -l)") (target < 1), sm peak ${smMem} MB (target < 100)"
done
