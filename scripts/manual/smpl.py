#!/usr/bin/env python3
# Gives a WAV file a sampler loop (a smpl chunk): smpl.py FILE START END [0 forward|1 alternating|2 backward]
import struct, sys

path, start, end = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
mode = int(sys.argv[4]) if len(sys.argv) > 4 else 0
data = bytearray(open(path, 'rb').read())
body = struct.pack('<9I', 0, 0, 0, 60, 0, 0, 0, 1, 0) + struct.pack('<6I', 0, mode, start, end, 0, 0)
data += b'smpl' + struct.pack('<I', len(body)) + body
data[4:8] = struct.pack('<I', len(data) - 8)
open(path, 'wb').write(data)
