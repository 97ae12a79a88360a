#!/bin/sh
# clang-tidy (bugprone-*, performance-*; see .clang-tidy) over the program's sources, with the
# compile commands of a build folder (default: build, as test.sh configures it). Fails on any
# finding. About two minutes on two cores.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
[ -f "$BUILD/compile_commands.json" ] || cmake -S . -B "$BUILD" >/dev/null
# The generated moc sources must exist before the files that include them can be checked.
cmake --build "$BUILD" --target wavwindow_autogen -j2 >/dev/null
files=$(git ls-files 'src/*.cpp')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# shellcheck disable=SC2086
run-clang-tidy -quiet -j2 -p "$BUILD" $files >"$log" 2>&1 || status=$?
grep -E 'warning:|error:' "$log" | sort -u || true
[ "$status" -eq 0 ] && echo "clang-tidy: clean ($(echo "$files" | wc -w) files)"
exit "$status"
