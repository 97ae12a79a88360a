#!/bin/sh
# End to end: the sound service through SDL into a private PipeWire server (with its session
# manager and PulseAudio layer, on a session bus of its own, as on a desktop), into a null sink
# whose monitor is recorded and checked. The service must pick SDL's native pipewire driver by
# itself. Two takes: a 2 s tone, then a 441-frame 44.1 kHz loop on the 48 kHz sink, which must
# keep its pitch exactly and show no seam.
# Usage: pipewire_tone.sh DIR_WITH_play_tone
# Exit 77 (skipped) only when no PipeWire server can be started here.
set -u
bindir=${1:?usage: pipewire_tone.sh BINDIR}
here=$(cd "$(dirname "$0")" && pwd)
player=$bindir/play_tone
[ -x "$player" ] || { echo "no $player"; exit 1; }
command -v parec >/dev/null || { echo "parec missing"; exit 77; }
. "$here/pipewire_env.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pipewire-e2e-XXXXXX")
rec_pid=
cleanup() {
    [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null
    pw_env_stop
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
pw_env_start || exit $?

# One take: record the monitor while play_tone plays, then check the recording.
take() {
    rm -f "$tmp/rec.raw"
    parec --device=test.monitor --format=float32le --rate=48000 --channels=2 --latency-msec=20 \
        --raw "$tmp/rec.raw" &
    rec_pid=$!
    for _ in $(seq 1 100); do [ -s "$tmp/rec.raw" ] && break; sleep 0.1; done
    [ -s "$tmp/rec.raw" ] || { echo "parec records nothing"; return 1; }
    "$player" "$@" >"$tmp/play.out"
    status=$?
    sleep 0.3
    kill -INT "$rec_pid" 2>/dev/null; wait "$rec_pid" 2>/dev/null; rec_pid=
    cat "$tmp/play.out"
    [ "$status" -eq 0 ] || { echo "play_tone failed ($status)"; return 1; }
    grep -qx "driver: pipewire" "$tmp/play.out" || { echo "not the native driver"; return 1; }
    if [ "${3:-}" = loop ]; then
        python3 "$here/check_tone.py" "$tmp/rec.raw" 48000 0.5 strict
    else
        python3 "$here/check_tone.py" "$tmp/rec.raw" 48000 0.5
    fi
}

# A shared build machine can starve the device period now and then; a second take tells such a
# stall from a broken path, which fails both.
{ take 2 44100 || { echo "second take"; take 2 44100; }; } &&
    { take 3 44100 loop || { echo "second take"; take 3 44100 loop; }; }
