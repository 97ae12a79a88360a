#!/bin/sh
# Sets up, builds (warnings are errors) and runs every test: unit, window (offscreen), sound
# service, end-to-end through a PulseAudio null sink, install, and the desktop files'
# validation. Fails first when a source file is not clang-formatted.
set -eu
cd "$(dirname "$0")"
scripts/setup-debian.sh --tests
git ls-files -co --exclude-standard 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' |
    xargs clang-format --dry-run --Werror
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAV_WERROR=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 "$@"
if [ -x .ci/desktop-check ]; then .ci/desktop-check; fi
