#!/usr/bin/env python3
"""Files played as they hold their samples, heard from a sink monitor. "write DIR": writes there
damaged.wav (stereo float, a 1 kHz sine at 0.5 with NaN, +inf and -inf samples every 160 frames)
and quad.wav (4 channels, no mask, the sine on the fourth channel only), both 1 s at 48 kHz.
Otherwise checks a raw float32le stereo recording of one of them played in Loop mode: damaged,
the sine with no sample above its own peak; quad, the sine on the right at half its level (the
right side is the mean of channels 2 and 4) and nothing on the left. Gaps of silence (dropouts of
a busy machine) are counted; the levels are those most 10 ms windows of the tone have.
Usage: check_exact.py write DIR | check_exact.py RECORDING RATE damaged|quad"""
import math
import struct
import sys

from recording import read_stereo, report, silences, steady_level


def wave(path, channels, samples):
    data = struct.pack("<%df" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 3, channels, 48000, 48000 * 4 * channels, 4 * channels, 32)
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" +
            struct.pack("<I", len(data)) + data)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


if sys.argv[1] == "write":
    sine = [0.5 * math.sin(2 * math.pi * 1000 * i / 48000) for i in range(48000)]
    bad = [float("nan"), float("inf"), float("-inf")]
    damaged = []
    for i, v in enumerate(sine):
        x = bad[i // 160 % 3] if i % 160 == 0 else v
        damaged += [x, x]
    wave(sys.argv[2] + "/damaged.wav", 2, damaged)
    wave(sys.argv[2] + "/quad.wav", 4, [x for v in sine for x in (0.0, 0.0, 0.0, v)])
    sys.exit(0)

path, rate, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
left, right = read_stereo(path)
loud = [i for i, x in enumerate(right) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent (%d frames)" % len(left))
first, last = loud[0], loud[-1]
if last - first < rate:
    sys.exit("tone only for %d frames" % (last - first))
# Gaps of silence on the side that holds the tone are counted (a NaN in the damaged file becomes
# one silent frame, never eight); the levels are those most 10 ms windows have.
seg = slice(first + rate // 10, last - rate // 10)
report([(a, b, "gap") for a, b in silences(right[seg], 0.5)])
peak = max(max(abs(x) for x in left), max(abs(x) for x in right))
lvl_l, lvl_r = steady_level(left[seg], 1000, rate), steady_level(right[seg], 1000, rate)
print("%s: peak %.4f, 1 kHz level L %.3f R %.3f" % (kind, peak, lvl_l, lvl_r))
if kind == "damaged":
    ok = peak <= 0.5 + 1e-3 and abs(lvl_l - 0.5) < 0.03 and abs(lvl_r - 0.5) < 0.03
else:
    ok = peak <= 0.25 + 1e-3 and lvl_l < 0.005 and abs(lvl_r - 0.25) < 0.015
sys.exit(0 if ok else "not as the file holds it")
