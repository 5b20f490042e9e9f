#!/bin/bash
# Runs a command on a private virtual X server of 640 by 480 pixels and ends the server after it.
# The server picks a free display number itself and reports it once it takes connections, so two
# servers never race for one number, not even while an earlier one is still shutting down. It
# never resets, so the display check's leaving cannot close a connection the command just opened.
# The display is tried before the command starts. A server that does not come up, or a command
# whose program could not connect to the display, is tried anew on a new server, at most three
# times; a command's own failure is never retried.
# Usage: xserver.sh COMMAND [ARG...]; exits with the command's status.
set -u
dir=$(mktemp -d)
server=""
stop_server() {
    [ -n "$server" ] || return 0
    kill "$server" 2>/dev/null
    for _ in $(seq 50); do
        kill -0 "$server" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    server=""
}
trap 'stop_server; rm -rf "$dir"' EXIT

for attempt in 1 2 3; do
    : >"$dir/display"
    # Nothing of the caller's output goes to the server, which would keep a caller reading it
    # waiting should the server outlive this script.
    Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>"$dir/display" </dev/null \
        >"$dir/server.log" 2>&1 &
    server=$!
    for _ in $(seq 100); do
        [ -s "$dir/display" ] || ! kill -0 "$server" 2>/dev/null && break
        sleep 0.1
    done
    number=$(tr -dc 0-9 <"$dir/display")
    if [ -n "$number" ] && DISPLAY=":$number" xdotool getdisplaygeometry >/dev/null 2>&1; then
        # Into a file, not a pipe: a program the command leaves behind cannot hold this up.
        DISPLAY=":$number" "$@" >"$dir/output" 2>&1
        status=$?
        cat "$dir/output"
        grep -q "could not connect to display" "$dir/output" || exit $status
        echo "virtual X server, attempt $attempt: the program could not connect to :$number" >&2
    else
        echo "virtual X server, attempt $attempt, did not come up:" >&2
    fi
    kill -0 "$server" 2>/dev/null || echo "the server has ended" >&2
    cat "$dir/server.log" >&2
    stop_server
done
exit 1
