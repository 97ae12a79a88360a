#!/bin/bash
# High DPI: a window size saved at 96 DPI opens at 192 DPI with twice the pixels, and the
# settings file written there holds the same twips, so a saved size means the same inches on
# every screen. Checked with Qt's own scaling (the default) and with Qt's scaling off, where the
# program's twips conversion does all the work.
# The outer frame is compared, as the settings file keeps it. A fresh start is not compared:
# its client area has a fixed size in twips, and the frame the platform adds around it has a
# fixed size in device pixels, so a fresh window's outer size in twips depends on the DPI.
# Usage: high_dpi_test.sh BUILD_DIR
set -u
BUILD_DIR="$(cd "${1:?usage: high_dpi_test.sh BUILD_DIR}" && pwd -P)"
. "$(dirname "$0")/common.sh"

PREFIX="$SCRATCH/prefix"
APPDIR="$PREFIX/lib/wavplayer"
PROGRAM="$PREFIX/bin/wavplayer"
INI="$APPDIR/wavplayer.ini"
AS_USER=""
install_into "$PREFIX"

WAVES="$SCRATCH/waves"
mkdir -p "$WAVES"
wave="$(any_wave)" || exit 1
cp "$wave" "$WAVES/Ding.wav"

# The offscreen platform takes its screens from a JSON file; both describe the same
# physical screen, so it is as large in twips at either DPI.
screen_config() {  # DPI WIDTH HEIGHT
    local file="$SCRATCH/screen-$1.json"
    printf '{ "screens": [ { "name": "test", "x": 0, "y": 0, "width": %d, "height": %d, "logicalDpi": %d, "logicalBaseDpi": 96, "dpr": 1 } ] }\n' \
        "$2" "$3" "$1" >"$file"
    echo "offscreen:configfile=$file"
}
AT_96="$(screen_config 96 1280 1024)"
AT_192="$(screen_config 192 2560 2048)"

# run_at NAME PLATFORM [env...]: one run, starting from whatever settings file is in place;
# leaves its settings in $SCRATCH/NAME.ini and its outer size in device pixels in FRAME.
run_at() {
    local name="$1" platform="$2"
    shift 2
    new_user_dirs "home-$name"
    run_program "$SCRATCH/$name" "$WAVES/Ding.wav" QT_QPA_PLATFORM="$platform" "$@"
    [ -f "$INI" ] || fail "run '$name' wrote no settings file at $INI"
    mv "$INI" "$SCRATCH/$name.ini"
    FRAME="$(selftest_dims "$SCRATCH/$name" frame)" || exit 1
}

# same_twips NAME REF: Height and Width in NAME.ini equal those in REF.ini.
same_twips() {
    local key a b
    for key in Height Width; do
        a="$(ini_value "$SCRATCH/$1.ini" "$key")"
        b="$(ini_value "$SCRATCH/$2.ini" "$key")"
        [ -n "$a" ] && [ -n "$b" ] || fail "no $key in $1.ini ('$a') or $2.ini ('$b')"
        awk -v a="$a" -v b="$b" 'BEGIN { exit !(a + 0 == b + 0) }' ||
            fail "$key is $a twips after run '$1' but $b twips after run '$2'"
    done
}

run_at dpi96 "$AT_96"
frame96="$FRAME"
[ "${frame96%x*}" -gt 0 ] && [ "${frame96#*x}" -gt 0 ] || fail "empty window at 96 DPI: $frame96"
note "96 DPI: $frame96 pixels, $(ini_value "$SCRATCH/dpi96.ini" Width)x$(ini_value "$SCRATCH/dpi96.ini" Height) twips"
expected="$((2 * ${frame96%x*}))x$((2 * ${frame96#*x}))"

for mode in scaled unscaled; do
    if [ "$mode" = scaled ]; then extra=(); else extra=(QT_ENABLE_HIGHDPI_SCALING=0); fi
    cp "$SCRATCH/dpi96.ini" "$INI"
    run_at "dpi192-$mode" "$AT_192" "${extra[@]}"
    [ "$FRAME" = "$expected" ] ||
        fail "at 192 DPI (Qt scaling $mode) the window is $FRAME pixels, not twice the $frame96 at 96 DPI"
    same_twips "dpi192-$mode" dpi96
    note "192 DPI, Qt scaling $mode: $FRAME pixels, same twips"
done

echo "PASS"
