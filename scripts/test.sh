#!/usr/bin/env bash
# The test command: on a fresh Debian machine (as root) it installs the packages,
# builds the dependencies and both targets, runs the host-side fuzz targets for a
# bounded time, prepares a Wine prefix and runs every test under wine64 in Xvfb.
# Ends with one count line.
set -euo pipefail
. "$(dirname "$0")/common.sh"
start=$(date +%s)

"$ORBA_ROOT/scripts/install-packages.sh"
orba_find_wine
"$ORBA_ROOT/scripts/build-deps.sh"

for arch in $ORBA_ARCHES; do
  orba_log "configure and build $arch"
  cmake -S "$ORBA_ROOT" -B "$ORBA_BUILD/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ORBA_ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DORBA_CACHE="$ORBA_CACHE" ${ORBA_CMAKE_ARGS:-} >/dev/null
  cmake --build "$ORBA_BUILD/$arch" -- -k 0
done

# Host-side checks of the shipped 32-bit binaries (they cannot run here).
host_total=0; host_failed=0
if [ -d "$ORBA_BUILD/i686" ]; then
  set +e
  ctest --test-dir "$ORBA_BUILD/i686" --output-on-failure 2>&1 | tee "$ORBA_BUILD/ctest-i686.log"
  set -e
  host_total=$(grep -oE 'tests failed out of [0-9]+' "$ORBA_BUILD/ctest-i686.log" | grep -oE '[0-9]+$' || echo 0)
  host_failed=$(grep -oE '[0-9]+ tests failed out of' "$ORBA_BUILD/ctest-i686.log" | grep -oE '^[0-9]+' || echo 0)
fi

# Host-side fuzz targets, about 30 s each; each target counts as one check.
"$ORBA_ROOT/scripts/fuzz" "${ORBA_FUZZ_SECONDS:-30}" || true
fuzz_total=$(wc -l <"$ORBA_BUILD/fuzz/results.txt" 2>/dev/null || echo 0)
fuzz_failed=$(grep -c ' failed ' "$ORBA_BUILD/fuzz/results.txt" 2>/dev/null || true)
[ "${fuzz_total:-0}" -gt 0 ] || { fuzz_total=1; fuzz_failed=1; }
[ -n "$fuzz_failed" ] || fuzz_failed=0

"$ORBA_ROOT/scripts/run-tests.sh" "$ORBA_BUILD/x86_64" "$@" || true
log="$ORBA_BUILD/x86_64/ctest.log"
total=$(grep -oE 'tests failed out of [0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)
failed=$(grep -oE '[0-9]+ tests failed out of' "$log" | grep -oE '^[0-9]+' || echo 0)
[ -n "$total" ] || total=0
[ -n "$failed" ] || failed=0
all=$((total + host_total + fuzz_total)); bad=$((failed + host_failed + fuzz_failed))
secs=$(( $(date +%s) - start ))
echo "ORBA tests: $all run, $((all - bad)) passed, $bad failed ($total under wine64, $host_total host checks of i686, $fuzz_total fuzz targets) in ${secs}s"
[ "$all" -gt 0 ] && [ "$bad" = 0 ]
