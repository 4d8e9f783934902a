# Starts a private Xvfb for the Wine run. Source it; do not run it.
# Screen size matches the layouts the end-to-end tests check.
ORBA_SCREEN=${ORBA_SCREEN:-1366x768x24}
orba_start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$ORBA_SCREEN" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  ORBA_XVFB_PID=$!
  local num
  read -r -t 20 num <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$num"
  orba_log "Xvfb on $DISPLAY ($ORBA_SCREEN)"
}
orba_stop_all() {
  if [ -n "${orba_wineserver_started:-}" ] && [ -n "${WINESERVER:-}" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -n "${ORBA_XVFB_PID:-}" ]; then
    kill "$ORBA_XVFB_PID" 2>/dev/null || true
    wait "$ORBA_XVFB_PID" 2>/dev/null || true
  fi
}
