#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
PKGS="cmake g++ make pkg-config qt6-base-dev libgl-dev chromium libcurl4-openssl-dev libgumbo-dev \
libcpp-httplib-dev libsqlite3-dev libcpptoml-dev nlohmann-json3-dev libstemmer-dev \
clang-format fonts-dejavu-core xvfb xauth shared-mime-info desktop-file-utils"
# Reading saved reports back with a real word processor, and PDF tools for
# the printed pages.
PKGS="$PKGS libreoffice-writer-nogui poppler-utils"
# The accessibility check: the desktop's accessibility bus and its Python
# bindings, and a session bus to carry it.
PKGS="$PKGS at-spi2-core python3-pyatspi dbus-daemon"
# The crawler benchmark's web server, peers and tools.
PKGS="$PKGS nginx linkchecker wget curl bc time nodejs npm"
# The keyword analysis comparison's documentation pages (python3 and node run it).
PKGS="$PKGS postgresql-doc-15 debian-reference-en python3"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
