#!/bin/sh
# Address+undefined over every test; thread over the sound service, the window and the window
# logic (its folder scans run on workers), and over the native PipeWire output opened and closed
# while it renders on a private server. Optimised builds: the resampling tables would take ten
# minutes at -O0.
set -eu
cd "$(dirname "$0")/.."
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAV_SANITIZE=address,undefined -DWAV_BUILD_BENCH=OFF
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure -j2 -LE install

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAV_SANITIZE=thread -DWAV_BUILD_BENCH=OFF
cmake --build build-tsan -j2 --target audio_tests test_window unit_tests pipewire_output_tests play_tone
ctest --test-dir build-tsan --output-on-failure -L audio -LE e2e
# The logic rows run steps in a forked copy, which starts workers of its own while the parent's
# idle workers wait on: allowed here, as the copy touches nothing the parent's threads hold.
# The idle-worker row counts the threads of a forked copy, which the sanitizer's own threads
# change; it runs in the other builds.
TSAN_OPTIONS="$TSAN_OPTIONS die_after_fork=0 suppressions=$PWD/tests/e2e/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -R '^(test_window|.*Logic\..*|Find.*|Workers\.Hung.*)$'
TSAN_OPTIONS="$TSAN_OPTIONS suppressions=$PWD/tests/e2e/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -R '^e2e_pipewire(_output)?$'
