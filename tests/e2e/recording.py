"""What the checkers share: a raw float32le stereo recording read in, the level of one tone, and
the dropouts a busy machine puts into a recording, told apart from what the program plays."""
import array
import math
import sys


def read_stereo(path):
    """The left and right channels of the recording at path."""
    data = array.array("f")
    with open(path, "rb") as f:
        data.frombytes(f.read())
    if sys.byteorder != "little":
        data.byteswap()
    return data[0::2], data[1::2]


def level(x, hz, rate):
    """Amplitude of the hz component of x (Goertzel)."""
    w = 2 * math.pi * hz / rate
    c = 2 * math.cos(w)
    s1 = s2 = 0.0
    for v in x:
        s1, s2 = v + c * s1 - s2, s1
    return 2 * math.sqrt(max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / len(x)


# Exit status of a check whose recording holds too many dropouts to judge the program by: the
# take is worth repeating, where a fault is not.
UNJUDGED = 3


def breaks(x, hz, rate, lvl):
    """Frames where x leaves the recurrence of a pure tone at hz: x[n+1] = 2cos(w) x[n] - x[n-1]
    holds for every sample of a tone; a seam that drops, doubles or restarts anything breaks it,
    and so does a dropout."""
    c = 2 * math.cos(2 * math.pi * hz / rate)
    return [i for i in range(1, len(x) - 1) if abs(x[i + 1] - c * x[i] + x[i - 1]) > 0.01 * lvl]


def silences(x, amp, least=8):
    """Runs of least frames or more in x under 1% of amp, as (first, last): in a tone at that
    amplitude, gaps the server filled with silence."""
    runs, run = [], 0
    for i, v in enumerate(x):
        run = run + 1 if abs(v) < 0.01 * amp else 0
        if run == least:
            runs.append([i - least + 1, i])
        elif run > least:
            runs[-1][1] = i
    return runs


def dropouts(x, found, amp, grid=0, cuts=()):
    """The breaks found in x (see breaks) and the silences in it grouped into events (within 64
    frames of each other), each (first, last, kind): "gap" when it holds a silence (the server
    played nothing there: an underrun), "period" when its breaks all lie on the server's period
    grid (a period out of step; grid is (period, phase), 0 for none), else "jump". Gaps and
    periods are dropouts, which the program cannot cause in a tone that plays on; a jump may be
    either. cuts: where silences were cut out of x already (see splice)."""
    spans = sorted([[i, i, False] for i in found] + [[a, b, True] for a, b in silences(x, amp)] +
                   [[c, c, True] for c in cuts])
    events = []
    for a, b, silent in spans:
        if events and a - events[-1][1] <= 64:
            events[-1][1] = max(events[-1][1], b)
            events[-1][2] = events[-1][2] or silent
        else:
            events.append([a, b, silent])
    out = []
    for a, b, silent in events:
        on_grid = grid and all(min((i - grid[1]) % grid[0], grid[0] - (i - grid[1]) % grid[0]) < 3
                               for i in found if a <= i <= b)
        out.append((a, b, "gap" if silent else "period" if on_grid else "jump"))
    return out


def judge(events, strict=False):
    """The events split into (dropouts, faults). A busy machine may also skip or repeat part of a
    period without any silence (a recorder or server that fell behind): a jump. Jumps are faults
    where strict says the path has none, or when three or more recur at one spacing, as what the
    program does wrong recurs with the file (a seam off by a frame breaks every pass); a busy
    machine's fall at no such beat."""
    jumps = [e for e in events if e[2] == "jump"]
    spacing = [b[0] - a[0] for a, b in zip(jumps, jumps[1:])]
    # A beat of whole server periods (256 frames) is the server missing periods in step; the
    # files played here repeat at no such length.
    own = [h for h in spacing if min(h % 256, 256 - h % 256) >= 3]
    beat = max((sum(1 for g in spacing if abs(g - h) <= 3) for h in own), default=0)
    faults = jumps if strict or (len(jumps) >= 3 and beat * 3 >= len(spacing) * 2) else []
    return [e for e in events if e not in faults], faults


def splice(x, amp):
    """x without its silences (see silences): an underrun delays what follows it, so the
    program's timeline is x with them cut out. Returns that and where the cuts were."""
    out, cuts, at = [], [], 0
    for a, b in silences(x, amp):
        out += list(x[at:a])
        cuts.append(len(out))
        at = b + 1
    return out + list(x[at:]), cuts


def steady_level(x, hz, rate):
    """The level of the hz tone in x as most 10 ms windows of it have it (the median): a dropout
    spoils the windows it falls in, not the measure."""
    win = rate // 100
    levels = sorted(level(x[i:i + win], hz, rate) for i in range(0, len(x) - win + 1, win))
    return levels[len(levels) // 2] if levels else 0.0


def clean(length, events, margin=64):
    """The longest stretch of [0, length) at least margin frames away from every event."""
    edges = [0] + [e for a, b, _ in events for e in (a - margin, b + margin)] + [length]
    pairs = list(zip(edges[0::2], edges[1::2]))
    return max(pairs, key=lambda s: s[1] - s[0])


def pitch(x, rate):
    """The frequency of x from its rising zero crossings, interpolated between samples."""
    cross = [i + a / (a - b) for i, (a, b) in enumerate(zip(x, x[1:])) if a < 0 <= b]
    return (len(cross) - 1) / ((cross[-1] - cross[0]) / rate) if len(cross) > 1 else 0.0


def report(events):
    """The dropout line every check prints, for the test log."""
    kinds = [k for _, _, k in events]
    print("dropouts: %d (%d gaps of silence, %d periods out of step, %d jumps)"
          % (len(events), kinds.count("gap"), kinds.count("period"), kinds.count("jump")))
