"""What the checkers share: a raw float32le stereo recording read in, and the level of one tone."""
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
