#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root made with
# debootstrap and checks that the programs answer and the window starts
# under Xvfb. Needs root, debootstrap and a Debian mirror.
#   packaging/check-in-chroot.sh build/vantora_*.deb [ROOT]
set -euo pipefail
deb=$(readlink -f "$1")
root=${2:-/var/tmp/vantora-chroot}
mirror=${MIRROR:-http://deb.debian.org/debian}
if [ ! -x "$root/usr/bin/apt-get" ]; then
  debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
cp "$deb" "$root/tmp/vantora.deb"
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
trap 'umount "$root/proc" 2>/dev/null || true' EXIT
chroot "$root" bash -c 'apt-get update -qq &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    /tmp/vantora.deb xvfb xauth x11-apps imagemagick >/dev/null'
chroot "$root" bash -c '
  set -e
  sm --help | head -n 1
  vantora-server --help | head -n 1
  export HOME=/tmp/home
  mkdir -p $HOME
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
    vantora & pid=\$!
    sleep 8
    xwd -root -silent | convert xwd:- /tmp/vantora-window.png
    kill -0 \$pid && kill \$pid"
  echo "window started; screenshot in /tmp/vantora-window.png"'
cp "$root/tmp/vantora-window.png" . && echo "copied vantora-window.png"
