#!/usr/bin/env python3
"""Checks that a raw float32le stereo recording holds a steady 1 kHz tone.
Usage: check_tone.py RECORDING RATE [LEVEL] [strict]
strict: the pitch within 0.2 Hz and no jump anywhere in the tone (a seam of a loop that drops,
doubles or restarts anything shows as one)."""
import math
import sys

from recording import level, read_stereo

path, rate = sys.argv[1], int(sys.argv[2])
want_level = float(sys.argv[3]) if len(sys.argv) > 3 else 0.5
left, right = read_stereo(path)
loud = [i for i, x in enumerate(left) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent (%d frames)" % len(left))
first, last = loud[0], loud[-1]
span = (last - first) / rate
mid = (first + last) // 2
seg = left[max(first, mid - rate // 4): mid + rate // 4]
segr = right[max(first, mid - rate // 4): mid + rate // 4]


crossings = sum(1 for a, b in zip(seg, seg[1:]) if (a < 0) != (b < 0))
zc_hz = crossings / 2 / (len(seg) / rate)
lvl, lvl_r, off = level(seg, 1000, rate), level(segr, 1000, rate), level(seg, 1500, rate)
print("tone for %.2f s, zero-crossing rate %.1f Hz, 1 kHz level L %.3f R %.3f, 1.5 kHz %.4f"
      % (span, zc_hz, lvl, lvl_r, off))
# Exact pitch and seams. A pure tone obeys x[n+1] = 2cos(w) x[n] - x[n-1]; a seam that drops,
# doubles or restarts anything breaks that. So does a server that, on a busy machine, misses a
# device period (an xrun: that period is silent or out of step). Those breaks all fall on the
# period grid of the device (256 frames), while the seams of a 10 ms loop fall every 480 frames;
# breaks off the grid are counted as faults, and the pitch is taken over the longest stretch
# without any break, from crossings interpolated between samples.
body = left[first + rate // 10: last - rate // 10]
c = 2 * math.cos(2 * math.pi * 1000 / rate)
breaks = [i for i in range(1, len(body) - 1)
          if abs(body[i + 1] - c * body[i] + body[i - 1]) > 0.01 * lvl]
grid = max(range(256), key=lambda r: sum(1 for i in breaks if (i - r) % 256 < 3)) if breaks else 0
faults = [i for i in breaks if (i - grid) % 256 >= 3]
edges = [0] + breaks + [len(body)]
a, b = max(zip(edges, edges[1:]), key=lambda s: s[1] - s[0])
seg = body[a + 2:b]
cross = [i + x / (x - y) for i, (x, y) in enumerate(zip(seg, seg[1:])) if x < 0 <= y]
hz = (len(cross) - 1) / ((cross[-1] - cross[0]) / rate) if len(cross) > 1 else 0.0
print("strict: %.3f Hz over %d cycles; %d breaks off the device period grid (first at %s), "
      "%d on it (xruns)" % (hz, len(cross) - 1, len(faults), faults[:1], len(breaks) - len(faults)))
strict = sys.argv[4:5] == ["strict"]
if strict:  # levels over the stretch without breaks, which xruns cannot touch
    at = first + rate // 10 + a + 2
    lvl, lvl_r = level(seg, 1000, rate), level(right[at:at + len(seg)], 1000, rate)
    off, zc_hz = level(seg, 1500, rate), hz
    print("strict: levels over that stretch L %.3f R %.3f" % (lvl, lvl_r))
ok = (not strict or (abs(hz - 1000) < 0.2 and not faults and b - a > rate // 2)) and (
    span > 1.0 and abs(zc_hz - 1000) < 10 and lvl > want_level * 0.7 and
    lvl_r > want_level * 0.7 and off < 0.02)
sys.exit(0 if ok else "not the expected tone")
