#!/bin/sh
# The program under Xvfb and openbox, driven by xdotool, on a private sound server with a null sink
# "test" whose monitor is recorded:
#   pipewire  PipeWire with its session manager and PulseAudio layer (the native output)
#   pulse     PulseAudio alone (SDL's pulseaudio driver)
#   bare      PulseAudio with a bare `pipewire` daemon beside it, no session manager (SDL as well)
# Prints, key to sound, the first key after start (0.3 s after the first sounding key could come)
# against the line through the onsets of the ten keys after it (one xdotool sends them all 0.6 s
# apart, so the recording's own delay cancels out); with "rest" also the state with the window
# active and idle 40 s and 70 s after it was left (the program's stream, the sink, on PipeWire the
# graph's quantum while another client asks 1024 frames, the program's context switches over 5 s),
# and the first key 0.3 s after coming back against the keys after it.
# Usage: bench/rest_figures.sh pipewire|pulse|bare [rest] [BUILD_DIR]
# KEEP=1 keeps the scratch folder (recordings, logs); TRACE=1 runs the program under strace
# (connects and opens, with times) to see when the device opens.
set -u
here=$(cd "$(dirname "$0")" && pwd)
case=${1:?usage: rest_figures.sh pipewire|pulse|bare [rest] [BUILD_DIR]}
rest=
[ "${2:-}" = rest ] && { rest=1; shift; }
build=${2:-$here/../build}
for c in Xvfb openbox xdotool xmessage parec pactl python3 sox script; do
    command -v $c >/dev/null || { echo "$c missing"; exit 77; }
done
. "$here/../tests/e2e/pipewire_env.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/rest-figures-XXXXXX")
pids=
pa_pid=
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    [ -n "$pa_pid" ] && kill "$pa_pid" 2>/dev/null
    pw_env_stop
    [ -n "${KEEP:-}" ] && echo "kept $tmp" || rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

pulse_start() {
    mkdir -p "$tmp/run" "$tmp/state" "$tmp/xdg" "$tmp/home"
    chmod 700 "$tmp/run" "$tmp/xdg"
    export HOME=$tmp/home PULSE_RUNTIME_PATH=$tmp/run PULSE_STATE_PATH=$tmp/state
    export XDG_RUNTIME_DIR=$tmp/xdg PULSE_SERVER=unix:$tmp/run/native
    unset DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE SDL_AUDIODRIVER
    printf 'autospawn = no\n' >"$tmp/client.conf"
    export PULSE_CLIENTCONFIG=$tmp/client.conf
    # Idle sinks suspend after 5 s, as the desktop's default configuration has them.
    pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --disallow-exit \
        --use-pid-file=no --disable-shm=yes --log-target=stderr \
        --load="module-null-sink sink_name=test rate=48000 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/run/native" \
        --load="module-suspend-on-idle timeout=5" >"$tmp/pulse.log" 2>&1 &
    pa_pid=$!
    for _ in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl set-default-sink test
}

case $case in
pipewire) pw_env_start || exit $? ;;
pulse) pulse_start ;;
bare)
    pulse_start
    pipewire >"$tmp/pipewire.log" 2>&1 &
    pids="$pids $!"
    for _ in $(seq 1 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
    ;;
*) echo "unknown case $case"; exit 1 ;;
esac

# The program beside its STOP.wav, a folder of 150 ms 1 kHz tones that start at full level.
mkdir -p "$tmp/app" "$tmp/lib"
cp "$build/bin/wavplayer" "$build/bin/STOP.wav" "$tmp/app/"
python3 - "$tmp/lib" <<'PY'
import math, struct, sys, wave
for n in range(60):
    with wave.open("%s/t%02d.wav" % (sys.argv[1], n), "wb") as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(48000)
        w.writeframes(b"".join(struct.pack("<h", int(16000 * math.cos(2 * math.pi * 1000 * i / 48000)))
                               for i in range(7200)))
PY

export DISPLAY=:71
Xvfb :71 -screen 0 1280x1024x24 >/dev/null 2>&1 &
pids="$pids $!"
sleep 1
openbox >/dev/null 2>&1 &
pids="$pids $!"
sleep 1

record() {
    rm -f "$tmp/rec.raw"
    [ -n "${KEEP:-}" ] && date +%s.%N >"$tmp/t"
    parec --device=test.monitor --format=float32le --rate=48000 --channels=2 --latency-msec=50 \
        --raw "$tmp/rec.raw" &
    rec_pid=$!
    # A suspended sink's monitor starts late: wait for the first data.
    for _ in $(seq 1 100); do [ -s "$tmp/rec.raw" ] && break; sleep 0.05; done
    sleep 0.5
}
# Eleven Downs 0.6 s apart (after what is given first), from one xdotool so that they keep their
# pace.
keys() {
    set -- "$@" key Down
    for _ in $(seq 1 10); do set -- "$@" sleep 0.6 key Down; done
    xdotool "$@"
}
# Prints the first key's delay against the keys after it: the onsets of the later keys lie on a
# line (their pace), and the first key's onset is compared with where that line puts it.
judge() {
    sleep 2
    kill -INT "$rec_pid"; wait "$rec_pid" 2>/dev/null
    python3 - "$tmp/rec.raw" "$1" <<'PY'
import array, statistics, sys
data = array.array("f"); data.frombytes(open(sys.argv[1], "rb").read())
left = data[0::2]
onsets, i = [], 0
while i < len(left):
    if abs(left[i]) > 0.1:
        onsets.append(i / 48000)
        i += 48000 * 45 // 100  # past this tone and any stall in it
    i += 1
if len(onsets) != 11:
    sys.exit("%d onsets for 11 keys: %s" % (len(onsets), [round(o, 3) for o in onsets]))
k = list(range(1, 11))
mk, mo = statistics.mean(k), statistics.mean(onsets[1:])
pace = sum((a - mk) * (b - mo) for a, b in zip(k, onsets[1:])) / sum((a - mk) ** 2 for a in k)
fit = [mo + pace * (x - mk) for x in range(11)]
res = [(o - f) * 1000 for o, f in zip(onsets, fit)]
print("%s: first key %+.1f ms against the pace of the ten after it (their spread %.1f ms, "
      "pace %.1f ms)" % (sys.argv[2], res[0], statistics.pstdev(res[1:]), pace * 1000))
PY
}
record
(cd "$tmp/app" && exec ${TRACE:+strace -f -tt -e trace=connect,openat -o "$tmp/trace"} ./wavplayer "$tmp/lib/t00.wav") >"$tmp/app.log" 2>&1 &
app=$!
pids="$pids $app"
for _ in $(seq 1 100); do
    wid=$(xdotool search --name "Brimvale" 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
done
[ -n "$wid" ] || { echo "no window"; exit 1; }
sleep 2
xdotool mousemove 1200 1000 windowactivate --sync "$wid"
# The drive box has the focus at start: Tab takes it to the list, Down selects "[..]"; neither
# starts a sound. The next Down starts the first.
keys key Tab sleep 0.1 key Down sleep 0.3
judge "after start ($case)"
[ -n "$rest" ] || exit 0

sink_state() { pactl list sinks short | awk '$2 == "test" { print $NF }'; }
streams() {
    if [ "$case" = pipewire ]; then
        pw-dump | python3 -c 'import json, sys
for o in json.load(sys.stdin):
    p = o.get("info", {}).get("props", {})
    if p.get("node.name") in ("wavplayer", "test"): print(p["node.name"], o["info"]["state"])'
    else
        echo "streams: $(pactl list sink-inputs short | wc -l), corked: $(pactl list sink-inputs | grep -c 'Corked: yes')"
    fi
}
# The graph's quantum while another client asks 1024 frames: what the program adds to it.
quantum() {
    [ -f "$tmp/silence.wav" ] || sox -n -r 48000 -c 2 "$tmp/silence.wav" trim 0 10
    pw-play --latency=1024 "$tmp/silence.wav" >/dev/null 2>&1 &
    play=$!
    sleep 1.5
    script -qc "timeout 2 pw-top" /dev/null 2>&1 | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1b(B//g' |
        tr '\r' '\n' | grep -a -o -E "[RSIC] +[0-9]+ +[0-9]+ +[0-9]+ .*test" | tail -n 1 |
        awk '{ print "graph quantum with a client asking 1024:", $3 }'
    kill "$play"; wait "$play" 2>/dev/null
}
switches() {
    cat /proc/"$app"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'
}
echo "window active and idle 40 s:"
sleep 40
streams
echo "sink: $(sink_state)"
[ "$case" = pipewire ] && quantum
xmessage -geometry 300x100+900+700 away >/dev/null 2>&1 &
pids="$pids $!"
sleep 1
xdotool mousemove 1000 750 windowactivate --sync "$(xdotool search --name xmessage | head -1)"
sleep 70
echo "70 s after the window was left:"
streams
echo "sink: $(sink_state)"
a=$(switches); sleep 5; b=$(switches)
echo "context switches of the program: $((b - a)) in 5 s"
[ "$case" = pipewire ] && quantum
record
[ -n "${TRACE:-}" ] && date +%T.%N >"$tmp/back"
xdotool windowactivate --sync "$wid"
keys sleep 0.3
judge "after coming back ($case)"
