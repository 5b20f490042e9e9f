# Shell helpers of the window tests (sourced): find the program's window on the X server.

# Sets `wid` to the window titled zel.logging, waiting up to ten seconds for it to appear,
# then one more second for it to be drawn. Returns 1 when no such window appears.
await_window() {
    wid=""
    for _ in $(seq 50); do
        wid=$(xdotool search --name '^zel\.logging$' 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        sleep 0.2
    done
    [ -n "$wid" ] || return 1
    sleep 1
}
