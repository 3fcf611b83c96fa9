# Sourced by the Xvfb tests: start_xvfb WORK_DIR SCREEN starts a private X
# server on a free display, sets xpid and DISPLAY, and prepares the demo's
# environment for a real display.
start_xvfb() {
  mkfifo "$1/displayfd"
  exec 3<> "$1/displayfd"
  Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  read -r -t 10 num <&3
  [ -n "${num:-}" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$num" SDL_AUDIODRIVER=dummy SOMBRELLA_NO_DIALOGS=1
  # The X and D-Bus client libraries keep allocations to the end; the headless
  # end-to-end runs check the program's own memory for leaks.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
  unset SDL_VIDEODRIVER
}
