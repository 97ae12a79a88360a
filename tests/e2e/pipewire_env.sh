# Sourced: a private PipeWire server (with its session manager and PulseAudio layer, on a session
# bus of its own, as on a desktop) in a private runtime folder, with a 48 kHz stereo null sink
# "test" as the default sink. Needs $tmp, an empty scratch folder; exports the environment that
# clients need. pw_env_start returns 0, 77 when no server can be started here, 1 when the sink
# cannot be made; pw_env_crash kills the servers as a crash would and pw_env_servers starts them
# and the sink again; pw_env_stop stops everything it started.
pw_pids=

pw_env_start() {
    for c in pipewire wireplumber pipewire-pulse dbus-daemon pactl; do
        command -v $c >/dev/null || { echo "$c missing"; return 77; }
    done
    # Everything private: runtime folder, home, configuration and state; no desktop session.
    mkdir -p "$tmp/xdg" "$tmp/home"
    chmod 700 "$tmp/xdg"
    export XDG_RUNTIME_DIR=$tmp/xdg HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config
    export XDG_STATE_HOME=$tmp/home/.state
    unset DISPLAY WAYLAND_DISPLAY PULSE_SERVER PIPEWIRE_REMOTE SDL_AUDIODRIVER
    dbus-daemon --session --fork --address="unix:path=$tmp/bus" --print-pid=3 3>"$tmp/dbus.pid" ||
        { echo "no session bus"; return 77; }
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$tmp/bus
    pw_env_servers
}

# The server, its session manager and PulseAudio layer, and the sink.
pw_env_servers() {
    pipewire >"$tmp/pipewire.log" 2>&1 &
    pw_pids="$pw_pids $!"
    for _ in $(seq 1 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
    wireplumber >"$tmp/wireplumber.log" 2>&1 &
    pw_pids="$pw_pids $!"
    # Made here: the PulseAudio layer fails to start when pactl below creates it at the same time.
    mkdir -p -m 700 "$XDG_RUNTIME_DIR/pulse"
    pipewire-pulse >"$tmp/pipewire-pulse.log" 2>&1 &
    pw_pids="$pw_pids $!"
    up=
    for _ in $(seq 1 100); do
        if pactl info >/dev/null 2>&1; then up=1; break; fi
        sleep 0.1
    done
    if [ -z "$up" ]; then
        echo "PipeWire did not start:"; cat "$tmp"/*.log
        return 77
    fi
    # The PulseAudio layer refuses modules until the session manager has come up.
    for _ in $(seq 1 50); do
        pactl load-module module-null-sink sink_name=test rate=48000 channels=2 >/dev/null 2>&1 &&
            pactl set-default-sink test && break
        sleep 0.1
    done
    pactl list short sinks | grep -q "	test	" || { echo "no null sink"; cat "$tmp"/*.log; return 1; }
    # A first stream played to its end, so that a test's first stream meets a session manager
    # that links streams and a graph that runs, however long a busy machine took to start them.
    started=$(date +%s.%N)
    head -c 9600 /dev/zero | timeout 60 pacat --raw --format=s16le --rate=48000 --channels=2 ||
        { echo "the graph plays no stream"; cat "$tmp"/*.log; return 1; }
    took=$(awk "BEGIN { print $(date +%s.%N) - $started }")
    echo "the graph played its first stream $took s after the sink came"
}

pw_env_crash() {
    for p in $pw_pids; do kill -KILL "$p" 2>/dev/null; done
    for p in $pw_pids; do wait "$p" 2>/dev/null; done
    pw_pids=
    rm -f "$XDG_RUNTIME_DIR"/pipewire-0*  # so the wait for the new server's socket means it
}

pw_env_stop() {
    for p in $pw_pids; do kill "$p" 2>/dev/null; done
    for p in $pw_pids; do wait "$p" 2>/dev/null; done
    pw_pids=
    [ -s "$tmp/dbus.pid" ] && kill "$(cat "$tmp/dbus.pid")" 2>/dev/null
    rm -f "$tmp/dbus.pid"
}
