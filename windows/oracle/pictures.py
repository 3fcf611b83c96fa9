#!/usr/bin/env python3
"""Picture checks of the Windows stage.

  pictures.py shots A.png B.png     both show a picture (not one colour) and differ
  pictures.py compare OURS REAL DIFF.png [--min-within8 PCT]
                                    how far our frame is from the real platform's:
                                    share of pixels off by more than 8 and 24 levels
                                    in some channel, PSNR, and a difference picture
"""
import math
import sys

from PIL import Image, ImageChops


def colours(img):
    lo, hi = zip(*img.convert("RGB").getextrema())
    return max(h - l for l, h in zip(lo, hi))


def shots(a_path, b_path):
    a, b = Image.open(a_path).convert("RGB"), Image.open(b_path).convert("RGB")
    ok = True
    for path, img in ((a_path, a), (b_path, b)):
        spread = colours(img)
        print("%s: %dx%d, channel spread %d" % (path, img.width, img.height, spread))
        if spread < 32:
            print("FAIL: %s is (nearly) one colour" % path)
            ok = False
    if a.size == b.size:
        changed = sum(1 for p in ImageChops.difference(a, b).getdata() if max(p) > 8)
        share = 100.0 * changed / (a.width * a.height)
        print("pixels changed between the shots: %.1f%%" % share)
        if share < 0.5:
            print("FAIL: the two shots show the same picture")
            ok = False
    return 0 if ok else 1


def compare(ours_path, real_path, diff_path, min_within8=None):
    ours, real = Image.open(ours_path).convert("RGB"), Image.open(real_path).convert("RGB")
    if ours.size != real.size:
        print("FAIL: sizes differ: %s vs %s" % (ours.size, real.size))
        return 1
    diff = ImageChops.difference(ours, real)
    total = ours.width * ours.height
    over8 = over24 = 0
    squared = 0
    for p in diff.getdata():
        m = max(p)
        over8 += m > 8
        over24 += m > 24
        squared += p[0] * p[0] + p[1] * p[1] + p[2] * p[2]
    mse = squared / (3.0 * total)
    psnr = float("inf") if mse == 0 else 10.0 * math.log10(255.0 * 255.0 / mse)
    # Amplified so that small differences show.
    diff.point(lambda v: min(255, v * 4)).save(diff_path)
    within8 = 100.0 * (total - over8) / total
    print("%s: within 8 levels %.2f%%, over 8 %.2f%%, over 24 %.2f%%, PSNR %.2f dB (difference x4: %s)"
          % (ours_path, within8, 100.0 * over8 / total, 100.0 * over24 / total, psnr, diff_path))
    if min_within8 is not None and within8 < min_within8:
        print("FAIL: fewer than %.1f%% of the pixels within 8 levels" % min_within8)
        return 1
    return 0


def main(argv):
    if len(argv) >= 3 and argv[0] == "shots":
        return shots(argv[1], argv[2])
    if len(argv) >= 4 and argv[0] == "compare":
        limit = float(argv[5]) if len(argv) >= 6 and argv[4] == "--min-within8" else None
        return compare(argv[1], argv[2], argv[3], limit)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
