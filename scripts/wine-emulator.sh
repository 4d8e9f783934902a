#!/usr/bin/env bash
# The x86_64 build's CMAKE_CROSSCOMPILING_EMULATOR. Refuses to run without an
# explicit prefix and display, so a stray ctest never creates ~/.wine.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-emulator: WINEPREFIX and DISPLAY must be set (use scripts/run-tests.sh)" >&2
  exit 125
fi
wine64=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
exec "${wine64:-/usr/lib/wine/wine64}" "$@"
