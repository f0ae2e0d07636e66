#!/usr/bin/env bash
# Starts the program on a virtual display with the accessibility bus on and
# walks it with a11y_walk.py. Exits 77 (skipped) when the machine lacks the
# accessibility stack, saying what is missing.
#   run_a11y.sh BIN_DIR MAKE_PROJECT [MENU ITEMS...]
set -u -o pipefail
bin=$1; make_project=$2; shift 2
here=$(cd "$(dirname "$0")" && pwd)
missing=""
[ -x /usr/libexec/at-spi-bus-launcher ] || missing="$missing at-spi2-core"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing="$missing python3-pyatspi"
command -v dbus-run-session >/dev/null || missing="$missing dbus"
command -v xvfb-run >/dev/null || missing="$missing xvfb"
if [ -n "$missing" ]; then
  echo "SKIPPED: the accessibility check needs the Debian packages:$missing"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$make_project" "$work/site.zpr" || { echo "FAIL: no test project"; exit 1; }
# A stand-in nmcli with one mobile profile, so that the dial-up dialog has a
# phonebook entry to show (without one it closes at once).
mkdir -p "$work/bin"
cat > "$work/bin/nmcli" <<'NMCLI'
#!/bin/sh
case "$*" in
  "-t -f NAME,TYPE connection show") printf 'Mobile:gsm\n' ;;
  *"-g connection.type connection show id Mobile") echo gsm ;;
  *"-g gsm.username connection show id Mobile") echo owner ;;
  *"-g gsm.password connection show id Mobile") echo secret ;;
  *"-g connection.id connection show id Mobile") echo Mobile ;;
esac
exit 0
NMCLI
chmod +x "$work/bin/nmcli"
export PATH="$work/bin:$PATH"
export A11Y_BIN=$bin A11Y_PROJECT=$work/site.zpr A11Y_WALK=$here/a11y_walk.py
timeout 300 dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  sleep 1
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb
  xvfb-run -a -s "-screen 0 1280x900x24" bash -c "
    # First without a project: the windows the program shows at its start.
    \"\$A11Y_BIN/vantora\" >/dev/null 2>&1 &
    program=\$!
    /usr/bin/python3 \"\$A11Y_WALK\" --start-windows
    first=\$?
    kill \$program 2>/dev/null
    wait \$program 2>/dev/null
    \"\$A11Y_BIN/vantora\" \"\$A11Y_PROJECT\" >/dev/null 2>&1 &
    program=\$!
    /usr/bin/python3 \"\$A11Y_WALK\" \"\$@\"
    status=\$?
    kill \$program 2>/dev/null
    [ \$first -eq 0 ] || exit \$first
    exit \$status" walk "$@"' bash "$@" 2>&1 | grep -v -E "dbus-daemon|SpiRegistry|fd limit"
