#!/bin/sh
# Builds the libFuzzer targets (clang, address+undefined) and runs each for a bounded time on a
# scratch copy of its seed corpus. Fails on any crash, leak, timeout or out-of-memory.
#
#   scripts/fuzz.sh [target...]      e.g. scripts/fuzz.sh fuzz_profile
#   FUZZ_SECONDS=60                  time per target (default 60)
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${FUZZ_SECONDS:-60}
BUILD=$ROOT/build-fuzz
SEED_WRITER=$BUILD/fuzz/tools/write_decode_seeds

have_fuzzer_runtime() {
    command -v clang >/dev/null 2>&1 && command -v clang++ >/dev/null 2>&1 || return 1
    dir=$(clang -print-resource-dir 2>/dev/null) || return 1
    [ -f "$dir/lib/linux/libclang_rt.fuzzer-$(uname -m).a" ]
}
if ! have_fuzzer_runtime; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWAV_SANITIZE=address,undefined -DWAV_BUILD_FUZZ=ON -DWAV_BUILD_TESTS=OFF \
    -DWAV_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target fuzz -j2

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp"
export SDL_AUDIODRIVER=dummy

if [ "$#" -gt 0 ]; then
    TARGETS=$*
else
    TARGETS=$(cd "$BUILD/fuzz" && ls fuzz_* 2>/dev/null | sort)
fi
[ -n "$TARGETS" ] || { echo "no fuzz targets built" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/wavfuzz.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

# Fills corpus dir $2 for target name $1 (without "fuzz_").
seed() {
    name=$1
    corpus=$2
    if [ -d "$ROOT/fuzz/seeds/$name" ]; then
        find "$ROOT/fuzz/seeds/$name" -maxdepth 1 -type f -exec cp {} "$corpus/" \;
    fi
    # The tooltip's reader starts from the same waves as the decoder.
    if { [ "$name" = decode ] || [ "$name" = fileinfo ]; } && ! "$SEED_WRITER" "$corpus"; then
        echo "note: $SEED_WRITER could not write every seed"
    fi
    if [ -z "$(ls -A "$corpus")" ]; then
        if [ "$name" = decode ] || [ "$name" = fileinfo ]; then
            # A header-only PCM wave: enough for the fuzzer to find its way into the decoder.
            printf 'RIFF\044\000\000\000WAVEfmt \020\000\000\000\001\000\001\000\104\254\000\000\210\130\001\000\002\000\020\000data\000\000\000\000' >"$corpus/empty.wav"
        else
            printf '\n' >"$corpus/empty"
        fi
    fi
}

failed=0
summary=""
for target in $TARGETS; do
    bin=$BUILD/fuzz/$target
    name=${target#fuzz_}
    if [ ! -x "$bin" ]; then
        echo "$target: not built" >&2
        failed=1
        summary="$summary
$target: not built"
        continue
    fi
    corpus=$WORK/$name
    artifacts=$BUILD/artifacts/$name/
    mkdir -p "$corpus" "$artifacts"
    seed "$name" "$corpus"
    log=$WORK/$name.log
    echo "== $target: $SECONDS_EACH s, $(ls "$corpus" | wc -l) seeds"
    status=0
    "$bin" -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^Done \([0-9][0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    [ -n "$runs" ] || runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
    if [ "$status" -eq 0 ] && [ -n "$runs" ]; then
        result="ok"
    else
        result="FAILED (exit $status)"
        failed=1
        tail -n 60 "$log"
        echo "artifacts: $artifacts"
    fi
    line="$target: ${runs:-?} runs (${rate:-?}/s), $result"
    echo "$line"
    summary="$summary
$line"
done
echo "== summary$summary"
exit $failed
