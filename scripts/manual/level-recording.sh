#!/bin/bash
# By hand: the preview level as a sink's monitor hears it. The program (under Xvfb + openbox,
# driven by xdotool) loops a 1 kHz tone in Loop mode: full level, then four Ctrl+Down; closed and
# started again, the same tone, then four Ctrl+Up. level_check.py then gives each run's level at
# its start and end and the clicks in it. "pipewire": a private PipeWire server (native output);
# "pulse": a private PulseAudio server (through SDL).
# Needs: xvfb openbox xdotool sox pulseaudio-utils, and pipewire or pulseaudio.
#   scripts/manual/level-recording.sh pipewire|pulse [build]
set -u
cd "$(dirname "$0")/../.."
mode=${1:?usage: level-recording.sh pipewire|pulse [build]}
build=${2:-build}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/level-XXXXXX")
pids=
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    [ "$mode" = pipewire ] && pw_env_stop
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
mkdir -p "$tmp/app" "$tmp/lib"
cp "$build/bin/wavplayer" "$build/bin/STOP.wav" "$tmp/app/"
sox -n -r 48000 -c 2 -e floating-point -b 32 "$tmp/lib/tone.wav" synth 1 sine 1000 vol 0.5
printf '[Brimvale WAV-Player/Looper]\nLoop=1\n' >"$tmp/app/wavplayer.ini"

if [ "$mode" = pipewire ]; then
    . tests/e2e/pipewire_env.sh
    pw_env_start || exit $?
else
    mkdir -p "$tmp/run" "$tmp/state" "$tmp/xdg" && chmod 700 "$tmp/run" "$tmp/xdg"
    export HOME=$tmp PULSE_RUNTIME_PATH=$tmp/run PULSE_STATE_PATH=$tmp/state
    export XDG_RUNTIME_DIR=$tmp/xdg PULSE_SERVER=unix:$tmp/run/native SDL_AUDIODRIVER=pulseaudio
    export PULSE_LATENCY_MSEC=40  # as the PulseAudio end-to-end test: rides out a busy machine
    printf 'autospawn = no\n' >"$tmp/client.conf"
    export PULSE_CLIENTCONFIG=$tmp/client.conf
    unset DBUS_SESSION_BUS_ADDRESS
    pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --disallow-exit \
        --use-pid-file=no --disable-shm=yes \
        --load="module-null-sink sink_name=test rate=48000 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/run/native" \
        >"$tmp/pulse.log" 2>&1 &
    pids="$pids $!"
    for _ in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl set-default-sink test
fi

export DISPLAY=:93
Xvfb :93 -screen 0 1024x768x24 >/dev/null 2>&1 &
pids="$pids $!"
sleep 1
openbox >/dev/null 2>&1 &
pids="$pids $!"
parec --device=test.monitor --format=float32le --rate=48000 --channels=2 --latency-msec=20 \
    --raw "$tmp/rec.raw" &
pids="$pids $!"
sleep 1

# One run: click the tone (the second row), let it loop 2 s, four steps 0.3 s apart, 2 s more;
# then the window is closed, which saves the level.
run() {
    "$tmp/app/wavplayer" "$tmp/lib/tone.wav" >/dev/null 2>&1 &
    local pid=$!
    local wid
    wid=$(xdotool search --sync --name Brimvale | head -1)
    xdotool windowactivate --sync "$wid"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    xdotool mousemove $((X + 35)) $((Y + 35)) click 1 mousemove $((X + 200)) $((Y + 200))
    sleep 2
    for _ in 1 2 3 4; do xdotool key "ctrl+$1"; sleep 0.3; done
    sleep 2
    xdotool windowactivate --sync "$wid" key alt+F4
    wait "$pid"
    grep Volume "$tmp/app/wavplayer.ini"
    sleep 1
}
run Down
run Up
sleep 0.5
python3 scripts/manual/level_check.py "$tmp/rec.raw"
