#!/bin/bash
# Crawler benchmark: serves a generated static site with nginx on 127.0.0.1 (outside
# links go to 127.0.0.2, served too) and maps it with sm as the program runs it
# (outside links checked), with and without the site-health facts (--facts), beside
# wget (recursive and spider), linkchecker and linkinator in the same run, and beside a parallel fetch that parses nothing
# (curl --parallel, 16 at a time, over the list of pages). Prints pages per second,
# CPU seconds and peak memory of each, and the ratios.
# Usage: run.sh [SM_BINARY] [SITES...]
#   a site is PAGES (small pages, 0.5 KB on average) or PAGESL (30-150 KB pages);
#   default: 5000 20000 1000L
set -u
HERE=$(dirname "$(readlink -f "$0")")
SM=$(readlink -f "${1:-$HERE/../../build/bin/sm}")
shift || true
SITES=${*:-5000 20000 1000L}
WORK=$(mktemp -d /tmp/vantora-bench.XXXXXX)
chmod 755 "$WORK" # nginx workers may run as another user
PORT=$((20000 + RANDOM % 20000))
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; rm -rf "$WORK"' EXIT

# linkinator from npm, kept in this folder (node_modules is not committed); version 6
# runs on the Node.js of Debian 12.
LINKINATOR="$HERE/node_modules/.bin/linkinator"
if [ ! -x "$LINKINATOR" ]; then
    npm install --prefix "$HERE" --no-save --no-audit --no-fund linkinator@6 >/dev/null 2>&1 ||
        echo "(linkinator could not be installed; it is left out)"
fi

cat > "$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 4096; }
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
  server {
    listen 127.0.0.2:$PORT;
    location / { return 200 "outside"; }
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
    printf "  %-22s %8.1f pages/s  wall %6.2f s  CPU %6.2f s  %6.2f ms CPU/page  peak %4d MB\n" \
        "$name" "$LAST_PPS" "$wall" "$LAST_CPU" "$(echo "$LAST_CPU * 1000 / $pages" | bc -l)" "$LAST_MEM"
}
ratio() { [ "$2" != 0 ] && printf %.2f "$(echo "$1 / $2" | bc -l)" || echo n/a; }

for site in $SITES; do
    n=${site%L}
    large=""; [ "$site" != "$n" ] && large=--large
    rm -rf "$WORK/site" "$WORK/run"; mkdir -p "$WORK/site" "$WORK/run"
    python3 "$HERE/gen_site.py" "$WORK/site" "$n" "$PORT" $large
    kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; sleep 0.2
    nginx -c "$WORK/nginx.conf" -p "$WORK" || exit 1
    sleep 0.3
    ROOT="http://127.0.0.1:$PORT/index.html"
    echo "Site of $n pages${large:+ (large pages, $(du -sm "$WORK/site" | cut -f1) MB)} on 127.0.0.1:$PORT, outside links to 127.0.0.2 checked"
    measure sm "$n" "$SM" "Search_URL=127.0.0.1:$PORT/index.html" --quiet
    smPps=$LAST_PPS; smCpu=$LAST_CPU; smMem=$LAST_MEM
    cp "$WORK/run/sitemap.tmp" "$WORK/sitemap.plain"
    # The same crawl writing the site-health facts beside the map, alternated
    # with plain runs; the best of two of each is compared. The map must not change.
    measure sm-facts "$n" "$SM" "Search_URL=127.0.0.1:$PORT/index.html" --quiet --facts=facts.jsonl
    fPps=$LAST_PPS; fCpu=$LAST_CPU; fMem=$LAST_MEM
    cmp -s "$WORK/run/sitemap.tmp" "$WORK/sitemap.plain" || echo "  FAIL: the map written with --facts differs"
    measure sm "$n" "$SM" "Search_URL=127.0.0.1:$PORT/index.html" --quiet
    [ "$(echo "$LAST_PPS > $smPps" | bc)" = 1 ] && { smPps=$LAST_PPS; smCpu=$LAST_CPU; }
    measure sm-facts "$n" "$SM" "Search_URL=127.0.0.1:$PORT/index.html" --quiet --facts=facts.jsonl
    [ "$(echo "$LAST_PPS > $fPps" | bc)" = 1 ] && { fPps=$LAST_PPS; fCpu=$LAST_CPU; }
    echo "  facts: $(wc -l < "$WORK/run/facts.jsonl") records, $(du -k "$WORK/run/facts.jsonl" | cut -f1) KB;" \
         "pages/s with facts / without $(ratio "$fPps" "$smPps") (target >= 0.90)," \
         "CPU $(ratio "$fCpu" "$smCpu")x, peak ${fMem} MB with, ${smMem} MB without"
    echo "  sm listed $(grep -c '^<PAGE>' "$WORK/run/sitemap.tmp") pages, $(grep -c '^<ERROR>' "$WORK/run/sitemap.tmp") error lines, $(grep -c '^<LINK>' "$WORK/run/sitemap.tmp") outside links"
    find "$WORK/site" -name '*.html' -printf "url = \"http://127.0.0.1:$PORT/%P\"\noutput = \"/dev/null\"\n" > "$WORK/curl.cfg"
    # the best of two, as for sm
    measure fetch-no-parse "$n" curl -s --parallel --parallel-max 16 -K "$WORK/curl.cfg"
    cPps=$LAST_PPS
    measure fetch-no-parse "$n" curl -s --parallel --parallel-max 16 -K "$WORK/curl.cfg"
    [ "$(echo "$LAST_PPS > $cPps" | bc)" = 1 ] && cPps=$LAST_PPS
    measure wget-recursive "$n" wget -q -r -l inf --no-parent --delete-after -P "$WORK/run/w" "$ROOT"
    wPps=$LAST_PPS; wCpu=$LAST_CPU
    measure wget-spider "$n" wget -q --spider -r -l inf --no-parent "$ROOT"
    sPps=$LAST_PPS
    kPps=0
    if [ -x "$LINKINATOR" ]; then
        # it follows only links that begin with the root it is given: the folder
        measure linkinator "$n" "$LINKINATOR" "http://127.0.0.1:$PORT/" --recurse --silent --format CSV
        kPps=$LAST_PPS
    fi
    lPps=0
    if [ "$n" -le 5000 ] || [ "${BENCH_LINKCHECKER_ALL:-0}" = 1 ]; then
        measure linkchecker "$n" linkchecker -f "$WORK/linkcheckerrc" -t 10 --check-extern --no-warnings --no-status -o none "$ROOT"
        lPps=$LAST_PPS
    fi
    # wget's fastest mode: the faster of its two
    fastest=$wPps; [ "$(echo "$sPps > $wPps" | bc)" = 1 ] && fastest=$sPps
    wgetTarget=5; [ -n "$large" ] && wgetTarget=3
    echo "  ratios: sm/wget-recursive $(ratio "$smPps" "$wPps")x," \
         "sm/wget-spider $(ratio "$smPps" "$sPps")x," \
         "sm/wget-fastest $(ratio "$smPps" "$fastest")x (target $wgetTarget)," \
         "sm/linkchecker $(ratio "$smPps" "$lPps")x (target 25)," \
         "sm/linkinator $(ratio "$smPps" "$kPps")x (target 3),"
    echo "          sm/fetch-no-parse $(ratio "$smPps" "$cPps")x (target 0.70)," \
         "sm-facts/fetch-no-parse $(ratio "$fPps" "$cPps")x," \
         "CPU per page sm/wget $(ratio "$smCpu" "$wCpu"), sm peak ${smMem} MB (target < 100 at 20000 pages)"
done
