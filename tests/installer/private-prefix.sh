#!/usr/bin/env bash
# The emulator of the setup program's tests. Each test program runs in a Wine
# prefix of its own: a fresh copy of the cached template with the build's
# components except ORBAProc.ax (the camera, the codecs), which setup is to
# register. Installing and uninstalling ORBA thus never touches the prefix the
# other tests share. The prefix and its wineserver are gone when this ends.
# Listing the tests needs no prefix of its own.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
for arg in "$@"; do
  [ "$arg" = "--gtest_list_tests" ] && exec "$root/scripts/wine-emulator.sh" "$@"
done
if [ -z "${DISPLAY:-}" ]; then
  echo "private-prefix: DISPLAY must be set (use scripts/run-tests.sh)" >&2
  exit 125
fi
. "$root/scripts/common.sh"
orba_find_wine
build=$(cd "$(dirname "$1")/.." && pwd)

prefix=$(mktemp -d "${TMPDIR:-/tmp}/orba-setup-prefix.XXXXXX") || exit 125
components="$prefix.components"
pid=""
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  WINEPREFIX="$prefix" "$WINESERVER" -k >/dev/null 2>&1
  WINEPREFIX="$prefix" "$WINESERVER" -w >/dev/null 2>&1
  rm -rf "$prefix" "$components"
}
trap 'cleanup; exit 143' TERM INT
trap cleanup EXIT

grep -v '^ax ORBAProc\.ax$' "$build/prefix-components.txt" > "$components"
if ! ORBA_PREFIX="$prefix" ORBA_PREFIX_COMPONENTS="$components" \
    "$root/scripts/wine-prefix.sh" "$build" >&2; then
  echo "private-prefix: preparing $prefix failed" >&2
  exit 125
fi
WINEPREFIX="$prefix" "$root/scripts/wine-emulator.sh" "$@" &
pid=$!
wait "$pid"
rc=$?
pid=""
exit "$rc"
