#!/bin/bash
# By hand: what Orca says, step by step, in a German session. Runs Orca with a debug log (every
# utterance is logged there even when speech-dispatcher has no sound) beside the program under
# Xvfb + openbox, on a session bus and accessibility bus of their own, drives the keys with
# xdotool and prints what was heard after each step. The library holds a folder on a FUSE mount
# whose every read takes 0.8 s. Needs: xvfb openbox xdotool orca at-spi2-core speech-dispatcher
# python3-fusepy fuse3 sox locales.
#   scripts/manual/orca-steps.sh [build] [display]
set -u
cd "$(dirname "$0")/../.." || exit 1
EXE=$PWD/${1:-build}/bin/wavplayer
DSP=${2:-:30}
W=$(mktemp -d)
mkdir -p "$W/lib/Drums" "$W/slowsrc" "$W/lib/Langsam" "$W/run" "$W/home" "$W/locale"
chmod 700 "$W/run"
localedef -i de_DE -f UTF-8 "$W/locale/de_DE.UTF-8" 2>/dev/null
sox -n -r 44100 -c 2 -b 16 "$W/lib/Bass.wav" synth 1.25 sine 55
sox -n -r 44100 -c 1 -b 16 "$W/lib/Schleife.wav" synth 1 sine 220
/usr/bin/python3 scripts/manual/smpl.py "$W/lib/Schleife.wav" 13230 22050 0
head -c 300 /dev/urandom >"$W/lib/Kaputt.wav"
sox -n -r 48000 -c 1 -b 24 "$W/lib/Drums/Kick.wav" synth 0.25 sine 60
sox -n -r 48000 -c 1 -b 24 "$W/lib/Drums/Snare.wav" synth 0.2 noise
sox -n -r 44100 -c 2 -b 24 "$W/slowsrc/Bass.wav" synth 2 sine 55
sox -n -r 44100 -c 2 -b 16 "$W/slowsrc/Pad.wav" synth 3 sine 330
/usr/bin/python3 scripts/manual/slowfs.py "$W/lib/Langsam" "$W/slowsrc" 0.8 & FPID=$!

export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config XDG_DATA_HOME=$W/home/.local/share
export XDG_CACHE_HOME=$W/home/.cache XDG_RUNTIME_DIR=$W/run
export LOCPATH=$W/locale
export LANG=de_DE.UTF-8 LANGUAGE=de LC_ALL=de_DE.UTF-8
export DISPLAY=$DSP SDL_AUDIODRIVER=dummy QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 GTK_MODULES=
dbus-daemon --session --fork --address="unix:path=$W/bus" --print-pid=3 3>"$W/dbus.pid"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$W/bus
Xvfb "$DSP" -screen 0 1024x768x24 >/dev/null 2>&1 & XPID=$!
sleep 1
openbox >/dev/null 2>&1 & OPID=$!
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & BPID=$!
sleep 1
gsettings set org.gnome.desktop.interface toolkit-accessibility true 2>/dev/null
# Orca's debug file is block-buffered: opened line-buffered here, each step's words are there
# when the step ends.
/usr/bin/python3 -c 'import builtins, sys
o = builtins.open
def lined(f, m="r", *a, **k):
    return o(f, m, *a, **dict(k, buffering=1)) if m == "w" else o(f, m, *a, **k)
builtins.open = lined
sys.argv = ["orca"] + sys.argv[1:]
exec(compile(o("/usr/bin/orca").read(), "/usr/bin/orca", "exec"))' \
    --replace --debug-file="$W/orca.log" >"$W/orca.out" 2>&1 & RPID=$!
sleep 4
"$EXE" "$W/lib/Bass.wav" >"$W/app.out" 2>&1 & APID=$!
WID=$(xdotool search --sync --name Brimvale | head -1)
sleep 2
xdotool windowactivate --sync "$WID"
sleep 2

LOG=$W/orca.log
printf '| step | keys | heard |\n|---|---|---|\n'
step() {  # label, seconds to wait, keys...
    local label=$1 wait=$2
    shift 2
    local from
    from=$(wc -l <"$LOG")
    for k in "$@"; do
        case $k in
            type:*) xdotool type --delay 120 "${k#type:}" ;;
            *) xdotool key "$k" ;;
        esac
        sleep 0.3
    done
    # Orca under load lags: wait at least $wait s, then until its log has been still for 1 s.
    sleep "$wait"
    local n=0 size=-1
    while [ "$n" -lt 40 ] && [ "$size" != "$(wc -c <"$LOG")" ]; do
        size=$(wc -c <"$LOG")
        sleep 1
        n=$((n + 1))
    done
    local heard
    heard=$(tail -n +"$((from + 1))" "$LOG" |
        sed -n -e "s/.*SPEECH OUTPUT: '\(.*\)' *{.*/\1/p" -e 's/.*\(bad content\).*/[\1]/p' |
        grep -v -e '^ *$' -e ' $' | paste -sd'|' | sed 's/|/ | /g')  # key echo ends in a blank
    printf '| %s | %s | %s |\n' "$label" "$*" "${heard:-(nichts)}"
}
sleep 5  # Orca reads the new window first
step "Tab into the list" 1.5 Tab
step "Down (first after the start)" 1.5 Down
step "Down onto [Drums]" 1.5 Down
step "Return on [Drums]" 1.5 Return
step "Down, Down onto Kick.wav" 1.5 Down Down
step "Backspace (up)" 1.5 BackSpace
step "Down onto [Langsam] (slow disk)" 1.5 Home Down Down
step "Return on [Langsam]" 1.5 Return
step "Down, Down onto Bass.wav (reads 0.8 s)" 6 Down Down
step "Alt+Up (up)" 1.5 alt+Up
step "Down onto Bass.wav" 1.5 End Up Up
step "Down onto Kaputt.wav (damaged)" 1.5 Down
step "Down onto Schleife.wav (loop)" 1.5 Down
step "Shift+Tab to the volume box" 1.5 shift+Tab
step "Tab back, Ctrl+Down" 2 Tab ctrl+Down
step "Ctrl+F, typing ba" 2 ctrl+f type:ba
step "Escape" 1.5 Escape
step "Shift+F10" 1.5 shift+F10
step "Escape" 1 Escape
step "Menu key" 1.5 Menu
step "Return on Loop" 1.5 Return
step "Menu key, Up x3, Return (keep on top)" 1.5 Menu Up Up Up Return
step "Reload button (Tab x3, Space)" 2 Tab Tab Tab space
step "Up button (Tab x2, Space)" 2 Tab Tab space
step "Ctrl+Shift+F kick, Down, Ctrl+Return" 3 ctrl+shift+f type:kick Down ctrl+Return
step "Root button (Tab, Space)" 3 Tab space

kill "$APID" "$RPID" 2>/dev/null
sleep 1
kill "$BPID" "$OPID" "$XPID" "$(cat "$W/dbus.pid")" 2>/dev/null
kill "$FPID" 2>/dev/null
fusermount -u "$W/lib/Langsam" 2>/dev/null || umount -l "$W/lib/Langsam" 2>/dev/null
wait 2>/dev/null
if [ -n "${KEEP:-}" ]; then echo "kept: $W"; else rm -rf "$W"; fi
