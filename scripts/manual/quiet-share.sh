#!/bin/sh
# By hand: a folder on a FUSE mount whose listing never ends (a share gone quiet). Double-
# clicking it must leave the window answering within about 2 s (End then plays ok.wav), and a
# saved LastDir there must not hold up the start. Needs: python3-fusepy fuse xvfb openbox
# xdotool strace bc.   scripts/manual/quiet-share.sh [build]
set -eu
cd "$(dirname "$0")/../.."
EXE=$PWD/${1:-build}/bin/wavplayer
INI=$(dirname "$EXE")/wavplayer.ini
W=$(mktemp -d)
mkdir "$W/fuse"
/usr/bin/python3 scripts/manual/quietfs.py "$W/fuse" "$(dirname "$EXE")/STOP.wav" & FPID=$!
sleep 2
export DISPLAY=:77 SDL_AUDIODRIVER=dummy
Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
sleep 1
rm -f "$INI"
strace -f -qq -tt -e trace=openat -o "$W/trace" "$EXE" "$W/fuse/ok.wav" >/dev/null 2>&1 & SPID=$!
sleep 3
WID=$(xdotool search --name "Brimvale" | head -1)
xdotool windowactivate --sync "$WID"
eval "$(xdotool getwindowgeometry --shell "$WID")"
echo "double click on [quiet], then End: $(date +%T.%N | cut -c1-12)"
xdotool mousemove $((X + 35)) $((Y + 35)) click --repeat 2 --delay 80 1 key End
sleep 4
echo "ok.wav started:                    $(grep ok.wav "$W/trace" | grep -v ENOENT | tail -1 | awk '{print $2}')"
xdotool windowactivate --sync "$WID" key alt+F4
sleep 2
grep LastDir "$INI"
printf '[Brimvale WAV-Player/Looper]\nLastDir=%s/fuse/quiet/\n' "$W" >"$INI"
S=$(date +%s.%N)
"$EXE" >/dev/null 2>&1 & PPID2=$!
xdotool search --sync --name "Brimvale" >/dev/null
echo "start with LastDir in the quiet folder: window up after $(echo "$(date +%s.%N) - $S" | bc) s"
sleep 1
xdotool windowactivate --sync "$(xdotool search --name Brimvale | head -1)" key alt+F4
sleep 2
grep LastDir "$INI"
# The listing thread of each closed program waits in the kernel until the file system goes.
kill -9 "$FPID"
kill "$SPID" "$PPID2" "$OPID" "$XPID" 2>/dev/null || true
fusermount -u "$W/fuse" 2>/dev/null || umount -l "$W/fuse"
wait 2>/dev/null || true
rm -rf "$W"
