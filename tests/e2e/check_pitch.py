#!/usr/bin/env python3
"""Checks that a raw float32le stereo recording holds a 1 kHz tone at its pitch all through, across
changes of the graph's rate: the pitch of every 100 ms window of the tone, from zero crossings
interpolated between samples, within 1 Hz of 1000, but for the windows that hold a change itself.
Dropouts (see recording.py) are counted; a window that holds a gap or a brief jump is not
judged, and jumps that recur at one spacing are faults. Exit 3 when the dropouts leave fewer than 20 windows to judge.
Usage: check_pitch.py RECORDING RATE CHANGES"""
import sys

from recording import UNJUDGED, breaks, dropouts, judge, pitch, read_stereo, report

path, rate, changes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
left, _ = read_stereo(path)
loud = [i for i, x in enumerate(left) if abs(x) > 0.05]
if not loud:
    sys.exit("recording is silent")
body = left[loud[0] + rate // 10: loud[-1] - rate // 10]
win = rate // 10
amp = sorted(abs(v) for v in body)[len(body) * 99 // 100]
events = dropouts(body, breaks(body, 1000, rate, amp), amp)
drops, faults = judge(events)
report(drops)
# A dropout is brief, or a gap of silence; a tone at another pitch breaks the recurrence all
# along, one long event, whose windows are judged.
brief = [(a, b) for a, b, kind in events if kind == "gap" or b - a < rate // 100]
starts = [at for at in range(0, len(body) - win, win)
          if not any(a - 64 < at + win and at < b + 64 for a, b in brief)]
pitches = [(at / rate, round(pitch(body[at:at + win], rate), 1)) for at in starts]
off = [(t, p) for t, p in pitches if abs(p - 1000) > 1]
print("%d of %d windows of 100 ms clear of dropouts, %d off 1 kHz by more than 1 Hz: %s; faults: %s"
      % (len(pitches), len(range(0, len(body) - win, win)), len(off), off, [e[0] for e in faults[:3]]))
if faults:
    sys.exit("breaks in the tone that are no dropout")
if len(pitches) < 20:
    print("too many dropouts to judge the pitch")
    sys.exit(UNJUDGED)
# A change may spoil the window after it too (the sound takes over within cycles).
sys.exit(0 if len(off) <= 2 * changes else "the pitch moved")
