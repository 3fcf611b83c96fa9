#!/usr/bin/env python3
"""Compares the sizes and offsets the compiler wrote into two assembly
listings of the seam (real headers, ours) and writes the agreed listing."""
import difflib
import sys


def listing(path):
    with open(path, errors="replace") as f:
        return [line.strip()[len("#seam "):] for line in f if line.strip().startswith("#seam ")]


def main():
    if len(sys.argv) != 5:
        print("usage: compare_layouts.py ARCH REAL.s OURS.s OUT.txt", file=sys.stderr)
        return 2
    arch, real_path, ours_path, out = sys.argv[1:]
    real, ours = listing(real_path), listing(ours_path)
    if not real:
        print("seam layout (%s): the real headers' listing is empty" % arch, file=sys.stderr)
        return 1
    if real != ours:
        print("seam layout (%s) differs from the real headers:" % arch, file=sys.stderr)
        sys.stderr.writelines(l + "\n" for l in difflib.unified_diff(real, ours, "real", "ours", lineterm=""))
        return 1
    with open(out, "w") as f:
        f.writelines(l + "\n" for l in ours)
    print("seam layout (%s): %d sizes and offsets equal to the real headers'" % (arch, len(ours)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
