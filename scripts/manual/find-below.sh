#!/bin/sh
# By hand: Ctrl+Shift+F on a FUSE mount whose first folder never answers. The file five folders
# down must be found and heard within 1.5 s of the last typed key (Down is pressed every 100 ms
# until the file is opened), the line must say that one folder did not answer, and the window
# must keep repainting while the walk waits (the search line's blinking cursor, cropped from a
# screenshot every 100 ms, changes). Needs: python3-fusepy fuse3 xvfb openbox xdotool strace
# imagemagick sox.   scripts/manual/find-below.sh [build]
set -eu
cd "$(dirname "$0")/../.."
EXE=$PWD/${1:-build}/bin/wavplayer
INI=$(dirname "$EXE")/wavplayer.ini
W=$(mktemp -d)
[ -f "$INI" ] && cp "$INI" "$W/saved.ini"
mkdir -p "$W/src/000 silent/a" "$W/src/Kits/Acoustic/Room/Close/Mic 2" "$W/src/Loops" "$W/fuse"
for i in 1 2 3 4 5 6 7 8; do sox -n -r 44100 -b 16 "$W/src/Loops/loop $i.wav" synth 0.2 sine 330 2>/dev/null; done
sox -n -r 44100 -b 16 "$W/src/start.wav" synth 0.1 sine 220 2>/dev/null
sox -n -r 44100 -b 16 "$W/src/Kits/Acoustic/Room/Close/Mic 2/deep snare.wav" synth 1 sine 440 2>/dev/null
/usr/bin/python3 scripts/manual/findfs.py "$W/fuse" "$W/src" & FPID=$!
sleep 2
export DISPLAY=:78 SDL_AUDIODRIVER=dummy
Xvfb :78 -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
sleep 1
strace -f -qq -ttt -e trace=openat -o "$W/trace" "$EXE" "$W/fuse/start.wav" >/dev/null 2>&1 & SPID=$!
sleep 3
WID=$(xdotool search --name "Brimvale" | head -1)
xdotool windowactivate --sync "$WID"
eval "$(xdotool getwindowgeometry --shell "$WID")"
xdotool key ctrl+shift+f
sleep 0.3
xdotool type --delay 60 "deep snare"
LAST=$(date +%s.%N)
# Screenshots of the search line while the silent folder holds one of the walk's workers.
( for i in $(seq 1 25); do
      import -window "$WID" png:- 2>/dev/null | convert - -crop 200x14+10+37 "$W/line-$i.png"
      sleep 0.1
  done ) & SHOTS=$!
for i in $(seq 1 20); do
    grep -q "deep snare.wav\", O_RDONLY" "$W/trace" 2>/dev/null && break
    xdotool key Down
    sleep 0.1
done
HEARD=$(grep "deep snare.wav\", O_RDONLY" "$W/trace" | grep -v ENOENT | head -1 | awk '{print $2}')
echo "last key typed -> deep snare.wav opened: $(echo "${HEARD:-0} - $LAST" | bc) s (target <= 1.5)"
wait "$SHOTS"
cp "$W/line-1.png" /tmp/find-below-line.png
echo "distinct pictures of the search line in 25 shots over 2.5 s: $(md5sum "$W"/line-*.png | awk '{print $1}' | sort -u | wc -l)"
sleep 2
import -window "$WID" "$W/window.png" 2>/dev/null && cp "$W/window.png" /tmp/find-below-window.png
echo "window after the bound: /tmp/find-below-window.png (the line ends \"1 Ordner fehlt\")"
xdotool windowactivate --sync "$WID" key Escape key alt+F4
sleep 1
kill -9 "$FPID"
kill "$SPID" "$OPID" "$XPID" 2>/dev/null || true
fusermount -u "$W/fuse" 2>/dev/null || umount -l "$W/fuse"
wait 2>/dev/null || true
[ -f "$W/saved.ini" ] && cp "$W/saved.ini" "$INI"
rm -rf "$W"
