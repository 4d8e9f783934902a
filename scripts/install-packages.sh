#!/usr/bin/env bash
# Installs the build and test packages on a Debian machine (as root). Never the
# `wine` or `wine32` packages: the `wine` wrapper would prefer the 32-bit loader,
# which this kind of kernel cannot run. clang, libFuzzer and the host's TurboJPEG
# are for the host-side fuzz targets (tests/fuzz).
set -euo pipefail
pkgs="wine64 xvfb xdotool x11-apps imagemagick g++-mingw-w64-x86-64 g++-mingw-w64-i686 cmake ninja-build nasm googletest python3 binutils-mingw-w64-i686 dpkg-dev nsis clang libfuzzer-14-dev libclang-rt-14-dev libturbojpeg0-dev"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
if [ -z "$missing" ]; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
echo "== installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq || true
apt-get install -y -qq $missing >/dev/null
