# Shared by the window test scripts (sourced): stopping what a script
# started, and starting its own X server. The script defines fail() and
# sets WORK, APP_PID and XVFB_PID.

stop() {  # stops one process started here, by its id
  if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
  fi
}
cleanup() {
  exec 3>&- 2>/dev/null
  stop "$APP_PID"
  stop "$XVFB_PID"
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Starts Xvfb on a display number picked at random from a high range and
# exports DISPLAY: other X servers on the machine start at :0, and a display
# number in use by two servers sends clients to the wrong one. The server
# does not reset when its last client leaves: a program started right after
# another one ended would otherwise find no display while it resets.
start_xvfb() {
  local attempt i n
  for ((attempt = 0; attempt < 10; attempt++)); do
    n=$((200 + (RANDOM % 700)))
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for ((i = 0; i < 100; i++)); do
      kill -0 "$XVFB_PID" 2>/dev/null || break
      DISPLAY=:$n xdotool getdisplaygeometry >/dev/null 2>&1 && break
      sleep 0.1
    done
    if kill -0 "$XVFB_PID" 2>/dev/null && DISPLAY=:$n xdotool getdisplaygeometry >/dev/null 2>&1; then
      export DISPLAY=:$n
      echo "Xvfb on $DISPLAY"
      return 0
    fi
    stop "$XVFB_PID"
    XVFB_PID=""
  done
  fail "Xvfb did not start: $(tail -n 5 "$WORK/xvfb.log")"
}
