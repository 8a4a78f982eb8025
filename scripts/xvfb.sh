# Sourced: start_xvfb starts a headless X server on a free display, exports
# DISPLAY and leaves the server's pid in XVFB_PID.
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
  DISPLAY=:$(head -n 1 "$fdfile")
  export DISPLAY
  rm -f "$fdfile"
}
