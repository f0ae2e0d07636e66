#!/usr/bin/env bash
# Installs the build into a scratch root and checks what a desktop needs:
# the programs together in one program folder, links on the PATH, the
# desktop entry, the *.zpr file type and the icons at every size.
set -u
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
dir="$root/usr/lib/vantora"
for p in vantora sm vantora-server vantora-cli; do
  check "$p in the program folder" "[ -x '$dir/$p' ] && [ ! -L '$dir/$p' ]"
  check "$p linked from bin" "[ \"\$(readlink '$root/usr/bin/$p')\" = '../lib/vantora/$p' ]"
done
for m in vantora-cli vantora sm vantora-server; do
  check "$m manual page" "[ -f '$root/usr/share/man/man1/$m.1' ]"
  if command -v groff >/dev/null; then
    check "$m manual page reads cleanly" "[ -z \"\$(groff -man -Tutf8 -ww -z '$root/usr/share/man/man1/$m.1' 2>&1)\" ]"
  fi
done
check "service unit, not enabled" "[ -f '$root/usr/lib/systemd/system/vantora-server.service' ] && [ ! -e '$root/etc/systemd/system/multi-user.target.wants/vantora-server.service' ]"
check "service configuration readable by its group only" "[ \"\$(stat -c %a '$root/etc/vantora/vantora-server.toml')\" = 640 ]"
check "example server configuration beside the server" "[ -f '$dir/vantora-server.example.toml' ]"
if [ -d "$(dirname "$0")/../../help" ]; then
  check "Help/ beside the programs" "[ -f '$dir/Help/index.htm' ]"
fi
desktop="$root/usr/share/applications/vantora.desktop"
check "desktop entry" "[ -f '$desktop' ]"
check "desktop entry opens project files" "grep -q '^MimeType=application/x-zeph-project;' '$desktop'"
check "desktop entry icon" "grep -q '^Icon=vantora$' '$desktop'"
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry valid" "desktop-file-validate '$desktop'"
fi
check "*.zpr file type" "grep -q 'glob pattern=\"\\*.zpr\"' '$root/usr/share/mime/packages/vantora-project.xml'"
for s in 16 22 24 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${s}x$s/apps/vantora.png"
  check "icon ${s}px" "[ -f '$png' ] && [ \"\$(od -An -tu1 -j16 -N8 '$png' | awk '{print \$3*256+\$4, \$7*256+\$8}')\" = '$s $s' ]"
done
if [ $fail -eq 0 ]; then echo "install layout OK"; fi
exit $fail
