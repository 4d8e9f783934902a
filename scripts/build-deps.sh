#!/usr/bin/env bash
# Builds libjpeg-turbo (static, SIMD, TurboJPEG API) for both Windows targets from
# Debian's source package. The result is cached outside the source tree.
set -euo pipefail
. "$(dirname "$0")/common.sh"

jt_root="$ORBA_CACHE/libjpeg-turbo"
mkdir -p "$jt_root"

need_build=0
for arch in $ORBA_ARCHES; do
  [ -f "$jt_root/install-$arch/.complete" ] || need_build=1
done
if [ $need_build = 0 ]; then
  orba_log "libjpeg-turbo: cached in $jt_root"
  exit 0
fi

src_dir=$(ls -d "$jt_root"/src/libjpeg-turbo-*/ 2>/dev/null | head -n 1 || true)
if [ -z "$src_dir" ]; then
  mkdir -p "$jt_root/dl"
  fetch_source() { ( cd "$jt_root/dl" && apt-get source --download-only libjpeg-turbo ); }
  if [ "$(id -u)" = 0 ]; then
    "$ORBA_ROOT/scripts/enable-deb-src.sh"
    fetch_source || { apt-get update -qq; fetch_source; }
  elif ! fetch_source; then
    # The source entries and package lists are the system's; only root can add them.
    echo "build-deps: apt-get cannot fetch the libjpeg-turbo source package; as root, run scripts/enable-deb-src.sh and apt-get update once, then this again" >&2
    exit 1
  fi
  orig=$(ls "$jt_root"/dl/libjpeg-turbo_*.orig.tar.gz | head -n 1)
  mkdir -p "$jt_root/src"
  tar -xzf "$orig" -C "$jt_root/src"
  src_dir=$(ls -d "$jt_root"/src/libjpeg-turbo-*/ | head -n 1)
fi
src_dir=${src_dir%/}
orba_log "libjpeg-turbo: building from $src_dir"

for arch in $ORBA_ARCHES; do
  inst="$jt_root/install-$arch"
  [ -f "$inst/.complete" ] && continue
  bld="$jt_root/build-$arch"
  rm -rf "$bld" "$inst"
  cmake -S "$src_dir" -B "$bld" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ORBA_ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
    -DCMAKE_INSTALL_PREFIX="$inst" >"$jt_root/configure-$arch.log" 2>&1 \
    || { cat "$jt_root/configure-$arch.log"; exit 1; }
  ninja -C "$bld" turbojpeg-static jpeg-static >"$jt_root/build-$arch.log" 2>&1 \
    || { tail -50 "$jt_root/build-$arch.log"; exit 1; }
  mkdir -p "$inst/lib" "$inst/include"
  cp "$bld/libturbojpeg.a" "$bld/libjpeg.a" "$inst/lib/"
  cp "$src_dir/turbojpeg.h" "$inst/include/"
  touch "$inst/.complete"
  orba_log "libjpeg-turbo: $arch installed in $inst"
done
