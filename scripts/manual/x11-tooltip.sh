#!/bin/sh
# By hand, on a real X server (Xvfb + openbox, driven by xdotool): the pointer rests on the demo
# pad that carries its own loop, and the screen is saved with its tooltip (text, loop line, the
# picture with the loop shaded). Needs: xvfb openbox xdotool imagemagick.
#   scripts/manual/x11-tooltip.sh [build] [PNG] [QT_SCALE_FACTOR] [ROW_Y]
# ROW_Y: the pad's row below the client's top (63 at scale 1, 152 at scale 2).
set -eu
cd "$(dirname "$0")/../.."
EXE=$PWD/${1:-build}/bin/wavplayer
PNG=${2:-/tmp/wavplayer-tooltip.png}
export DISPLAY=:87 SDL_AUDIODRIVER=dummy QT_SCALE_FACTOR=${3:-1}
Xvfb :87 -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
sleep 1
"$EXE" "$(dirname "$EXE")/../demo/Loops/Pad with sustain loop.wav" >/dev/null 2>&1 & PID=$!
sleep 3
WID=$(xdotool search --name "Brimvale" | head -1)
xdotool windowactivate --sync "$WID"
eval "$(xdotool getwindowgeometry --shell "$WID")"
# Rows are 14 px apart ([..] 21 px below the client's top); the pad is the fourth entry.
ROW=${4:-63}
xdotool mousemove $((X + 40)) $((Y + ROW))
sleep 0.3
xdotool mousemove $((X + 42)) $((Y + ROW))
sleep 2
import -window root "$PNG"
kill "$PID" "$OPID" "$XPID" 2>/dev/null || true
wait 2>/dev/null || true
echo "saved $PNG"
