#!/bin/bash
# By hand, on a real X server (Xvfb + openbox): the program is ended by SIGTERM, SIGHUP and
# SIGINT (from a job-controlled shell, so SIGINT is not ignored) after the user opened a folder;
# each time it must exit with status 0 within a second and leave the seven settings with that
# folder. A job started with nohup keeps ignoring SIGHUP. Needs: xvfb openbox xdotool.
#   scripts/manual/x11-session-end.sh [build]
set -eu -m
cd "$(dirname "$0")/../.."
EXE=$PWD/${1:-build}/bin/wavplayer
INI=$(dirname "$EXE")/wavplayer.ini
DEMO=$(cd "$(dirname "$EXE")/../demo" && pwd)
export DISPLAY=:88 SDL_AUDIODRIVER=dummy
Xvfb :88 -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
sleep 1
trap 'kill $OPID $XPID 2>/dev/null' EXIT
for sig in TERM HUP INT; do
    rm -f "$INI"
    "$EXE" "$DEMO/Loops" >/dev/null 2>&1 & PID=$!
    sleep 2
    t0=$(date +%s%N)
    kill -$sig $PID
    rc=0; wait $PID || rc=$?
    ms=$(( ($(date +%s%N) - t0) / 1000000 ))
    echo "SIG$sig: exit $rc after $ms ms; $(grep -c = "$INI" 2>/dev/null || echo 0) keys; $(grep LastDir "$INI" 2>/dev/null)"
done
rm -f "$INI"
nohup "$EXE" "$DEMO/Loops" >/dev/null 2>&1 & PID=$!
sleep 2
kill -HUP $PID; sleep 1
if kill -0 $PID 2>/dev/null; then echo "nohup: SIGHUP ignored, still running"; else echo "nohup: ended"; fi
kill -TERM $PID; rc=0; wait $PID || rc=$?
echo "nohup, then SIGTERM: exit $rc; $(grep -c = "$INI" 2>/dev/null || echo 0) keys"
