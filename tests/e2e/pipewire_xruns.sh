#!/bin/sh
# Plays a loop for SECONDS (default 60) through the program's native output into a private
# PipeWire server while pw-profiler records every graph cycle, then counts the cycles in which the
# program's node had not finished when the cycle ended: the server's xruns for it, as pw-top counts
# them. Not run by ctest: it takes a minute and wants an idle machine.
# Usage: pipewire_xruns.sh DIR_WITH_play_tone [SECONDS]
set -u
bindir=${1:?usage: pipewire_xruns.sh BINDIR [SECONDS]}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
player=$bindir/play_tone
[ -x "$player" ] || { echo "no $player"; exit 1; }
command -v pw-profiler >/dev/null || { echo "pw-profiler missing"; exit 77; }
. "$here/pipewire_env.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pipewire-xruns-XXXXXX")
play_pid=
cleanup() {
    [ -n "$play_pid" ] && kill "$play_pid" 2>/dev/null
    pw_env_stop
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
pw_env_start || exit $?

"$player" "$((seconds + 2))" 44100 loop >"$tmp/play.out" &
play_pid=$!
for _ in $(seq 1 100); do grep -q '^driver:' "$tmp/play.out" && break; sleep 0.1; done
cat "$tmp/play.out"
node=$(pw-dump | python3 -c '
import json, sys
for o in json.load(sys.stdin):
    if o.get("info", {}).get("props", {}).get("application.id") == "org.brimvale.wavplayer":
        print(o["id"])')
[ -n "$node" ] || { echo "the program's stream is not there"; exit 1; }
(cd "$tmp" && timeout -s INT "$seconds" pw-profiler -o profile.log >/dev/null 2>&1)
wait "$play_pid"
play_pid=

# profile.log: a line a cycle; 4 columns for the driver, then 8 for each follower, the first its
# id and the seventh its state at the end of the cycle (3: finished).
python3 - "$tmp/profile.log" "$node" <<'PY'
import sys
node, cycles, late, stalls = sys.argv[2], 0, [], set()
for n, line in enumerate(open(sys.argv[1])):
    f = line.rstrip("\n").split("\t")
    # The driver woke late (the profiler then writes 1.4 periods): the whole machine stalled.
    if float(f[0]) > 1.3 * float(f[3]):
        stalls.add(n)
    for i in range(4, len(f) - 7, 8):
        if f[i].strip() == node:
            cycles += 1
            if f[i + 6].strip() != "3":
                late.append(n)
own = [n for n in late if n not in stalls]
print("%d graph cycles with the program's node %s; not finished in time (xruns): %d, of them "
      "in cycles whose driver woke on time: %d %s" % (cycles, node, len(late), len(own), own[:5]))
print("cycles in which the driver itself woke late (a stalled machine): %d" % len(stalls))
sys.exit(0 if cycles > 0 and not own else 1)
PY
