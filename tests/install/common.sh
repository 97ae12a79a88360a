# Shared helpers for the install tests: a scratch folder, installing the build tree into a
# prefix, running the installed program headless until it closes itself, reading its settings.
# Sourced by the test scripts; expects BUILD_DIR to be set.

SECTION="Brimvale WAV-Player/Looper"
CMAKE="${CMAKE:-cmake}"
QUIT_AFTER_MS=1500
RUN_TIMEOUT=60

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

note() { echo "-- $*"; }

# One scratch folder for the whole script, removed on exit (read-only folders included).
SCRATCH="$(mktemp -d "${TMPDIR:-/tmp}/wavplayer-install.XXXXXX")" || fail "cannot create a temporary folder"
SCRATCH="$(cd "$SCRATCH" && pwd -P)"
chmod 755 "$SCRATCH"
cleanup() {
    chmod -R u+w "$SCRATCH" 2>/dev/null
    rm -rf "$SCRATCH"
}
trap cleanup EXIT

[ -x "$BUILD_DIR/bin/wavplayer" ] || fail "no program at $BUILD_DIR/bin/wavplayer (build first)"
[ -f "$BUILD_DIR/bin/STOP.wav" ] || fail "no STOP.wav in $BUILD_DIR/bin (build first)"

# install_into PREFIX [extra args]: the build tree installed below PREFIX.
install_into() {
    local prefix="$1"
    shift
    "$CMAKE" --install "$BUILD_DIR" --prefix "$prefix" "$@" >"$SCRATCH/install.log" 2>&1 ||
        { cat "$SCRATCH/install.log" >&2; fail "cmake --install into $prefix failed"; }
}

# any_wave: a WAV file to copy test files from (the demo folder the build makes, else sox).
any_wave() {
    local wave
    wave="$(find "$BUILD_DIR/demo" -type f -iname '*.wav' 2>/dev/null | head -n 1)"
    if [ -z "$wave" ]; then
        wave="$SCRATCH/tone.wav"
        [ -f "$wave" ] || sox -n -r 44100 -c 1 -b 16 "$wave" synth 0.2 sine 440 2>/dev/null ||
            fail "no demo wave in $BUILD_DIR/demo and sox could not make one"
    fi
    echo "$wave"
}

# new_user_dirs NAME [OWNER]: a fresh HOME with XDG_RUNTIME_DIR below it; sets RUN_HOME.
# XDG_CONFIG_HOME points to a folder that does not exist yet, as on a new account.
new_user_dirs() {
    RUN_HOME="$SCRATCH/$1"
    mkdir -p "$RUN_HOME/runtime"
    chmod 700 "$RUN_HOME/runtime"
    [ -z "${2:-}" ] || chown -R "$2" "$RUN_HOME"
}

# run_program LOG_BASE FILE [env assignments...]: the installed program on FILE, with the user
# folders from new_user_dirs and the run-as prefix in AS_USER (may be empty). The program is
# told to close its window after a moment; stdout and stderr go to LOG_BASE.out / .err.
run_program() {
    local base="$1" file="$2"
    shift 2
    local rc=0
    (cd "$SCRATCH" && env -i PATH="/usr/bin:/bin" LANG=C.UTF-8 \
        HOME="$RUN_HOME" XDG_CONFIG_HOME="$RUN_HOME/.config" XDG_RUNTIME_DIR="$RUN_HOME/runtime" \
        QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
        WAVPLAYER_QUIT_AFTER_MS="$QUIT_AFTER_MS" WAVPLAYER_SELFTEST=1 "$@" \
        timeout -k 5 "$RUN_TIMEOUT" ${AS_USER:-} "$PROGRAM" "$file" \
        >"$base.out" 2>"$base.err") || rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "--- stdout:" >&2; cat "$base.out" >&2
        echo "--- stderr:" >&2; cat "$base.err" >&2
        if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
            fail "the program did not close within ${RUN_TIMEOUT}s (is WAVPLAYER_QUIT_AFTER_MS honoured?)"
        fi
        fail "the program exited with status $rc"
    fi
}

# ini_value FILE KEY: the value of KEY in the program's section (names without regard to case,
# values trimmed, CR line ends allowed), empty when missing.
ini_value() {
    awk -v sec="$SECTION" -v key="$2" '
        { sub(/\r$/, "") }
        /^[ \t]*\[/ {
            s = $0; sub(/^[ \t]*\[/, "", s); sub(/\][ \t]*$/, "", s)
            insec = (tolower(s) == tolower(sec)); next
        }
        insec && (i = index($0, "=")) {
            k = substr($0, 1, i - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
            if (tolower(k) == tolower(key)) {
                v = substr($0, i + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); print v; exit
            }
        }' "$1"
}

# selftest_dims LOG_BASE KEY: the WxH of the "KEY: WxH" line the program printed after start-up.
selftest_dims() {
    local dims
    dims="$(sed -n "s/^$2: \([0-9][0-9]*x[0-9][0-9]*\)\$/\1/p" "$1.out" | head -n 1)"
    [ -n "$dims" ] || { cat "$1.out" >&2; fail "no '$2: WxH' line in the output (WAVPLAYER_SELFTEST=1 prints it after start-up)"; }
    echo "$dims"
}
