#!/usr/bin/env bash
# Runs the x86_64 tests under wine64 in a private Xvfb with one wineserver kept
# alive for the whole run. Extra arguments go to ctest (for example -R pattern).
# Usage: run-tests.sh <x86_64 build folder> [ctest args...]
set -euo pipefail
. "$(dirname "$0")/common.sh"
orba_find_wine
build=$(cd "$1" && pwd); shift

# shellcheck source=/dev/null
. "$ORBA_ROOT/scripts/xvfb.sh"
orba_start_xvfb
trap 'orba_stop_all' EXIT

"$ORBA_ROOT/scripts/wine-prefix.sh" "$build"
export WINEPREFIX="$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
"$WINESERVER" -p
orba_wineserver_started=1
# Warm up the prefix's services so that the first test does not pay for them.
"$WINE64" cmd /c exit >/dev/null 2>&1 || true
# Start Wine's desktop process now, away from ctest's pipes, and keep it alive:
# started by a test it would hold that test's output pipe open for about a
# second after the test ends, and ctest would wait for it every time.
if [ -f "$build/bin/wine_desktop_keeper.exe" ]; then
  ready="$build/desktop-ready"
  rm -f "$ready"
  "$WINE64" "$build/bin/wine_desktop_keeper.exe" "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do [ -f "$ready" ] && break; sleep 0.1; done
fi

# A small drive that fills up, for the tests of a full disk: a 16 MiB tmpfs as
# drive S:. Mounting needs root; without it those tests say they were skipped.
small="$build/small-drive"
mkdir -p "$small"
if mountpoint -q "$small" || mount -t tmpfs -o size=16m orba-small-drive "$small" 2>/dev/null; then
  trap 'orba_stop_all; umount "$small" 2>/dev/null || true' EXIT
  ln -sfn "$small" "$WINEPREFIX/dosdevices/s:"
  export ORBA_TEST_SMALL_DRIVE='S:'
else
  orba_log "no small drive (mounting a tmpfs needs root): full-disk tests are skipped"
fi

set +e
ctest --test-dir "$build" --output-on-failure --timeout 300 "$@" 2>&1 | tee "$build/ctest.log"
rc=${PIPESTATUS[0]}
set -e
exit "$rc"
