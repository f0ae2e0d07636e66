#!/usr/bin/env bash
# The server's systemd unit: systemd-analyze verify finds nothing to say
# about it (with the program path pointed at the build), and it keeps the
# hardening the package promises. Skipped (77) without systemd-analyze.
set -euo pipefail
unit="$1"
program="$2"
if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "SKIPPED: systemd-analyze is not installed (package systemd)"
  exit 77
fi
for line in "User=vantora" "NoNewPrivileges=yes" "ProtectSystem=strict" "PrivateTmp=yes" \
  "StateDirectory=vantora" "ExecReload=/bin/kill -HUP \$MAINPID" "StandardError=journal" \
  "--config /etc/vantora/vantora-server.toml"; do
  grep -qF -- "$line" "$unit" || { echo "FAIL: $unit lacks $line"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s#/usr/lib/vantora/vantora-server#$program#" "$unit" >"$work/vantora-server.service"
if ! out=$(systemd-analyze verify --man=no "$work/vantora-server.service" 2>&1); then
  echo "FAIL: systemd-analyze verify: $out"
  exit 1
fi
if [ -n "$out" ]; then
  echo "FAIL: systemd-analyze verify warns: $out"
  exit 1
fi
echo "unit verified"
