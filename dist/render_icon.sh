#!/usr/bin/env bash
# Renders the application icon from the demo itself: one frame on the virtual
# clock, its centre cut square and scaled down.
# Usage: render_icon.sh BIN_DIR OUT.png SIZE
set -euo pipefail
bin="$1"; out="$2"; size="$3"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SOMBRELLA_DATA_DIR="$bin" SOMBRELLA_FIXED_STEP_HZ=60 \
  SOMBRELLA_CAPTURE_DIR="$work" SOMBRELLA_CAPTURE_FRAMES=150 SOMBRELLA_QUIT_AFTER_FRAMES=151 \
  "$bin/sombrella" --fps 1000
convert "$work/frame_000150.png" -gravity center -crop 400x400+0+10 +repage -resize "${size}x${size}" \
  -strip "$out"
