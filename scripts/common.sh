# Shared settings of the build and test scripts. Source it; do not run it.
ORBA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${ORBA_CACHE:-}" ]; then
  if [ "$(id -u)" = 0 ]; then ORBA_CACHE=/var/cache/orba-build; else ORBA_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/orba-build; fi
fi
ORBA_BUILD=${ORBA_BUILD:-$ORBA_ROOT/build}
ORBA_ARCHES="x86_64 i686"
export ORBA_ROOT ORBA_CACHE ORBA_BUILD

orba_log() { printf '== %s\n' "$*" >&2; }

# Debian's wine64 loader lives in the package's lib folder, not on the PATH.
orba_find_wine() {
  WINE64=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
  [ -x "${WINE64:-}" ] || WINE64=/usr/lib/wine/wine64
  WINESERVER=$(dirname "$WINE64")/wineserver
  [ -x "$WINESERVER" ] || WINESERVER=$(dirname "$WINE64")/wineserver64
  export WINE64 WINESERVER
}
