#!/usr/bin/env bash
# Prepares the test Wine prefix for a build folder: a copy of a cached template,
# with the project's components registered as Windows would have them installed.
# Usage: wine-prefix.sh <x86_64 build folder>   (needs DISPLAY and a running Xvfb)
# The prefix is <build>/wineprefix, or ORBA_PREFIX when that is set; the list
# of components is <build>/prefix-components.txt, or ORBA_PREFIX_COMPONENTS.
set -euo pipefail
. "$(dirname "$0")/common.sh"
orba_find_wine
build=$(cd "$1" && pwd)
bin="$build/bin"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
wine_ver=$("$WINE64" --version | tr -c 'A-Za-z0-9.\n' '_')
template="$ORBA_CACHE/wineprefix-template-$wine_ver"

if [ ! -f "$template/.complete" ]; then
  orba_log "creating the Wine prefix template (about 15 s)"
  rm -rf "$template"
  mkdir -p "$(dirname "$template")"
  WINEPREFIX="$template" "$WINE64" wineboot -i >/dev/null 2>&1 || true
  # A crashing program must fail its test, not wait in the crash dialog.
  WINEPREFIX="$template" "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  WINEPREFIX="$template" "$WINESERVER" -w
  touch "$template/.complete"
fi

export WINEPREFIX="${ORBA_PREFIX:-$build/wineprefix}"
"$WINESERVER" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
cp -a "$template" "$WINEPREFIX"
rm -f "$WINEPREFIX/.complete"
# Wine links the user's shell folders (Pictures, Documents, ...) to the Linux
# home folder; give the prefix folders of its own so that pictures and videos
# stay inside it.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$link" ]; then
    rm -f "$link"
    mkdir -p "$link"
  fi
done

# Components, in the order a Windows installation would put them in place.
register_ax() {
  [ -f "$bin/$1" ] || return 0
  (cd "$bin" && "$WINE64" regsvr32 /s "$1") >/dev/null 2>&1 || { echo "regsvr32 $1 failed" >&2; return 1; }
}
install_codec() {  # <dll> <fourcc>
  [ -f "$bin/$1" ] || return 0
  cp "$bin/$1" "$WINEPREFIX/drive_c/windows/system32/"
  "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' /v "vidc.$2" /t REG_SZ /d "$1" /f >/dev/null 2>&1
}
components=${ORBA_PREFIX_COMPONENTS:-$build/prefix-components.txt}
if [ -f "$components" ]; then
  while read -r kind file extra; do
    case "$kind" in
      ax) register_ax "$file" ;;
      codec) install_codec "$file" "$extra" ;;
      ''|'#'*) ;;
    esac
  done < "$components"
fi
# Installing components started a wineserver for the prefix; let it save the
# registry and exit, so the caller can start its own persistent one.
"$WINESERVER" -w
