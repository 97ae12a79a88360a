#!/bin/sh
# By hand, on a real X server (Xvfb + openbox, driven by xdotool): after opening a folder End
# plays its last file, and after "[..]" End plays the last file there. What plays is seen as
# the sound service opening the file (strace). Needs: xvfb openbox xdotool strace.
#   scripts/manual/x11-keys-after-folder-change.sh [build]
set -eu
cd "$(dirname "$0")/../.."
EXE=$PWD/${1:-build}/bin/wavplayer
W=$(mktemp -d)
mkdir -p "$W/lib/Drums" "$W/config"
for f in lib/a.wav lib/b.wav lib/Drums/kick.wav lib/Drums/snare.wav; do cp "$(dirname "$EXE")/STOP.wav" "$W/$f"; done
export DISPLAY=:77 SDL_AUDIODRIVER=dummy
Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
sleep 1
strace -f -qq -e trace=openat -o "$W/trace" "$EXE" "$W/lib/a.wav" >/dev/null 2>&1 & SPID=$!
sleep 3
WID=$(xdotool search --name "Brimvale" | head -1)
xdotool windowactivate --sync "$WID"
eval "$(xdotool getwindowgeometry --shell "$WID")"
# Rows are 14 px from the list's top: [..] 21 px and [Drums] 35 px below the client's top.
xdotool mousemove $((X + 35)) $((Y + 35)) click --repeat 2 --delay 80 1
sleep 1
xdotool key End
sleep 1
xdotool mousemove $((X + 35)) $((Y + 21)) click --repeat 2 --delay 80 1
sleep 1
xdotool key End
sleep 1
xdotool windowactivate --sync "$WID" key alt+F4
sleep 2
kill "$SPID" "$OPID" "$XPID" 2>/dev/null || true
wait 2>/dev/null || true
echo "started (expect Drums/snare.wav, then b.wav):"
grep -E '\.wav"' "$W/trace" | grep -v -e ENOENT -e STOP.wav | grep -o '"[^"]*"' | sed "s|$W/lib/||"
rm -rf "$W"
