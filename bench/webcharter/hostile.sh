#!/bin/bash
# Hostile-page benchmark: pages of 10 MB, each holding 480,000 distinct links
# (five in six to pages of the site that answer 404, the rest to another host
# that answers 200), served by nginx on 127.0.0.1 and 127.0.0.2. Maps the site
# with sm as the program runs it (outside links checked, site-health facts on)
# with one such page and with four, and runs wget's spider over the one-page site beside it
# in the same run, each under a 120 s budget. Prints wall time, peak memory and
# what each reported; sm must stay bounded whatever the page holds.
# Usage: hostile.sh [SM_BINARY]
set -u
HERE=$(dirname "$(readlink -f "$0")")
SM=$(readlink -f "${1:-$HERE/../../build/bin/sm}")
WORK=$(mktemp -d /tmp/vantora-hostile.XXXXXX)
chmod 755 "$WORK"
PORT=$((20000 + RANDOM % 20000))
trap 'kill $(cat "$WORK/nginx.pid" 2>/dev/null) 2>/dev/null; rm -rf "$WORK"' EXIT

mkdir -p "$WORK/one" "$WORK/four"
python3 - "$WORK" "$PORT" <<'PY'
import sys
work, port = sys.argv[1], int(sys.argv[2])
def page(seed):
    parts = ["<html><head><title>Links</title></head><body>"]
    for i in range(480000):
        if i % 6:
            parts.append('<a href=/%d/%06d>' % (seed, i))
        else:
            parts.append('<a href=//127.0.0.2:%d/%d/%06d>' % (port + 1, seed, i))
    return "".join(parts)
open(work + "/one/index.html", "w").write(page(0))
# the other pages are linked first, so that they are among the links kept
more = "".join('<a href="p%d.html">p</a>' % n for n in (1, 2, 3))
open(work + "/four/index.html", "w").write(page(0).replace("<body>", "<body>" + more, 1))
for n in (1, 2, 3):
    open(work + "/four/p%d.html" % n, "w").write(page(n))
PY
cat > "$WORK/nginx.conf" <<CONF
worker_processes 1;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  default_type text/html;
  keepalive_requests 1000000;
  server { listen 127.0.0.1:$PORT; root $WORK/one; }
  server { listen 127.0.0.1:$((PORT + 2)); root $WORK/four; }
  server { listen 127.0.0.2:$((PORT + 1)); location / { return 200 "ok"; } }
}
CONF
nginx -c "$WORK/nginx.conf" -p "$WORK" || { echo "nginx did not start"; exit 1; }
sleep 0.5
echo "hostile pages: $(du -h "$WORK/one/index.html" | cut -f1) each, 480000 distinct links"

run() { # label, then the command
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$WORK/time" timeout 120 "$@" >"$WORK/out" 2>"$WORK/err"
    local rc=$?
    # the last line: time puts "Command exited with..." before it on a failure
    read -r wall kb < <(tail -n 1 "$WORK/time") || { wall=0; kb=0; }
    printf "  %-28s wall %6.1f s  peak %5d MB  (exit %d)\n" "$label" "$wall" $((kb / 1024)) "$rc"
}
for site in "one page":$PORT "four pages":$((PORT + 2)); do
    name=${site%%:*}
    port=${site##*:}
    rm -f "$WORK/map.txt" "$WORK/map.txt.facts"
    run "sm, $name" "$SM" "Search_URL=127.0.0.1:$port/" --output="$WORK/map.txt" \
        --facts="$WORK/map.txt.facts" --quiet
    grep -E "left out|broken links|not checked" "$WORK/err" | head -n 4 | sed 's/^/      /'
done
mkdir -p "$WORK/wget"
run "wget --spider, one page" wget -q --spider -r -l 1 -H -D 127.0.0.1,127.0.0.2 \
    -P "$WORK/wget" "http://127.0.0.1:$PORT/index.html"
echo "  (wget: the 120 s budget ends it if it has not asked for every link by then)"
