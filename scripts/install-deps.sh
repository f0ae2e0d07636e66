#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need.
# The build and test packages must install; the benchmarks' peers and pages
# are installed when the machine can take them, so a machine whose Node.js
# comes from elsewhere still builds and tests.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
PKGS="cmake g++ make pkg-config qt6-base-dev libgl-dev chromium libcurl4-openssl-dev libgumbo-dev \
libcpp-httplib-dev libsqlite3-dev libcpptoml-dev nlohmann-json3-dev libstemmer-dev libidn2-dev libicu-dev zlib1g-dev \
clang-format fonts-dejavu-core xvfb xauth shared-mime-info desktop-file-utils"
# The crawler tests run a real nginx, over https with an authority made by openssl.
PKGS="$PKGS nginx openssl"
# The shared link index on PostgreSQL (libpq), its tests' throwaway cluster,
# and the check of the service unit.
PKGS="$PKGS libpq-dev postgresql systemd"
# Reading saved reports back with a real word processor, and PDF tools for
# the printed pages.
PKGS="$PKGS libreoffice-writer-nogui poppler-utils"
# The accessibility check: the desktop's accessibility bus and its Python
# bindings, and a session bus to carry it.
PKGS="$PKGS at-spi2-core python3-pyatspi dbus-daemon"
# The crawler benchmark's web server, peers and tools, and the keyword
# analysis comparison's documentation pages (python3 and node run it).
BENCH="linkchecker wget curl bc time postgresql-doc-15 debian-reference-en python3"
command -v node >/dev/null 2>&1 || BENCH="$BENCH nodejs"
command -v npm >/dev/null 2>&1 || BENCH="$BENCH npm"

missing() {
  local out="" p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || out="$out $p"
  done
  echo "$out"
}
# shellcheck disable=SC2086
need=$(missing $PKGS)
# shellcheck disable=SC2086
want=$(missing $BENCH)
if [ -n "$need$want" ]; then
  $SUDO apt-get update -qq
fi
if [ -n "$need" ]; then
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need
fi
if [ -n "$want" ]; then
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $want ||
    echo "install-deps: the benchmark packages$want could not all be installed; the build and tests do not need them" >&2
fi
