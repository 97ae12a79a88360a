#!/bin/bash
# The installed program: layout of an install below a prefix (and below DESTDIR), the desktop
# files, and where the installed program keeps its settings: beside itself when its folder is
# writable, in the user's config folder when it is not.
# Usage: install_test.sh BUILD_DIR
set -u
BUILD_DIR="$(cd "${1:?usage: install_test.sh BUILD_DIR}" && pwd -P)"
. "$(dirname "$0")/common.sh"

PREFIX="$SCRATCH/prefix"
APPDIR="$PREFIX/lib/wavplayer"
PROGRAM="$PREFIX/bin/wavplayer"
APP_ID=org.brimvale.wavplayer

# --- layout -------------------------------------------------------------------------------
install_into "$PREFIX"
[ -L "$PROGRAM" ] || fail "$PROGRAM is not a symlink"
[ "$(readlink "$PROGRAM")" = "../lib/wavplayer/wavplayer" ] ||
    fail "$PROGRAM points to '$(readlink "$PROGRAM")', not the relative ../lib/wavplayer/wavplayer"
[ -x "$APPDIR/wavplayer" ] && [ ! -L "$APPDIR/wavplayer" ] || fail "no executable at $APPDIR/wavplayer"
[ "$(head -c 4 "$APPDIR/STOP.wav" 2>/dev/null)" = "RIFF" ] || fail "no STOP.wav beside the installed executable"
for f in share/applications/$APP_ID.desktop share/metainfo/$APP_ID.metainfo.xml share/man/man1/wavplayer.1 \
         share/icons/hicolor/scalable/apps/wavplayer.svg; do
    [ -s "$PREFIX/$f" ] || fail "missing $PREFIX/$f"
done
for size in 32 48 256; do
    png="$PREFIX/share/icons/hicolor/${size}x${size}/apps/wavplayer.png"
    [ -s "$png" ] || fail "missing $png"
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG's IHDR chunk.
    dims="$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }')"
    [ "$dims" = "${size}x${size}" ] || fail "$png is $dims, not ${size}x${size}"
done
exec_line="$(sed -n 's/^Exec=//p' "$PREFIX/share/applications/$APP_ID.desktop")"
[ -x "$PREFIX/bin/${exec_line%% *}" ] || fail "the desktop entry runs '$exec_line', which is not in $PREFIX/bin"
grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" "$PREFIX/share/metainfo/$APP_ID.metainfo.xml" ||
    fail "the AppStream data does not launch $APP_ID.desktop"
note "layout below the prefix is right"

# A staged install (packaging): the link lands below DESTDIR and still resolves inside it.
STAGE="$SCRATCH/stage"
DESTDIR="$STAGE" install_into /usr
[ "$(readlink "$STAGE/usr/bin/wavplayer")" = "../lib/wavplayer/wavplayer" ] || fail "no relative link below DESTDIR"
[ "$(readlink -f "$STAGE/usr/bin/wavplayer")" = "$STAGE/usr/lib/wavplayer/wavplayer" ] ||
    fail "the staged link does not resolve inside DESTDIR"
[ -f "$STAGE/usr/lib/wavplayer/STOP.wav" ] || fail "no STOP.wav below DESTDIR"
note "staged install below DESTDIR is right"

# --- a folder to open -----------------------------------------------------------------------
WAVES="$SCRATCH/waves"
mkdir -p "$WAVES/Loops"
wave="$(any_wave)" || exit 1
for name in "Kick 10.wav" "Kick 2.wav" "Take.WAV" ".hidden.wav"; do cp "$wave" "$WAVES/$name"; done
echo "not a sound" >"$WAVES/notes.txt"
chmod -R a+rX "$WAVES"
expected_entries="$(printf 'entry: %s\n' "[..]" "[Loops]" "Kick 2.wav" "Kick 10.wav" "Take.WAV")"

# check_run LOG_BASE INI OTHER_INI: the run listed the folder and wrote LastDir to INI only.
check_run() {
    local base="$1" ini="$2" other="$3" entries
    entries="$(grep '^entry: ' "$base.out")"
    if [ "$entries" != "$expected_entries" ]; then
        printf -- '--- expected:\n%s\n--- listed:\n%s\n' "$expected_entries" "$entries" >&2
        fail "the program did not list $WAVES as expected (is WAVPLAYER_SELFTEST honoured?)"
    fi
    [ -f "$ini" ] || { ls -la "$APPDIR" "$RUN_HOME" "$RUN_HOME/.config" >&2 2>/dev/null; fail "no settings file at $ini"; }
    [ ! -e "$other" ] || fail "settings written to $other as well"
    local last
    last="$(ini_value "$ini" LastDir)"
    [ "$last" = "$WAVES/" ] || { cat "$ini" >&2; fail "LastDir in $ini is '$last', not '$WAVES/'"; }
    [ -n "$(ini_value "$ini" Height)" ] && [ -n "$(ini_value "$ini" Width)" ] ||
        { cat "$ini" >&2; fail "no window size in $ini"; }
}

# --- read-only program folder: settings in the user's config folder ---------------------------
# root may write to a read-only folder, so as root the program runs as an unprivileged user.
AS_USER=""
readonly_ok=1
if [ "$(id -u)" -eq 0 ]; then
    if command -v setpriv >/dev/null &&
        setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$APPDIR/wavplayer" -a -r "$WAVES/Take.WAV" 2>/dev/null; then
        AS_USER="setpriv --reuid=65534 --regid=65534 --clear-groups"
    else
        readonly_ok=0
        note "SKIP read-only half: running as root and cannot run the program as uid 65534"
    fi
fi
if [ "$readonly_ok" -eq 1 ]; then
    new_user_dirs ro-home "${AS_USER:+65534:65534}"
    chmod a-w "$APPDIR"
    run_program "$SCRATCH/ro" "$WAVES/Take.WAV"
    chmod u+w "$APPDIR"
    check_run "$SCRATCH/ro" "$RUN_HOME/.config/wavplayer.ini" "$APPDIR/wavplayer.ini"
    note "read-only program folder: settings in \$XDG_CONFIG_HOME/wavplayer.ini"
fi

# --- writable program folder: settings beside the program ----------------------------------
AS_USER=""
new_user_dirs rw-home
run_program "$SCRATCH/rw" "$WAVES/Kick 2.wav"
check_run "$SCRATCH/rw" "$APPDIR/wavplayer.ini" "$RUN_HOME/.config/wavplayer.ini"
# The settings are replaced through a temporary file; nothing else may be left behind.
leftover="$(cd "$APPDIR" && ls -A | grep -vxF -e wavplayer -e STOP.wav -e wavplayer.ini)"
[ -z "$leftover" ] || fail "files left in $APPDIR: $leftover"
note "writable program folder: settings in $APPDIR/wavplayer.ini"

echo "PASS"
