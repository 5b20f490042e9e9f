# Shell helpers of the window tests (sourced): find the program's windows on the X server, wait
# for a condition, write a large camera log.

# Prints the id of the first window whose title matches the pattern, waiting up to ten seconds
# for one to appear. Returns 1 when none appears.
window_titled() {
    for _ in $(seq 50); do
        found=$(xdotool search --name "$1" 2>/dev/null | head -n 1)
        [ -n "$found" ] && echo "$found" && return 0
        sleep 0.2
    done
    return 1
}

# Sets `wid` to the window titled zel.logging, waiting up to ten seconds for it to appear,
# then one more second for it to be drawn. Returns 1 when no such window appears.
await_window() {
    wid=$(window_titled '^zel\.logging$') || return 1
    sleep 1
}

# Closes the window with Escape and waits for the program (process `pid`) to end, ending it
# after ten seconds otherwise. Sets `status` to its exit code; returns 1 unless that is 0.
close_window() {
    xdotool key --window "$wid" Escape 2>/dev/null
    (sleep 10; kill "$pid" 2>/dev/null) >/dev/null 2>&1 &
    guard=$!
    wait "$pid"
    status=$?
    kill "$guard" 2>/dev/null
    [ "$status" -eq 0 ]
}

# Closes the box that ends a "Create Support File" which built an archive, with Return, as a user
# would; waits up to ten seconds for it to appear. Returns 1 when none appears.
close_result_box() {
    window_titled '^Support File Created$' >/dev/null || return 1
    xdotool key Return
    sleep 0.5
}

# For scripts about other things: closes every such box as it comes, in the background, until
# the script ends.
close_result_boxes_meanwhile() {
    (
        while kill -0 $$ 2>/dev/null; do
            xdotool search --name '^Support File Created$' >/dev/null 2>&1 && xdotool key Return
            sleep 0.3
        done
    ) >/dev/null 2>&1 &
}

# Polls `test ARGS` for up to ten seconds.
await() {
    for _ in $(seq 50); do
        test "$@" && return 0
        sleep 0.2
    done
    return 1
}

# Camera log lines of about $2 MiB, repeated in blocks larger than the compressor's window, so
# that the log packs like a real one.
write_log() {
    python3 - "$1" "$2" <<'PYTHON'
import random, sys
random.seed(11)
block = "".join(f"2026-12-08 05:{i // 6000 % 60:02d}:{i // 100 % 60:02d}.{i % 100 * 10:03d} kv4_cam frame {i}"
                f" exposure {random.choice((5000, 10000, 20000))} us gain {random.randrange(4)} dB"
                f" {random.choice(('ok', 'ok', 'ok', 'ok', 'dropped', 'late'))}\n"
                for i in range(20000)).encode()
with open(sys.argv[1], "wb") as log:
    for _ in range(int(sys.argv[2]) * 2**20 // len(block)):
        log.write(block)
PYTHON
}
