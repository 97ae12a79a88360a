#!/usr/bin/env python3
"""Checks that a raw float32le stereo recording holds a steady 1 kHz tone at LEVEL (default 0.5)
on both sides. Dropouts (see recording.py) are counted and reported, and judged apart: the pitch,
over the longest stretch without one, within 0.2 Hz; the level most 10 ms windows have within 1 dB,
and nothing at 1.5 kHz. strict: the tone is a loop's seams over and over (a 10 ms loop), so any
break that is not a dropout on the server's 256-frame period grid, or a gap of silence, is a
fault; otherwise jumps that recur at one spacing are. Exit 3 when the dropouts leave no tenth of
a second to judge the pitch by.
Usage: check_tone.py RECORDING RATE [LEVEL] [strict]"""
import math
import sys

from recording import (UNJUDGED, breaks, clean, dropouts, judge, pitch, read_stereo, report,
                       steady_level)

path, rate = sys.argv[1], int(sys.argv[2])
want_level = float(sys.argv[3]) if len(sys.argv) > 3 else 0.5
strict = sys.argv[4:5] == ["strict"]
left, right = read_stereo(path)
loud = [i for i, x in enumerate(left) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent (%d frames)" % len(left))
first, last = loud[0], loud[-1]
span = (last - first) / rate
at = first + rate // 10
body, bodyr = left[at:last - rate // 10], right[at:last - rate // 10]
amp = sorted(abs(v) for v in body)[len(body) * 99 // 100] if body else 0.0
found = breaks(body, 1000, rate, amp)
# A server that misses a device period puts its breaks on the period grid (256 frames).
grid = (256, max(range(256), key=lambda r: sum(1 for i in found if (i - r) % 256 < 3))
        if found else 0)
events = dropouts(body, found, amp, grid if strict else 0)
drops, faults = judge(events, strict)
report(drops)
a, b = clean(len(body), events)
hz = pitch(body[a:b], rate)
lvl, lvl_r = steady_level(body, 1000, rate), steady_level(bodyr, 1000, rate)
off = steady_level(body, 1500, rate)
print("tone for %.2f s: 1 kHz level L %.3f R %.3f, 1.5 kHz %.4f; over %.2f s without dropouts "
      "%.3f Hz; faults: %d %s" % (span, lvl, lvl_r, off, (b - a) / rate, hz, len(faults),
                                  [e[0] for e in faults[:3]]))
if faults:
    sys.exit("breaks in the tone that are no dropout")
if b - a < rate // 10:
    print("too many dropouts to judge the tone")
    sys.exit(UNJUDGED)
db = [20 * math.log10(max(v, 1e-9) / want_level) for v in (lvl, lvl_r)]
ok = span > 1.0 and abs(hz - 1000) < 0.2 and max(abs(d) for d in db) < 1 and off < 0.02
sys.exit(0 if ok else "not the expected tone")
