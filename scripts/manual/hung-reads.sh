#!/bin/sh
# By hand: sound files on a FUSE mount where every read of hang.wav waits until released. Other
# files must be ready in a few milliseconds, Stop must silence, and once the share answers
# nothing may be left: no readers, no parked workers, no buffer bytes.
# Needs: python3-fusepy fuse3 sox.   scripts/manual/hung-reads.sh [build]
set -eu
cd "$(dirname "$0")/../.."
B=$PWD/${1:-build}
W=$(mktemp -d)
mkdir "$W/src" "$W/fuse"
for n in a b c hang; do sox -r 44100 -n -b 16 "$W/src/$n.wav" synth 1 sine 440 vol 0.5 2>/dev/null; done
g++ -std=c++17 -O2 -Isrc scripts/manual/hung_reads.cpp "$B/libwavcore.a" \
    $(pkg-config --libs sndfile soxr sdl2 libpipewire-0.3 2>/dev/null || pkg-config --libs sndfile soxr sdl2) \
    -lpthread -o "$W/hung_reads"
/usr/bin/python3 scripts/manual/hangfs.py "$W/fuse" "$W/src" "$W/release" & FPID=$!
sleep 2
"$W/hung_reads" "$W/fuse" "$B/bin/STOP.wav" "$W/release"
fusermount -u "$W/fuse" 2>/dev/null || umount -l "$W/fuse"
kill "$FPID" 2>/dev/null || true
wait 2>/dev/null || true
rm -rf "$W"
