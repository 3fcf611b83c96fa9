#!/usr/bin/env bash
# The viewer's display options on a real X display (Xvfb): --windowed gives a
# 640x480 window, Alt+Enter switches it to full screen and back, --fullscreen
# covers the screen, and --filter point --integer still shows the scene.
# Usage: xvfb_viewer.sh BIN_DIR OUT_DIR
set -u
bin="$1"; out="$2"
# Switching a mapped window to full screen is the window manager's job: openbox.
for tool in Xvfb xdotool import openbox; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
mkdir -p "$out"
work=$(mktemp -d); xpid=""; wmpid=""; demo=""
trap '[ -n "$demo" ] && kill -9 $demo 2>/dev/null; [ -n "$wmpid" ] && kill $wmpid 2>/dev/null
      [ -n "$xpid" ] && kill $xpid 2>/dev/null; rm -rf "$work"' EXIT
cp "$bin"/zel.xm "$bin"/vo.x "$bin"/building.bmp "$work"/ || exit 1

. "$(dirname "$0")/start_xvfb.sh"
start_xvfb "$work" 1280x1024x24
openbox >/dev/null 2>&1 &
wmpid=$!
sleep 1

start() {  # start OPTIONS...: runs the demo and waits for its window
  ( cd "$work" && exec "$bin"/sombrella "$@" ) &
  demo=$!
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name "Tiro el Sombrella" 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "no window for $*"; exit 1; }
  sleep 1.5
}
size() {  # the demo window's size as WxH (looked up again: SDL may replace it while it maps)
  win=$(xdotool search --onlyvisible --name "Tiro el Sombrella" 2>/dev/null | head -1)
  [ -n "$win" ] && xdotool getwindowgeometry "$win" 2>/dev/null | sed -n 's/.*Geometry: //p'
}
finish() {
  xdotool key Escape
  for _ in $(seq 100); do kill -0 $demo 2>/dev/null || break; sleep 0.1; done
  if kill -0 $demo 2>/dev/null; then echo "the demo did not end on Escape"; kill -9 $demo; exit 1; fi
  wait $demo; status=$?; demo=""
  [ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
}
expect_size() {
  local want="$1" got
  for _ in $(seq 30); do got=$(size); [ "$got" = "$want" ] && return 0; sleep 0.1; done
  echo "$2: window is $got, expected $want"; exit 1
}

start --windowed
expect_size 640x480 "--windowed"
xdotool mousemove --window "$win" 20 20; xdotool windowfocus "$win" 2>/dev/null; xdotool key alt+Return; sleep 1
expect_size 1280x1024 "after Alt+Enter"
kill -0 $demo 2>/dev/null || { echo "the demo ended on Alt+Enter"; exit 1; }
xdotool key alt+Return; sleep 1
expect_size 640x480 "after a second Alt+Enter"
finish

start --fullscreen --filter point --integer
expect_size 1280x1024 "--fullscreen"
import -window root "$out/integer.png"
finish
colours=$(convert "$out/integer.png" -format '%k' info: 2>/dev/null)
[ "${colours:-0}" -gt 100 ] || { echo "the screen shows ${colours:-no} colours"; exit 1; }
# 640x480 at a whole factor of 2 on 1280x1024: 32 black rows above the picture.
top=$(convert "$out/integer.png" -crop 1280x30+0+0 -format '%[fx:maxima]' info: 2>/dev/null)
[ "$top" = "0" ] || { echo "no bar above an integer-scaled picture ($top)"; exit 1; }
echo "ok: window, Alt+Enter both ways, full screen, integer scaling ($colours colours)"
