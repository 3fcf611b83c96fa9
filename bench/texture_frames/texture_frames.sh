#!/usr/bin/env bash
# Frame time against the area of the demo texture ("building.bmp" of 256² to
# 4096²), headless and unpaced: the median interval between presented frames.
# With a second program (another build) both run side by side per size and
# `ratio:` gives its frame time over ours.
# Usage: texture_frames.sh BIN_DIR [OTHER_PROGRAM]
set -u
bin=$(cd "$1" && pwd); other="${2:+$(realpath "$2")}"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SOMBRELLA_NO_DIALOGS=1 SOMBRELLA_REFRESH_HZ=0
export SOMBRELLA_QUIT_AFTER_FRAMES=80
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cp "$bin"/zel.xm "$bin"/vo.x "$bin"/plaza.tga "$work"/

median_ms() {  # program -> median frame interval over the last 60 frames, in ms
  rm -f "$work/log"
  ( cd "$work" && SOMBRELLA_FRAME_LOG="$work/log" "$1" >/dev/null 2>&1 )
  python3 - "$work/log" <<'PY'
import sys
t = [int(x) for x in open(sys.argv[1]) if x.strip()]
d = sorted(b - a for a, b in zip(t[-61:], t[-60:]))
print("%.2f" % (d[len(d) // 2] / 1e6) if d else "nan")
PY
}

for side in 256 1024 2048 4096; do
  python3 - "$work/building.bmp" "$side" <<'PY'
import struct, sys
path, n = sys.argv[1], int(sys.argv[2])
row = bytes((x * 7 + 13) & 255 for x in range(n * 3))
with open(path, "wb") as f:
    size = 54 + n * n * 3
    f.write(b"BM" + struct.pack("<IHHI", size, 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, n, n, 1, 24, 0, n * n * 3, 2835, 2835, 0, 0))
    for y in range(n): f.write(row)
PY
  ours=$(median_ms "$bin/sombrella")
  echo "frame time with a ${side}x${side} texture: $ours ms"
  if [ -n "$other" ]; then
    theirs=$(median_ms "$other")
    echo "frame time with a ${side}x${side} texture (other build): $theirs ms"
    python3 -c "print('ratio: %.2f' % ($theirs / $ours))" 2>/dev/null
  fi
done
