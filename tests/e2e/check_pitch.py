#!/usr/bin/env python3
"""Checks that a raw float32le stereo recording holds a 1 kHz tone at its pitch all through, across
changes of the graph's rate: the pitch of every 100 ms window of the tone, from zero crossings
interpolated between samples, within 1 Hz of 1000, but for the windows that hold a change itself.
Dropouts (see recording.py) are counted; a window that holds a gap of silence is not judged.
Usage: check_pitch.py RECORDING RATE CHANGES"""
import sys

from recording import breaks, dropouts, pitch, read_stereo, report

path, rate, changes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
left, _ = read_stereo(path)
loud = [i for i, x in enumerate(left) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent")
body = left[loud[0] + rate // 10: loud[-1] - rate // 10]
win = rate // 10
amp = sorted(abs(v) for v in body)[len(body) * 99 // 100]
events = dropouts(body, breaks(body, 1000, rate, amp), amp)
report(events)
gaps = [(a, b) for a, b, kind in events if kind == "gap"]
pitches = [pitch(body[at:at + win], rate) for at in range(0, len(body) - win, win)]
off = [(i / 10, round(p, 1)) for i, p in enumerate(pitches) if abs(p - 1000) > 1 and
       not any(a - win <= i * win <= b for a, b in gaps)]
print("%d windows of 100 ms, %d off 1 kHz by more than 1 Hz: %s" % (len(pitches), len(off), off))
# A change may spoil the window it falls in and the next (the sound takes over within cycles).
sys.exit(0 if len(pitches) > 20 and len(off) <= 2 * changes else "the pitch moved")
