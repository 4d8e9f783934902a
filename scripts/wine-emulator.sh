#!/usr/bin/env bash
# The x86_64 build's CMAKE_CROSSCOMPILING_EMULATOR. Refuses to run without an
# explicit prefix and display, so a stray ctest never creates ~/.wine.
#
# Once in a few thousand starts the wine64 loader ends at once with an error
# and without running the program: no line of output at all. Such a start is
# tried again (twice at most). A program that has written anything, or that
# ended with code 0, is never run a second time.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-emulator: WINEPREFIX and DISPLAY must be set (use scripts/run-tests.sh)" >&2
  exit 125
fi
wine64=${WINE64:-}
[ -x "$wine64" ] || wine64=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
[ -x "${wine64:-}" ] || wine64=/usr/lib/wine/wine64

out=$(mktemp "${TMPDIR:-/tmp}/wine-emulator.XXXXXX") || exec "$wine64" "$@"
pid=""
cleanup() { rm -f "$out"; }
# Stopped (a ctest time-out): stop the program too, and show what it wrote.
stop() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null
  cat "$out" 2>/dev/null
  cleanup
  exit 143
}
trap stop TERM INT
trap cleanup EXIT

rc=0
for attempt in 1 2 3; do
  "$wine64" "$@" >"$out" 2>&1 </dev/null &
  pid=$!
  wait "$pid"
  rc=$?
  pid=""
  if [ "$rc" -eq 0 ] || [ -s "$out" ]; then
    break
  fi
  echo "wine-emulator: $1 ended with code $rc before it wrote anything (start $attempt of 3)" >&2
done
cat "$out"
exit "$rc"
