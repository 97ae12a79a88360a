#!/bin/sh
# End to end: the sound service through its native PipeWire output into a private PipeWire server
# (with its session manager and PulseAudio layer, on a session bus of its own, as on a desktop),
# into a null sink whose monitor is recorded and checked. The takes: a 2 s tone, while which the
# stream must carry the program's name, desktop id and icon; a 441-frame 44.1 kHz loop on the
# 48 kHz sink, which must keep its pitch exactly and show no seam; a loop during which the server
# is killed and started again, after which the next start must be heard; a loop that keeps its pitch
# while the graph's rate changes under it; and with the PipeWire
# socket named absent, then one that never answers, a tone through SDL and the PulseAudio layer.
# Usage: pipewire_tone.sh DIR_WITH_play_tone
# Exit 77 (skipped) when no PipeWire server can be started here, or when a take had too many
# dropouts to judge twice over.
set -u
bindir=${1:?usage: pipewire_tone.sh BINDIR}
here=$(cd "$(dirname "$0")" && pwd)
player=$bindir/play_tone
desktop=$here/../../data/org.brimvale.wavplayer.desktop
[ -x "$player" ] || { echo "no $player"; exit 1; }
command -v parec >/dev/null || { echo "parec missing"; exit 77; }
command -v pw-dump >/dev/null || { echo "pw-dump missing"; exit 77; }
. "$here/pipewire_env.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pipewire-e2e-XXXXXX")
rec_pid=
play_pid=
silent_pid=
cleanup() {
    [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null
    [ -n "$play_pid" ] && kill "$play_pid" 2>/dev/null
    [ -n "$silent_pid" ] && kill "$silent_pid" 2>/dev/null
    pw_env_stop
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
pw_env_start || exit $?

record() {
    rm -f "$tmp/rec.raw"
    parec --device=test.monitor --format=float32le --rate=48000 --channels=2 --latency-msec=100 \
        --raw "$tmp/rec.raw" &
    rec_pid=$!
    for _ in $(seq 1 100); do [ -s "$tmp/rec.raw" ] && break; sleep 0.1; done
    [ -s "$tmp/rec.raw" ] || { echo "parec records nothing"; return 1; }
}

stop_recording() {
    sleep 0.3
    kill -INT "$rec_pid" 2>/dev/null; wait "$rec_pid" 2>/dev/null; rec_pid=
}

# Waits for the player, stops the recording and shows what the player printed.
finish_play() {
    wait "$play_pid"
    status=$?
    play_pid=
    stop_recording
    cat "$tmp/play.out"
    [ "$status" -eq 0 ] || { echo "play_tone failed ($status)"; return 1; }
}

# Waits until play_tone has started N sounds.
started() {
    for _ in $(seq 1 100); do
        [ "$(grep -c '^driver:' "$tmp/play.out")" -ge "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The program's stream as the server lists it: the desktop entry's name, id and icon, playback at
# the asked latency, no role.
check_names() {
    python3 - "$tmp/dump.json" "$desktop" <<'PY'
import json, os, sys
entry = {}
for line in open(sys.argv[2]):
    if line.startswith("[") and entry:
        break
    if "=" in line:
        k, v = line.rstrip("\n").split("=", 1)
        entry[k] = v
app_id = os.path.basename(sys.argv[2])[: -len(".desktop")]
want = {"application.name": entry["Name"], "application.id": app_id,
        "application.icon-name": entry["Icon"], "media.type": "Audio",
        "media.category": "Playback", "node.latency": "256/48000"}
streams = [o["info"]["props"] for o in json.load(open(sys.argv[1]))
           if o.get("type") == "PipeWire:Interface:Node"
           and o["info"]["props"].get("media.class") == "Stream/Output/Audio"]
mine = [p for p in streams if p.get("application.id") == app_id]
if len(mine) != 1:
    sys.exit("%d streams of %s among %d" % (len(mine), app_id, len(streams)))
bad = {k: mine[0].get(k) for k, v in want.items() if mine[0].get(k) != v}
bad.update({k: v for k, v in mine[0].items() if k == "media.role"})
print("stream: %s" % {k: mine[0].get(k) for k in want})
sys.exit("stream properties wrong: %s" % bad if bad else 0)
PY
}

# One take: record the monitor while play_tone plays through the output named first, then check
# the recording.
take() {
    want=$1
    shift
    record || return 1
    "$player" "$@" >"$tmp/play.out" &
    play_pid=$!
    if [ "$want" = pipewire-native ] && [ "${3:-}" != loop ] && started 1; then
        sleep 0.5
        pw-dump >"$tmp/dump.json"
    fi
    finish_play || return 1
    grep -qx "driver: $want" "$tmp/play.out" || { echo "not through $want"; return 1; }
    if [ "${3:-}" = loop ]; then
        python3 "$here/check_tone.py" "$tmp/rec.raw" 48000 0.5 strict
    else
        { [ "$want" != pipewire-native ] || check_names; } &&
            python3 "$here/check_tone.py" "$tmp/rec.raw" 48000 0.5
    fi
}

# The server dies while a loop plays and comes back; the next start must be heard through a new
# native stream.
restart_take() {
    rm -f "$tmp/go"
    mkfifo "$tmp/go"
    "$player" 2 44100 loop again <"$tmp/go" >"$tmp/play.out" &
    play_pid=$!
    exec 3>"$tmp/go"
    started 1 || { echo "no first start"; exec 3>&-; return 1; }
    sleep 0.5
    pw_env_crash
    pw_env_servers || { exec 3>&-; return 1; }
    record || { exec 3>&-; return 1; }
    echo again >&3
    exec 3>&-
    finish_play || return 1
    [ "$(grep -cx 'driver: pipewire-native' "$tmp/play.out")" -eq 2 ] ||
        { echo "not the native output both times"; return 1; }
    python3 "$here/check_tone.py" "$tmp/rec.raw" 48000 0.5
}

# The graph moves from 48 kHz to 44.1 kHz and back while a loop plays: the loop keeps its pitch.
rate_take() {
    record || return 1
    "$player" 5 44100 loop >"$tmp/play.out" &
    play_pid=$!
    started 1 || { echo "no start"; return 1; }
    sleep 1.5
    pw-metadata -n settings 0 clock.force-rate 44100 >/dev/null
    sleep 1.5
    pw-metadata -n settings 0 clock.force-rate 48000 >/dev/null
    finish_play || return 1
    pw-metadata -n settings 0 clock.force-rate 0 >/dev/null
    python3 "$here/check_pitch.py" "$tmp/rec.raw" 48000 2
}

# Without an answer from the PipeWire socket it names, the service falls back to SDL.
fallback_takes() {
    python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
s.listen(8)
time.sleep(600)' "$XDG_RUNTIME_DIR/silent-0" &
    silent_pid=$!
    for remote in absent-0 silent-0; do
        echo "PIPEWIRE_REMOTE=$remote"
        export PIPEWIRE_REMOTE=$remote
        retake take pulseaudio 2 44100 || return 1
    done
    unset PIPEWIRE_REMOTE
}

. "$here/retake.sh"
retake take pipewire-native 2 44100 && retake take pipewire-native 3 44100 loop &&
    retake restart_take && retake rate_take && fallback_takes
unjudged_exit $?
