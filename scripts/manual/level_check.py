#!/usr/bin/env python3
"""Measures a monitor recording of a looped 1 kHz tone whose level was changed while it played.
Each stretch of sound (one run of the program) is reported with its level over its first and its
last second (the median of 20 ms windows, in dB against amplitude 0.5, the file's own), the level
changes found in it (20 ms windows 0.5 dB apart from the one before), and the clicks: samples where
the tone's recurrence x[n+1] = 2cos(w) x[n] - x[n-1] breaks by more than 1 % of the local
amplitude. Breaks within 40 ms of a level change are counted apart, wherever they fall: a gain
step without a ramp makes one there (on the period grid, as the gain is taken up per cycle).
Elsewhere only breaks off the device's 256-frame period grid count as clicks; those on it are a
busy machine's late cycles.
Usage: level_check.py RECORDING.raw [RATE]"""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from recording import level, read_stereo  # noqa: E402

path = sys.argv[1]
rate = int(sys.argv[2]) if len(sys.argv) > 2 else 48000
left, _ = read_stereo(path)
loud = [abs(x) > 0.001 for x in left]
runs, start, quiet = [], None, 0
for i, on in enumerate(loud + [False] * rate):
    if on:
        start = i if start is None else start
        quiet = 0
    elif start is not None:
        quiet += 1
        if quiet > rate // 5:
            runs.append((start, i - quiet))
            start = None
c = 2 * math.cos(2 * math.pi * 1000 / rate)


def db(amps):
    return 20 * math.log10(max(sorted(amps)[len(amps) // 2], 1e-9) / 0.5)


for n, (a, b) in enumerate(runs, 1):
    body = left[a + rate // 20: b - rate // 20]  # the start's and the end's fades left out
    win = rate // 50
    amp = [level(body[i:i + win], 1000, rate) for i in range(0, len(body) - win, win)]
    breaks = [i for i in range(1, len(body) - 1)
              if abs(body[i + 1] - c * body[i] + body[i - 1]) >
              0.01 * amp[min(i // win, len(amp) - 1)]]
    grid = max(range(256), key=lambda r: sum(1 for i in breaks if (i - r) % 256 < 3)) \
        if breaks else 0
    clicks = [i for i in breaks if (i - grid) % 256 >= 3]
    dips = set(k for k in range(len(amp))
               if amp[k] < 0.89 * min(max(amp[max(0, k - 3):k] or [0]), max(amp[k + 1:k + 4] or [0])))
    out = set(j for k in dips for j in (k - 1, k, k + 1))
    changes = [k * win for k in range(1, len(amp)) if k not in out and k - 1 not in out and
               abs(20 * math.log10(max(amp[k], 1e-9) / max(amp[k - 1], 1e-9))) > 0.5]
    breaks = [i for i in breaks if i // win not in out]
    clicks = [i for i in clicks if i // win not in out]
    at_change = [i for i in range(1, len(body) - 1)
                 if i // win not in out and any(abs(i - t) < rate // 25 + win for t in changes)]
    worst = max((abs(body[i + 1] - c * body[i] + body[i - 1]) / amp[min(i // win, len(amp) - 1)]
                 for i in at_change), default=0)
    near = [i for i in breaks if any(abs(i - t) < rate // 25 + win for t in changes)]
    clicks = [i for i in clicks if i not in near]
    per_s = rate // win
    print("run %d: %.2f s, first second %.2f dB, last second %.2f dB; %d dropouts at %s s; "
          "%d level changes at %s s; "
          "clicks at a change %d, elsewhere %d (at %s s); %d other breaks on the period grid; "
          "largest residual at a change %.2f %% of the amplitude"
          % (n, (b - a) / rate, db(amp[:per_s]), db(amp[-per_s:]), len(dips),
             ["%.2f" % (k * win / rate) for k in sorted(dips)][:6], len(changes),
             ["%.2f" % (t / rate) for t in changes], len(near), len(clicks),
             ["%.2f" % (i / rate) for i in clicks][:6], len(breaks) - len(clicks) - len(near),
             100 * worst))
