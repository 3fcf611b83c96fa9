#!/usr/bin/env bash
# The demo as a user runs it: a real X display (Xvfb), the full-screen window,
# a screenshot of the real screen, a real Escape key, exit status 0.
# Usage: xvfb_escape.sh BIN_DIR OUT_DIR
set -u
bin="$1"; out="$2"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
mkdir -p "$out"; rm -f "$out"/screen.png
work=$(mktemp -d); trap 'rm -rf "$work"; kill $xpid 2>/dev/null' EXIT
cp "$bin"/zel.xm "$work"/ 2>/dev/null || { echo "no zel.xm in $bin"; exit 1; }
cp "$bin"/vo.x "$bin"/building.bmp "$work"/ 2>/dev/null || printf 'xof 0302txt 0032\n' > "$work"/vo.x

. "$(dirname "$0")/start_xvfb.sh"
start_xvfb "$work" 1024x768x24

( cd "$work" && exec "$bin"/sombrella 2>"$work/stderr.txt" ) &
demo=$!
fail() { echo "$1"; sed 's/^/  demo: /' "$work/stderr.txt" 2>/dev/null; exit 1; }
for _ in $(seq 300); do
  xdotool search --name "Tiro el Sombrella" >/dev/null 2>&1 && break
  kill -0 $demo 2>/dev/null || fail "the demo ended before its window appeared"
  sleep 0.1
done
xdotool search --name "Tiro el Sombrella" >/dev/null 2>&1 || fail "no window after 30 s"
# The first frames may take a while on a loaded machine: wait for a picture
# (with the real scene, more than a flat screen) rather than a fixed time.
for _ in $(seq 40); do
  sleep 0.5
  import -window root "$out/screen.png" 2>/dev/null || continue
  [ -f "$bin/vo.x" ] || break
  [ "$(convert "$out/screen.png" -format '%k' info: 2>/dev/null || echo 0)" -gt 100 ] && break
done
# What a user may do to the window must neither crash nor hang the demo.
win=$(xdotool search --name "Tiro el Sombrella" | head -1)
xdotool windowminimize "$win" 2>/dev/null; sleep 0.5
xdotool windowsize "$win" 300 200 2>/dev/null; sleep 0.5
xdotool windowmap "$win" 2>/dev/null; sleep 0.5
kill -0 $demo 2>/dev/null || fail "the demo ended while its window was handled"
xdotool key Escape
for _ in $(seq 100); do kill -0 $demo 2>/dev/null || break; sleep 0.1; done
if kill -0 $demo 2>/dev/null; then echo "the demo did not end on Escape"; kill -9 $demo; exit 1; fi
wait $demo; status=$?
[ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
size=$(identify -format '%wx%h' "$out/screen.png" 2>/dev/null)
[ "$size" = "1024x768" ] || { echo "screenshot is '$size'"; exit 1; }
# With the real scene the screen shows it, not a black or flat picture.
if [ -f "$bin/vo.x" ]; then
  colours=$(convert "$out/screen.png" -format '%k' info: 2>/dev/null)
  [ "${colours:-0}" -gt 100 ] || fail "the screen shows ${colours:-no} colours"
fi
echo "ok: exit 0 after Escape; screenshot $out/screen.png (${colours:-?} colours)"
