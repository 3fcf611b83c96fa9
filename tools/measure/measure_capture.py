#!/usr/bin/python3
"""Measures the demo's content on a fixed-step capture.

    tools/measure/measure_capture.py --bin build/bin --hz 60 --work /tmp/m60 \
        [--before /tmp/m60-before] [--no-capture]

Runs the demo from --bin (which holds sombrella, vo.x, building.bmp, zel.xm)
with a virtual clock of --hz frames per second, capturing every frame and the
music into --work/cap, plus two short runs (frames 0-30) with a plain white
and a plain black building.bmp, whose difference marks the facade pixels.
Then prints one `name: value unit` line per figure and a verdict per target.
--before names the work folder of an earlier run (older content) whose
facade flicker is compared with this one's. --no-capture reuses the frames
already in --work. Exit status 1 when a target is missed.
"""

import argparse
import math
import os
import re
import shutil
import subprocess
import sys
import wave

import numpy as np
from PIL import Image

# Moments at which the camera's step per frame is a whole multiple of 60
# degrees: the step at time t is 0.1 t radians.
SYMMETRIC_MOMENTS = [10.0 * math.pi / 3.0 * k for k in (1, 2, 3, 4)]
# Section boundaries of the music: the first three of those moments.
MUSIC_MOMENTS = SYMMETRIC_MOMENTS[:3]
# The module's tick as the player renders it at 44,100 Hz: BPM 229 gives
# a whole 481 samples.
TICK_SECONDS = 481 / 44100.0
FLICKER_LEVELS = 48


def run_demo(bin_dir, hz, cap_dir, texture=None, frames=None):
    """One headless run with the data of bin_dir (the texture swapped if given)."""
    run_dir = cap_dir + ".run"
    shutil.rmtree(run_dir, ignore_errors=True)
    shutil.rmtree(cap_dir, ignore_errors=True)
    os.makedirs(run_dir)
    os.makedirs(cap_dir)
    for name in ("vo.x", "zel.xm", "building.bmp"):
        shutil.copy(os.path.join(bin_dir, name), run_dir)
    if texture is not None:
        texture.save(os.path.join(run_dir, "building.bmp"))
    env = dict(os.environ)
    env.update({"SDL_VIDEODRIVER": "dummy", "SDL_AUDIODRIVER": "dummy",
                "SOMBRELLA_FIXED_STEP_HZ": str(hz), "SOMBRELLA_CAPTURE_DIR": cap_dir,
                "SOMBRELLA_NO_DIALOGS": "1"})
    if frames is not None:
        env["SOMBRELLA_CAPTURE_FRAMES"] = "0-%d" % frames
        env["SOMBRELLA_QUIT_AFTER_FRAMES"] = str(frames + 1)
    subprocess.run([os.path.abspath(os.path.join(bin_dir, "sombrella"))], cwd=run_dir, env=env, check=True)
    shutil.rmtree(run_dir, ignore_errors=True)


def frame_paths(cap_dir):
    names = sorted(n for n in os.listdir(cap_dir) if re.fullmatch(r"frame_\d{6}\.png", n))
    return [os.path.join(cap_dir, n) for n in names]


def load(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.int16)


def picture_figures(cap_dir):
    """Black share per frame and mean absolute difference to the frame before."""
    black, diff = [], [0.0]
    previous = None
    for path in frame_paths(cap_dir):
        f = load(path)
        black.append(float(np.mean(np.all(f == 0, axis=2))))
        if previous is not None:
            diff.append(float(np.mean(np.abs(f - previous))))
        previous = f
    return np.array(black), np.array(diff)


def facade_flicker(work):
    """Share of facade pixels changing by more than FLICKER_LEVELS in frames 1-30."""
    cap, white, dark = (os.path.join(work, d) for d in ("cap", "white", "black"))
    changed = total = 0
    previous = None
    for n in range(0, 31):
        name = "frame_%06d.png" % n
        f = load(os.path.join(cap, name))
        mask = np.any(load(os.path.join(white, name)) != load(os.path.join(dark, name)), axis=2)
        if previous is not None:
            both = mask & previous[1]
            moved = np.max(np.abs(f - previous[0]), axis=2) > FLICKER_LEVELS
            changed += int(np.count_nonzero(moved & both))
            total += int(np.count_nonzero(both))
        previous = (f, mask)
    return changed / max(total, 1), total / 30.0


def read_wav(path):
    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2 and w.getnchannels() == 2
        rate = w.getframerate()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").reshape(-1, 2)
    return rate, data


def onset_offsets(mono, rate):
    """Start of the first sharp rise of the treble level near each moment.

    The signal's first difference stresses the attack of drums over held
    notes; the level is taken over 2 ms every half millisecond, and the onset
    is the first step whose rise over 2 ms reaches half the largest one
    within 60 ms of the moment.
    """
    hop = rate // 2000
    window = rate // 500
    treble = np.diff(mono.astype(np.float64), prepend=0.0)
    power = np.convolve(treble ** 2, np.ones(window) / window, mode="valid")[::hop]
    level = 10.0 * np.log10(power + 1.0)  # level[i]: samples i*hop .. i*hop+window
    rise = np.zeros_like(level)
    rise[4:] = level[4:] - level[:-4]
    offsets = []
    for t in MUSIC_MOMENTS:
        lo, hi = int((t - 0.06) * rate / hop), int((t + 0.06) * rate / hop)
        near = rise[lo:hi]
        first = int(np.argmax(near >= 0.5 * near.max()))
        # The window whose end first takes in the attack.
        offsets.append(((lo + first) * hop + window) / rate - t)
    return offsets


def ebur128(path):
    out = subprocess.run(["ffmpeg", "-nostats", "-hide_banner", "-t", "42", "-i", path, "-af", "ebur128=peak=true",
                          "-f", "null", "-"], capture_output=True, text=True).stderr
    summary = out[out.rfind("Summary:"):]
    lufs = float(re.search(r"I:\s+(-?[\d.]+) LUFS", summary).group(1))
    peak = float(re.search(r"Peak:\s+(-?[\d.]+|-inf) dBFS", summary).group(1))
    return lufs, peak


def print_verdict(name, value, unit, good, target):
    print("%s: %.4g %s   [%s %s]" % (name, value, unit, "ok" if good else "MISSED", target))
    return good


def music_figures(wav, verdict):
    """The music's figures; 0 when every target is met."""
    results = []

    def check(*v):
        results.append(bool(verdict(*v)))

    rate, pcm = read_wav(wav)
    pcm = pcm[:42 * rate]
    full = 32768.0
    tail = pcm[-int(0.3 * rate):].astype(np.float64)
    tail_peak = 20 * math.log10(max(np.abs(tail).max(), 1e-9) / full)
    check("music_seconds", len(pcm) / rate, "s", True, "")
    check("tail_300ms_peak", tail_peak, "dBFS", tail_peak < -40, "< -40 dBFS")
    mono = pcm.astype(np.float64).sum(axis=1)
    for t, off in zip(MUSIC_MOMENTS, onset_offsets(mono, rate)):
        check("onset_at_%.2fs" % t, 1000 * off, "ms", abs(off) <= TICK_SECONDS,
              "within one tick, %.1f ms" % (1000 * TICK_SECONDS))
    lufs, true_peak = ebur128(wav)
    check("loudness", lufs, "LUFS", abs(lufs + 16) <= 2, "-16 +- 2 LUFS")
    check("true_peak", true_peak, "dBFS", true_peak <= -1, "<= -1 dBFS")
    clipped = int(np.count_nonzero((pcm >= 32767) | (pcm <= -32768)))
    check("clipped_samples", clipped, "", clipped == 0, "0")
    left, right = pcm[:, 0].astype(np.float64), pcm[:, 1].astype(np.float64)
    corr = float(np.corrcoef(left, right)[0, 1])
    check("lr_correlation", corr, "", corr <= 0.8, "<= 0.8")
    # Where the energy sits: shares of the sub-bass, bass and presence bands.
    spectrum = np.abs(np.fft.rfft(mono)) ** 2
    freq = np.fft.rfftfreq(len(mono), 1.0 / rate)
    total = spectrum[freq >= 20].sum()
    for name, lo, hi in (("sub_30_80", 30, 80), ("bass_80_250", 80, 250), ("presence_2k_6k", 2000, 6000)):
        print("%s_share: %.2f %%" % (name, 100 * spectrum[(freq >= lo) & (freq < hi)].sum() / total))
    # Loudest 3 s of the run (RMS), which should fall in the last section.
    step = rate // 10
    frames = mono[: len(mono) // step * step].reshape(-1, step)
    power = np.convolve((frames ** 2).mean(axis=1), np.ones(30) / 30, mode="valid")
    print("loudest_3s_starts: %.1f s" % (np.argmax(power) * step / rate))
    return 0 if all(results) else 1


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", required=True)
    ap.add_argument("--hz", type=int, default=60)
    ap.add_argument("--work", required=True)
    ap.add_argument("--before")
    ap.add_argument("--no-capture", action="store_true")
    ap.add_argument("--wav", help="measure only the music of this WAV (the first 42 s)")
    a = ap.parse_args()
    if a.wav:
        return music_figures(a.wav, print_verdict)

    os.makedirs(a.work, exist_ok=True)
    cap = os.path.join(a.work, "cap")
    if not a.no_capture:
        run_demo(a.bin, a.hz, cap)
        run_demo(a.bin, a.hz, os.path.join(a.work, "white"), Image.new("RGB", (256, 256), (255, 255, 255)), 30)
        run_demo(a.bin, a.hz, os.path.join(a.work, "black"), Image.new("RGB", (256, 256), (0, 0, 0)), 30)

    ok = True

    def verdict(name, value, unit, good, target):
        nonlocal ok
        ok = print_verdict(name, value, unit, good, target) and ok
        return good

    black, diff = picture_figures(cap)
    print("frames: %d" % len(black))
    verdict("black_mean", 100 * black.mean(), "%", black.mean() <= 0.05, "<= 5 %")
    verdict("black_max", 100 * black.max(), "%", black.max() <= 0.15, "<= 15 %")

    whole = float(np.median(diff[1:]))
    print("diff_median_whole: %.3g levels" % whole)
    for t in SYMMETRIC_MOMENTS:
        n = int(round(t * a.hz))
        near = diff[max(n - 2, 1):min(n + 3, len(diff))]
        m = float(np.median(near)) if len(near) else float("nan")
        verdict("diff_median_at_%.2fs" % t, m, "levels", m <= whole / 4, "<= %.3g (whole / 4)" % (whole / 4))
        print("ratio: %.3f" % (m / whole))

    flicker, facade = facade_flicker(a.work)
    print("facade_pixels_per_frame: %.0f px" % facade)
    print("facade_flicker: %.3f %%" % (100 * flicker))
    if a.before:
        before, _ = facade_flicker(a.before)
        print("facade_flicker_before: %.3f %%" % (100 * before))
        verdict("facade_flicker_ratio", flicker / before, "", flicker <= before / 2, "<= 0.5 of before")
        print("ratio: %.3f" % (flicker / before))

    ok = music_figures(os.path.join(cap, "music.wav"), verdict) == 0 and ok
    print("verdict: %s" % ("all targets met" if ok else "targets missed"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
