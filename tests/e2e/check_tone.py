#!/usr/bin/env python3
"""Checks that a raw float32le stereo recording holds a steady 1 kHz tone."""
import array
import math
import sys

path, rate = sys.argv[1], int(sys.argv[2])
want_level = float(sys.argv[3]) if len(sys.argv) > 3 else 0.5
data = array.array("f")
with open(path, "rb") as f:
    data.frombytes(f.read())
if sys.byteorder != "little":
    data.byteswap()
left = data[0::2]
right = data[1::2]
loud = [i for i, x in enumerate(left) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent (%d frames)" % len(left))
first, last = loud[0], loud[-1]
span = (last - first) / rate
mid = (first + last) // 2
seg = left[max(first, mid - rate // 4): mid + rate // 4]
segr = right[max(first, mid - rate // 4): mid + rate // 4]


def goertzel(x, hz):
    w = 2 * math.pi * hz / rate
    c = 2 * math.cos(w)
    s1 = s2 = 0.0
    for v in x:
        s1, s2 = v + c * s1 - s2, s1
    return 2 * math.sqrt(max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / len(x)


crossings = sum(1 for a, b in zip(seg, seg[1:]) if (a < 0) != (b < 0))
zc_hz = crossings / 2 / (len(seg) / rate)
lvl, lvl_r, off = goertzel(seg, 1000), goertzel(segr, 1000), goertzel(seg, 1500)
print("tone for %.2f s, zero-crossing rate %.1f Hz, 1 kHz level L %.3f R %.3f, 1.5 kHz %.4f"
      % (span, zc_hz, lvl, lvl_r, off))
ok = (span > 1.0 and abs(zc_hz - 1000) < 10 and lvl > want_level * 0.7 and
      lvl_r > want_level * 0.7 and off < 0.02)
sys.exit(0 if ok else "not the expected tone")
