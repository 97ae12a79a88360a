#!/bin/sh
# Sets up, builds and runs every test: unit, window (offscreen), sound service, end-to-end
# through a PulseAudio null sink, install, and the desktop files' validation.
set -eu
cd "$(dirname "$0")"
scripts/setup-debian.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 "$@"
if [ -x .ci/desktop-check ]; then .ci/desktop-check; fi
