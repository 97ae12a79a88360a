#!/bin/sh
# Start request to first loud frame at the sink of a private PipeWire server (see
# tests/e2e/pipewire_env.sh), for the sound service through the output it picks by itself (the
# program's native PipeWire stream), through SDL's pipewire driver, and for bare native PipeWire
# clients. The cases take turns, ROUNDS rounds of STARTS starts each, so load on the machine falls
# on all. Prints p50/p95 per case and the differences against the native clients: "native" fills
# its buffers on PipeWire's realtime thread, "native-loop" on its own thread as SDL's driver does.
# Usage: bench/pipewire_latency.sh [BUILD_DIR] [ROUNDS] [STARTS]
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
rounds=${2:-5}
starts=${3:-10}
probe=$build/bench/pipewire_latency
[ -x "$probe" ] || { echo "no $probe (needs libpipewire-0.3-dev at configure time)"; exit 1; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 1; }
. "$here/../tests/e2e/pipewire_env.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pipewire-latency-XXXXXX")
cleanup() {
    pw_env_stop
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
pw_env_start || exit $?

# case name, driver it must report, how it is run
run() {
    name=$1 want=$2
    shift 2
    "$@" >"$tmp/out" 2>"$tmp/err" || { echo "$name failed:"; cat "$tmp/err"; exit 1; }
    got=$(sed -n 's/^driver: //p' "$tmp/out")
    [ "$got" = "$want" ] || { echo "$name went through \"$got\", not $want"; exit 1; }
    sed -n "s/^latency_ms: /$name /p" "$tmp/out" >>"$tmp/all"
    sed -n "s/^lost: /$name /p" "$tmp/out" >>"$tmp/lost"
    sed -n "s/^quantum: /$name /p" "$tmp/out" >>"$tmp/quantum"
}
: >"$tmp/all"
: >"$tmp/lost"
for r in $(seq 1 "$rounds"); do
    for c in $(echo "native native-loop program sdl-pipewire" | tr ' ' '\n' |
               awk -v r="$r" '{ a[NR] = $0 } END { for (i = 0; i < NR; i++) print a[(i + r) % NR + 1] }'); do
        case $c in
        native | native-loop) run "$c" "$c" "$probe" "$c" "$starts" ;;
        program) run program pipewire-native "$probe" service "$starts" ;;
        sdl-pipewire) SDL_AUDIODRIVER=pipewire run sdl-pipewire pipewire "$probe" service "$starts" ;;
        esac
    done
done
echo "graph quantum (frames):" $(sort -u "$tmp/quantum" | tr '\n' ' ')
echo "starts whose click never arrived:" $(cut -d' ' -f1 "$tmp/lost" | sort | uniq -c | tr '\n' ' ')

python3 - "$tmp/all" "$(cut -d' ' -f2 "$tmp/quantum" | sort -n | tail -n 1)" <<'PY'
import sys
cases = {}
for line in open(sys.argv[1]):
    name, ms = line.split()
    cases.setdefault(name, []).append(float(ms))
def pct(v, p):
    v = sorted(v)
    k = (len(v) - 1) * p / 100
    lo = int(k)
    hi = min(lo + 1, len(v) - 1)
    return v[lo] + (v[hi] - v[lo]) * (k - lo)
order = ["native", "native-loop", "program", "sdl-pipewire"]
print("%-12s %4s %8s %8s %8s %8s" % ("case", "n", "min", "p50", "p95", "max"))
for c in order:
    v = cases[c]
    print("%-12s %4d %8.2f %8.2f %8.2f %8.2f" % (c, len(v), min(v), pct(v, 50), pct(v, 95), max(v)))
print("differences (ms; the capture side's own delay cancels out):")
base = cases["native"]
for c in order[1:]:
    v = cases[c]
    print("  %-12s - native:  p50 %+6.2f  p95 %+6.2f   (ratio p50 %.2fx, p95 %.2fx)" % (
        c, pct(v, 50) - pct(base, 50), pct(v, 95) - pct(base, 95),
        pct(v, 50) / pct(base, 50), pct(v, 95) / pct(base, 95)))
for c, d in (("sdl-pipewire", "native-loop"), ("sdl-pipewire", "program")):
    v, w = cases[c], cases[d]
    print("  %-12s - %s: p50 %+6.2f  p95 %+6.2f" % (c, d, pct(v, 50) - pct(w, 50), pct(v, 95) - pct(w, 95)))
v, cycle = cases["program"], int(sys.argv[2] or 256) / 48.0
ok = pct(v, 50) - pct(base, 50) <= 1.5 and pct(v, 95) - pct(base, 95) <= cycle
print("target: program p50 within 1.5 ms of native, p95 within one cycle (%.2f ms): %s" % (
    cycle, "met" if ok else "NOT MET"))
PY
