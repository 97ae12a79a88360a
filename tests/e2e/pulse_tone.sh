#!/bin/sh
# End to end: the sound service through SDL into a private PulseAudio null sink, whose monitor
# is recorded and checked for the 1 kHz tone that play_tone plays; with "sampler", for a file's own
# loop in Loop mode (attack once, the region repeating, the tail never heard); with "exact", for a
# float file with NaN and infinite samples and a 4-channel file without a mask (check_exact.py).
# Usage: pulse_tone.sh DIR_WITH_play_tone [sampler | exact]
# Exit 77 (skipped) when no PulseAudio server can be started here, or when a take had too many
# dropouts to judge twice over.
set -u
bindir=${1:?usage: pulse_tone.sh BINDIR}
here=$(cd "$(dirname "$0")" && pwd)
player=$bindir/play_tone
mode=${2:-}
[ -x "$player" ] || { echo "no $player"; exit 1; }
command -v pulseaudio >/dev/null && command -v parec >/dev/null || { echo "pulseaudio missing"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pulse-e2e-XXXXXX")
pa_pid=
rec_pid=
cleanup() {
    [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null
    [ -n "$pa_pid" ] && kill "$pa_pid" 2>/dev/null && wait "$pa_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

# A server of our own: own runtime, state and home, no session bus, no autospawned others.
mkdir -p "$tmp/run" "$tmp/state" "$tmp/xdg"
chmod 700 "$tmp/run" "$tmp/xdg"
export HOME=$tmp PULSE_RUNTIME_PATH=$tmp/run PULSE_STATE_PATH=$tmp/state XDG_RUNTIME_DIR=$tmp/xdg
export PULSE_SERVER=unix:$tmp/run/native
unset DBUS_SESSION_BUS_ADDRESS DISPLAY
printf 'autospawn = no\n' > "$tmp/client.conf"
export PULSE_CLIENTCONFIG=$tmp/client.conf

pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --disallow-exit \
    --use-pid-file=no --disable-shm=yes --log-target=stderr \
    --load="module-null-sink sink_name=test rate=48000 channels=2" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/run/native" \
    >"$tmp/pulse.log" 2>&1 &
pa_pid=$!

up=
for _ in $(seq 1 50); do
    if pactl info >/dev/null 2>&1; then up=1; break; fi
    kill -0 "$pa_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$up" ]; then
    echo "PulseAudio did not start:"; cat "$tmp/pulse.log"
    exit 77
fi
pactl set-default-sink test

# One take: record the monitor while play_tone plays, then check the recording. With exact, $1
# names the file.
take() {
    rm -f "$tmp/rec.raw"
    parec --device=test.monitor --format=float32le --rate=48000 --channels=2 --latency-msec=100 \
        --raw "$tmp/rec.raw" &
    rec_pid=$!
    # parec takes a while to connect; play only once the recording runs.
    for _ in $(seq 1 100); do
        [ -s "$tmp/rec.raw" ] && break
        sleep 0.1
    done
    [ -s "$tmp/rec.raw" ] || { echo "parec records nothing"; return 1; }

    # This take checks the path, not the latency (the PipeWire test holds the short period to
    # account): a 40 ms server buffer rides out a stalled scheduler on a busy build machine.
    if [ "$mode" = sampler ]; then
        python3 "$here/check_loop.py" write "$tmp/sampler.wav" 44100 || return 1
        set -- loop "$tmp/sampler.wav"
    elif [ "$mode" = exact ]; then
        kind=$1
        python3 "$here/check_exact.py" write "$tmp" || return 1
        set -- loop "$tmp/$kind.wav"
    else
        set --
    fi
    rate=44100
    [ "$mode" = exact ] && rate=48000  # at the sink's rate: no resampler between file and sink
    SDL_AUDIODRIVER=pulseaudio PULSE_LATENCY_MSEC=40 "$player" 2 $rate "$@"
    status=$?
    sleep 0.3
    kill -INT "$rec_pid" 2>/dev/null; wait "$rec_pid" 2>/dev/null; rec_pid=
    if [ "$status" -ne 0 ]; then
        echo "play_tone failed ($status)"; cat "$tmp/pulse.log"; return 1
    fi
    if [ "$mode" = sampler ]; then
        python3 "$here/check_loop.py" "$tmp/rec.raw" 48000
    elif [ "$mode" = exact ]; then
        python3 "$here/check_exact.py" "$tmp/rec.raw" 48000 "$kind"
    else
        python3 "$here/check_tone.py" "$tmp/rec.raw" 48000 0.5
    fi
}

. "$here/retake.sh"
if [ "$mode" = exact ]; then
    for kind in damaged quad; do
        retake take $kind || exit 1
    done
else
    retake take
fi
unjudged_exit $?
