#!/bin/bash
# By hand: places and favourites as a user meets them. Under Xvfb + openbox, driven by xdotool,
# with a private home, XDG folders and PulseAudio server: Ctrl+Shift+D bookmarks the folder and
# Ctrl+D marks a sound; after a restart the bookmark is a place in the volume box and the sound
# plays from "Favoriten" (recorded from the null sink's monitor). Then sox reads each path of
# the playlist. Prints the two files, the recording's figures and where the screenshots are.
# Needs: xvfb openbox xdotool sox imagemagick pulseaudio pulseaudio-utils.
#   scripts/manual/places-recording.sh [build] [display]
set -u
cd "$(dirname "$0")/../.." || exit 1
build=${1:-build}
disp=${2:-:29}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/places-XXXXXX")
out=${OUT:-$tmp/out}
mkdir -p "$out"
pids=
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    [ -z "${KEEP:-}" ] && rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
home=$tmp/home
kit="$home/Samples/Kit 1"
mkdir -p "$tmp/app" "$kit" "$home/.config/gtk-3.0" "$home/Musik"
cp "$build/bin/wavplayer" "$build/bin/STOP.wav" "$tmp/app/"
sox -n -r 48000 -c 2 -b 16 "$kit/Kick.wav" synth 1 sine 1000 vol 0.5
sox -n -r 48000 -c 2 -b 16 "$kit/Snare $(printf '\xff').wav" synth 1 sine 500 vol 0.5
# shellcheck disable=SC2016 # $HOME is for the desktop to expand, as user-dirs.dirs holds it
printf 'XDG_MUSIC_DIR="$HOME/Musik"\n' >"$home/.config/user-dirs.dirs"
# Lines of other programs that must survive: a remote place, a label with blanks, no final newline.
printf 'sftp://host/share Remote share\r\nfile:///tmp/My%%20Temp Temp files, with a label' \
    >"$home/.config/gtk-3.0/bookmarks"

mkdir -p "$tmp/run" "$tmp/state" "$tmp/xdg" && chmod 700 "$tmp/run" "$tmp/xdg"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share
export PULSE_RUNTIME_PATH=$tmp/run PULSE_STATE_PATH=$tmp/state XDG_RUNTIME_DIR=$tmp/xdg
export PULSE_SERVER=unix:$tmp/run/native SDL_AUDIODRIVER=pulseaudio PULSE_LATENCY_MSEC=40
printf 'autospawn = no\n' >"$tmp/client.conf"
export PULSE_CLIENTCONFIG=$tmp/client.conf
unset DBUS_SESSION_BUS_ADDRESS
pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --disallow-exit \
    --use-pid-file=no --disable-shm=yes \
    --load="module-null-sink sink_name=test rate=48000 channels=2" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$tmp/run/native" \
    >"$tmp/pulse.log" 2>&1 &
pids="$pids $!"
for _ in $(seq 1 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink test

export DISPLAY=$disp
Xvfb "$disp" -screen 0 800x600x24 >/dev/null 2>&1 &
pids="$pids $!"
sleep 1
openbox >/dev/null 2>&1 &
pids="$pids $!"
sleep 1

start() {
    "$tmp/app/wavplayer" "$@" >/dev/null 2>&1 &
    app=$!
    wid=$(xdotool search --sync --name Brimvale | head -1)
    xdotool windowactivate --sync "$wid"
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$wid")"
}
close() {
    xdotool windowactivate --sync "$wid" key alt+F4
    wait "$app"
}

# First run, in the kit: bookmark the folder, then mark both sounds (the entries after "[..]").
start "$kit/Kick.wav"
xdotool key Tab Down Down  # to the list: "[..]", then Kick.wav
sleep 0.5
xdotool key ctrl+shift+d
sleep 0.3
xdotool key ctrl+d Down ctrl+d
sleep 0.5
import -window root "$out/1-marked.png"
close
echo "== GTK bookmarks after Ctrl+Shift+D (cat -A):"
cat -A "$home/.config/gtk-3.0/bookmarks"
echo
echo "== Favoriten.m3u8 after Ctrl+D:"
cat -v "$XDG_DATA_HOME/wavplayer/Favoriten.m3u8"

# A hand edit between the runs: a comment and a favourite whose file is gone.
printf '#EXTINF:1,Clap\n%s\n' "$tmp/zz-gone/Clap.wav" >>"$XDG_DATA_HOME/wavplayer/Favoriten.m3u8"

# Second run: the marks show in the kit; the volume box lists the places; "fav" chooses the
# favourites.
start "$kit/Kick.wav"
import -window root "$out/2-restarted.png"
xdotool key alt+Down  # the focus starts in the volume box: its list opens
sleep 0.7
import -window root "$out/3-places.png"
xdotool key Escape
sleep 0.3
parec --device=test.monitor --format=float32le --rate=48000 --channels=2 --latency-msec=20 \
    --raw "$tmp/rec.raw" &
rec=$!
sleep 0.5
xdotool type --delay 100 fav
sleep 0.5
# To the list (Tab) and its first favourite (Home): it plays when the key comes up.
xdotool key Tab Home
sleep 1.5
import -window root "$out/4-favourites.png"
kill "$rec"
close
echo "== Recording from the monitor while the favourite played:"
# The left channel from the first to the last sample above 1 %: the sound alone.
sox -t raw -r 48000 -c 2 -e floating-point -b 32 "$tmp/rec.raw" -n remix 1 \
    silence 1 0.001 1% reverse silence 1 0.001 1% reverse stat 2>&1 |
    grep -E "Length|Maximum amplitude|RMS +amplitude|Rough +frequency"
echo "== Favoriten.m3u8 after the second run (cat -v):"
cat -v "$XDG_DATA_HOME/wavplayer/Favoriten.m3u8"
echo "== sox reads each path of the playlist:"
grep -av '^#' "$XDG_DATA_HOME/wavplayer/Favoriten.m3u8" | while IFS= read -r p; do
    printf '%s: ' "$p"
    [ -e "$p" ] || { echo "gone"; continue; }
    sox "$p" -n remix 1 stat 2>&1 | grep -E "Length|Rough" | tr -s ' ' | tr '\n' ' '
    echo
done
echo "== screenshots in $out"
