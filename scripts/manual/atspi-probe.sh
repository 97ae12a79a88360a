#!/bin/sh
# By hand: the window as a screen reader reads it, through AT-SPI on a real X server (Xvfb +
# openbox, a session bus of its own with the accessibility bus on it). Prints the tree with each
# control's role, name and description, the focused object after the reload button, and a file
# row's description. Needs: xvfb openbox xdotool at-spi2-core python3-pyatspi.
#   scripts/manual/atspi-probe.sh [build]
set -u
cd "$(dirname "$0")/../.."
EXE=$PWD/${1:-build}/bin/wavplayer
W=$(mktemp -d)
mkdir -p "$W/lib/Drums" "$W/run"
chmod 700 "$W/run"
sox -n -r 44100 -c 2 -b 16 "$W/lib/kick.wav" synth 0.25 sine 60
sox -n -r 48000 -c 1 -b 24 "$W/lib/pad.wav" synth 1.5 sine 440
export DISPLAY=:94 SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR=$W/run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export XDG_CONFIG_HOME=$W/config
dbus-daemon --session --fork --address="unix:path=$W/bus" --print-pid=3 3>"$W/dbus.pid"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$W/bus
Xvfb :94 -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & BPID=$!
sleep 1
"$EXE" "$W/lib/kick.wav" >/dev/null 2>&1 & PPID_=$!
xdotool search --sync --name Brimvale >/dev/null
sleep 1
/usr/bin/python3 scripts/manual/atspi_probe.py  # the system one, which has pyatspi
kill "$PPID_" "$BPID" "$OPID" "$XPID" "$(cat "$W/dbus.pid")" 2>/dev/null
wait 2>/dev/null
rm -rf "$W"
