#!/bin/sh
# Installs what building, running and testing need on Debian 12 (run as root).
set -eu
PACKAGES="cmake g++ make pkg-config git qt6-base-dev qt6-qpa-plugins libsndfile1-dev libsoxr-dev
libpipewire-0.3-dev libsdl2-dev libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core"
if [ "${1:-}" = "--tests" ]; then
    PACKAGES="$PACKAGES pulseaudio pulseaudio-utils desktop-file-utils appstream python3 xauth
clang libclang-rt-14-dev clang-format clang-tidy clang-tools pipewire pipewire-bin pipewire-pulse
wireplumber dbus"
fi
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi
