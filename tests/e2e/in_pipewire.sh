#!/bin/sh
# Runs a command inside a private PipeWire server with a 48 kHz null sink (see pipewire_env.sh).
# Exit 77 (skipped) only when no PipeWire server can be started here.
# Usage: in_pipewire.sh COMMAND [ARG...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/pipewire_env.sh"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/pipewire-run-XXXXXX")
trap 'pw_env_stop; rm -rf "$tmp"' EXIT INT TERM
pw_env_start || exit $?
"$@"
