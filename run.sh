#!/bin/sh
# Sets up, builds and starts the program on the demo library the build generates.
set -eu
cd "$(dirname "$0")"
scripts/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
exec build/bin/wavplayer "$PWD/build/demo/Ding.wav"
