#!/bin/bash
# The Debian package from end to end: build it, lintian (no error, no warning), install it with
# apt-get, start the installed program as a new user, read its manual page, then purge it and
# check that nothing of it is left. Run as root on a Debian 12 machine (CI); it changes the
# system's packages.
set -euo pipefail
cd "$(dirname "$0")/../.."
export DEBIAN_FRONTEND=noninteractive

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

[ "$(id -u)" -eq 0 ] || fail "run as root: the test installs and removes the package"
need=()
for p in lintian man-db desktop-file-utils; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

SCRATCH="$(mktemp -d "${TMPDIR:-/tmp}/wavplayer-deb-test.XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT
chmod 755 "$SCRATCH"

# --- build and lintian ------------------------------------------------------------------------
scripts/build-deb.sh >"$SCRATCH/build.log" 2>&1 || { tail -n 40 "$SCRATCH/build.log" >&2; fail "scripts/build-deb.sh failed"; }
VERSION="$(dpkg-parsechangelog -S Version)"
DEB="dist/wavplayer_${VERSION}_$(dpkg-architecture -q DEB_HOST_ARCH).deb"
[ -f "$DEB" ] || fail "no $DEB after scripts/build-deb.sh"
leftover="$(ls -d ../wavplayer_* 2>/dev/null || true)"
[ -z "$leftover" ] || fail "build results left beside the checkout: $leftover"
note "lintian $DEB"
lintian --fail-on error,warning -L '>=pedantic' -E --show-overrides "$DEB" 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error,warning "$DEB" >/dev/null 2>&1 || fail "lintian reports errors or warnings"

# --- install -----------------------------------------------------------------------------------
if dpkg-query -W wavplayer >/dev/null 2>&1; then apt-get remove --purge -y -qq wavplayer >/dev/null; fi
apt-get install -y -qq --no-install-recommends "./$DEB" >"$SCRATCH/install.log" 2>&1 ||
    { cat "$SCRATCH/install.log" >&2; fail "apt-get install ./$DEB failed"; }
dpkg -L wavplayer >"$SCRATCH/files"

[ "$(env -i /usr/bin/wavplayer --version)" = "wavplayer $VERSION" ] || fail "wavplayer --version does not print 'wavplayer $VERSION'"
env -i /usr/bin/wavplayer --help | grep -q '^Usage: wavplayer' || fail "wavplayer --help prints no usage (or needs a display)"
[ "$(man -w wavplayer)" = /usr/share/man/man1/wavplayer.1.gz ] || fail "man -w wavplayer finds '$(man -w wavplayer 2>&1)'"
man -P cat wavplayer 2>/dev/null | grep -q 'wavplayer.ini' || fail "man wavplayer does not show the page"
desktop-file-validate /usr/share/applications/org.brimvale.wavplayer.desktop || fail "the installed desktop entry is not valid"
note "version, help, manual page and desktop entry are right"

# --- first start of a new user: the music folder ------------------------------------------------
# As root the program's folder would be writable (the build-folder rule), so it runs as nobody.
RUN_HOME="$SCRATCH/home"
MUSIC="$RUN_HOME/My Music"
mkdir -p "$RUN_HOME/.config" "$MUSIC/Loops" "$RUN_HOME/runtime"
for name in "Kick 10.wav" "Kick 2.wav"; do cp /usr/lib/wavplayer/STOP.wav "$MUSIC/$name"; done
# shellcheck disable=SC2016 # $HOME is expanded by the program, as the desktop does
printf '# written by xdg-user-dirs-update\nXDG_MUSIC_DIR="$HOME/My Music"\n' >"$RUN_HOME/.config/user-dirs.dirs"
chown -R 65534:65534 "$RUN_HOME"
chmod 700 "$RUN_HOME/runtime"
(cd "$SCRATCH" && env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$RUN_HOME" XDG_RUNTIME_DIR="$RUN_HOME/runtime" \
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy WAVPLAYER_SELFTEST=1 WAVPLAYER_QUIT_AFTER_MS=0 \
    timeout -k 5 60 setpriv --reuid=65534 --regid=65534 --clear-groups wavplayer >"$SCRATCH/run.out" 2>"$SCRATCH/run.err") ||
    { cat "$SCRATCH/run.out" "$SCRATCH/run.err" >&2; fail "the installed program did not start and close"; }
expected="$(printf 'entry: %s\n' "[..]" "[Loops]" "Kick 2.wav" "Kick 10.wav")"
[ "$(grep '^entry: ' "$SCRATCH/run.out")" = "$expected" ] ||
    { cat "$SCRATCH/run.out" >&2; fail "the first start did not list the music folder $MUSIC"; }
grep -qxF "LastDir=$MUSIC/" "$RUN_HOME/.config/wavplayer.ini" || fail "LastDir in ~/.config/wavplayer.ini is not the music folder"
[ ! -e /usr/lib/wavplayer/wavplayer.ini ] || fail "the installed program wrote into its own folder"
note "first start of a new user lists the music folder; settings in ~/.config/wavplayer.ini"

# --- purge: nothing of it left -----------------------------------------------------------------
apt-get remove --purge -y -qq wavplayer >/dev/null
! dpkg-query -W -f='${Status}' wavplayer 2>/dev/null | grep -q 'ok installed' || fail "wavplayer is still installed"
while IFS= read -r path; do
    [ "$path" != /. ] || continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        # A shared folder stays while another package owns it.
        dpkg-query -S "$path" >/dev/null 2>&1 || fail "folder $path left behind"
    elif [ -e "$path" ] || [ -L "$path" ]; then
        fail "$path left behind"
    fi
done <"$SCRATCH/files"
[ ! -e /usr/lib/wavplayer ] || fail "/usr/lib/wavplayer left behind"
note "purged: none of its $(wc -l <"$SCRATCH/files") paths left"
echo "PASS"
