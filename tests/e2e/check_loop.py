#!/usr/bin/env python3
"""A sampler's file and its check. "write": writes a stereo float wave at FILE_RATE: an attack
(0.25 s at 2 kHz), a loop region (0.1 s at 1 kHz, whole cycles) and a tail (0.5 s at 3 kHz), the
loop in a smpl chunk. Otherwise: checks a raw float32le stereo recording of it played in Loop
mode: the attack once at the start, then the region repeating with no break at its seams, at its
pitch and level (within 1 dB), and the tail never. Dropouts are counted and judged apart (jumps
at one spacing are faults); exit 3 when they leave no tenth of a second to judge the pitch by.
Usage: check_loop.py write WAVE FILE_RATE | check_loop.py RECORDING RATE"""
import math
import struct
import sys

from recording import (UNJUDGED, breaks, clean, dropouts, judge, pitch, read_stereo, report,
                       splice, steady_level)
from recording import level as tone_level

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
# Gaps of silence cut out first: an underrun delays what follows it, and the attack and the seams
# are timed from the onset.
sound = left[loud[0]:loud[-1] + 1]
left, cuts = splice(sound, sorted(abs(v) for v in sound)[len(sound) * 99 // 100])
first, last = 0, len(left) - 1


def level(x, hz):
    return tone_level(x, hz, rate)


# Dropouts (see recording.py) in the loop body, after the attack: counted, and kept out of what
# judges the program.
attack_end = first + rate // 4  # the attack lasts a quarter second at any rate
seam = rate // 10  # the loop region lasts 0.1 s: a seam every 4800 frames at 48 kHz
at = attack_end + rate // 20
body = left[at:last - rate // 10]
amp = sorted(abs(v) for v in body)[len(body) * 99 // 100] if body else 0.0
found = breaks(body, 1000, rate, amp)
events = dropouts(body, found, amp, cuts=[c - at for c in cuts if at <= c < last - rate // 10])
gaps = [(a, b) for a, b, kind in events if kind == "gap"]
drops, faults = judge(events)
report(drops + [(c, c, "gap") for c in cuts if not at <= c < last - rate // 10])

# 10 ms windows from the first loud frame on: which tone each holds. Windows at a cut are not
# judged (a cut spreads a tone over every frequency); the loop region's count leaves out the
# windows of every dropout (a jump mid-window cancels part of the tone).
win = rate // 100
windows = [i for i in range(first, last - win, win) if not any(i <= c < i + win for c in cuts)]
attack = [i for i in windows if level(left[i:i + win], 2000) > 0.1]
tail = max(level(left[i:i + win], 3000) for i in windows)
after = [i for i in windows if i >= attack_end + win and
         not any(a - win < i - at <= b for a, b, _ in drops)]
region = [i for i in after if level(left[i:i + win], 1000) > 0.35]
print("attack (2 kHz) in %d windows of 10 ms, from %.3f s to %.3f s after the onset"
      % (len(attack), (attack[0] - first) / rate if attack else -1,
         (attack[-1] + win - first) / rate if attack else -1))
print("loop region (1 kHz) in %d of %d windows after the attack; tail (3 kHz) peak level %.4f"
      % (len(region), len(after), tail))
# Seams: any break at a seam that is not a gap of silence is the program's. The pitch and level
# are taken over the longest stretch without a dropout.
offset = at - first - rate // 4  # body index of the first seam, mod seam
in_gap = [i for i in found if any(a <= i <= b for a, b in gaps)]
on_seams = [i for i in found if min((i + offset) % seam, seam - (i + offset) % seam) < 3 and
            i not in in_gap]
a, b = clean(len(body), events)
hz, lvl = pitch(body[a:b], rate), steady_level(body, 1000, rate)
print("loop body %.2f s, %d seams passed, %d breaks at a seam that are no gap, %d jumps "
      "elsewhere that are faults; over %.2f s without dropouts: %.3f Hz, level %.3f"
      % (len(body) / rate, len(body) // seam, len(on_seams), len(faults), (b - a) / rate, hz, lvl))
ok = (attack and (attack[-1] - first) < rate * 0.3 and tail < 0.1 and not faults and
      len(region) >= len(after) - 2 and not on_seams and len(body) // seam >= 10)
if ok and b - a < rate // 10:
    print("too many dropouts to judge the loop's pitch and level")
    sys.exit(UNJUDGED)
ok = ok and abs(hz - 1000) < 0.5 and abs(20 * math.log10(max(lvl, 1e-9) / 0.5)) < 1
sys.exit(0 if ok else "not the attack once, then the loop region")
