#!/usr/bin/env bash
# The demo loses its window or its display under a real X server (Xvfb) with
# a window manager: another client destroys the window (XDestroyWindow),
# kills the demo's connection (XKillClient), or the server dies, full screen
# and in a window. Each time the demo must end within a few seconds with a
# non-zero status (never an abort or a crash) and one line on stderr.
# Prints one line per case: renderer, fault, mode, exit status, time to exit.
# Usage: xvfb_display_loss.sh BIN_DIR X_DESTROY_WINDOW [PROGRAM]
#   MEASURE_ONLY=1 prints the figures without judging them (for older builds).
set -u
bin=$(cd "$1" && pwd); destroy=$(realpath "$2"); program=$(realpath "${3:-$bin/sombrella}")
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
wm=""
command -v openbox >/dev/null && wm=openbox
export SDL_AUDIODRIVER=dummy SOMBRELLA_NO_DIALOGS=1
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
unset SDL_VIDEODRIVER
# Both of SDL's renderers: OpenGL (Mesa's llvmpipe under Xvfb, which needs
# the server held while it draws) and the software one. RENDERERS narrows it.
failures=0

run_case() {  # fault mode
  local fault="$1" mode="$2" work xpid wmpid="" demo num win t0 t1 status lines
  work=$(mktemp -d)
  cp "$bin"/zel.xm "$work"/ || return 1
  cp "$bin"/vo.x "$bin"/building.bmp "$work"/ 2>/dev/null || printf 'xof 0302txt 0032\n' > "$work"/vo.x
  mkfifo "$work/displayfd"
  exec 3<> "$work/displayfd"
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  read -r -t 10 num <&3
  exec 3<&-
  [ -n "${num:-}" ] || { echo "Xvfb did not start"; kill $xpid 2>/dev/null; return 1; }
  export DISPLAY=":$num"
  if [ -n "$wm" ]; then "$wm" >/dev/null 2>&1 & wmpid=$!; sleep 0.5; fi
  export SDL_RENDER_DRIVER="$renderer"
  if [ "$mode" = windowed ]; then export SOMBRELLA_WINDOWED=1; else unset SOMBRELLA_WINDOWED; fi
  ( cd "$work" && exec "$program" 2>"$work/stderr" ) &
  demo=$!
  for _ in $(seq 300); do
    xdotool search --name "Tiro el Sombrella" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 1.5  # the first frames are on screen
  win=$(xdotool search --name "Tiro el Sombrella" 2>/dev/null | head -1)
  [ -n "$win" ] || echo "$fault $mode: no window appeared"
  t0=$(date +%s%N)
  case "$fault" in
    destroy) "$destroy" "$win" ;;
    kill-client) xdotool windowkill "$win" ;;
    kill-server) kill "$xpid" ;;
  esac
  status=hang
  for _ in $(seq 200); do kill -0 $demo 2>/dev/null || break; sleep 0.025; done
  if kill -0 $demo 2>/dev/null; then
    kill -9 $demo; wait $demo 2>/dev/null
  else
    wait $demo; status=$?
  fi
  t1=$(date +%s%N)
  lines=$(grep -c . "$work/stderr")
  printf '%s %s %s: exit status %s, %d ms to exit, %s stderr line(s): %s\n' "$renderer" "$fault" "$mode" "$status" \
    $(( (t1 - t0) / 1000000 )) "$lines" "$(head -c 200 "$work/stderr" | tr '\n' '|')"
  if [ -z "${MEASURE_ONLY:-}" ]; then
    if [ -z "$win" ] || [ "$status" = hang ] || [ "$status" -eq 0 ] || [ "$status" -ge 128 ] || [ "$lines" -ne 1 ] ||
       ! grep -q '^Tiro el Sombrella: ' "$work/stderr"; then
      failures=$((failures + 1))
    fi
  fi
  [ -n "$wmpid" ] && kill $wmpid 2>/dev/null
  kill $xpid 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}

echo "window manager: ${wm:-none}"
for renderer in ${RENDERERS:-opengl software}; do
  for mode in ${MODES:-fullscreen windowed}; do
    for fault in ${FAULTS:-destroy kill-client kill-server}; do run_case "$fault" "$mode"; done
  done
done
[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "ok"
