#!/usr/bin/env python3
"""A sampler's file and its check. "write": writes a stereo float wave at FILE_RATE: an attack
(0.25 s at 2 kHz), a loop region (0.1 s at 1 kHz, whole cycles) and a tail (0.5 s at 3 kHz), the
loop in a smpl chunk. Otherwise: checks a raw float32le stereo recording of it played in Loop
mode: the attack once at the start, then the region repeating with no break at its seams, and
the tail never.
Usage: check_loop.py write WAVE FILE_RATE | check_loop.py RECORDING RATE"""
import math
import struct
import sys

from recording import level as tone_level, read_stereo

if sys.argv[1] == "write":
    fr = int(sys.argv[3])
    parts = [(2000, fr // 4), (1000, fr // 10), (3000, fr // 2)]
    samples = []
    for hz, n in parts:
        for i in range(n):
            v = 0.5 * math.sin(2 * math.pi * hz * i / fr)
            samples += [v, v]
    data = struct.pack("<%df" % len(samples), *samples)
    start, end = fr // 4, fr // 4 + fr // 10 - 1  # the chunk's end is inclusive
    smpl = struct.pack("<9I6I", 0, 0, 0, 60, 0, 0, 0, 1, 0, 0, 0, start, end, 0, 0)
    fmt = struct.pack("<HHIIHH", 3, 2, fr, fr * 8, 8, 32)
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"smpl" +
            struct.pack("<I", len(smpl)) + smpl + b"data" + struct.pack("<I", len(data)) + data)
    with open(sys.argv[2], "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
    sys.exit(0)

path, rate = sys.argv[1], int(sys.argv[2])
left = read_stereo(path)[0]
loud = [i for i, x in enumerate(left) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent (%d frames)" % len(left))
first, last = loud[0], loud[-1]


def level(x, hz):
    return tone_level(x, hz, rate)


# 10 ms windows from the first loud frame on: which tone each holds.
win = rate // 100
attack_end = first + rate // 4  # the attack lasts a quarter second at any rate
seam = rate // 10  # the loop region lasts 0.1 s: a seam every 4800 frames at 48 kHz
windows = range(first, last - win, win)
attack = [i for i in windows if level(left[i:i + win], 2000) > 0.1]
tail = max(level(left[i:i + win], 3000) for i in windows)
region = [i for i in windows if i >= attack_end and level(left[i:i + win], 1000) > 0.35]
after = [i for i in windows if i >= attack_end + win]
print("attack (2 kHz) in %d windows of 10 ms, from %.3f s to %.3f s after the onset"
      % (len(attack), (attack[0] - first) / rate if attack else -1,
         (attack[-1] + win - first) / rate if attack else -1))
print("loop region (1 kHz) in %d of %d windows after the attack; tail (3 kHz) peak level %.4f"
      % (len(region), len(after), tail))
# Seams: a pure tone obeys x[n+1] = 2cos(w) x[n] - x[n-1]; a seam that drops, doubles or
# restarts anything breaks that.
body = left[attack_end + rate // 20: last - rate // 10]
lvl = level(body[:rate // 2], 1000)
c = 2 * math.cos(2 * math.pi * 1000 / rate)
breaks = [i for i in range(1, len(body) - 1)
          if abs(body[i + 1] - c * body[i] + body[i - 1]) > 0.01 * lvl]
offset = attack_end + rate // 20 - first - rate // 4  # body index of the first seam, mod seam
on_seams = [i for i in breaks if min((i + offset) % seam, seam - (i + offset) % seam) < 3]
cross = [i + x / (x - y) for i, (x, y) in enumerate(zip(body, body[1:])) if x < 0 <= y]
hz = (len(cross) - 1) / ((cross[-1] - cross[0]) / rate) if len(cross) > 1 else 0.0
print("loop body %.2f s: %.3f Hz, level %.3f, %d seams passed, %d breaks (%d on a seam)"
      % (len(body) / rate, hz, lvl, len(body) // seam, len(breaks), len(on_seams)))
ok = (attack and (attack[-1] - first) < rate * 0.3 and tail < 0.01 and
      len(region) >= len(after) - 2 and not on_seams and len(breaks) <= 3 and
      abs(hz - 1000) < 0.5 and len(body) // seam >= 10)
sys.exit(0 if ok else "not the attack once, then the loop region")
