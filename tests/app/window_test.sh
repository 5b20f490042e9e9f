#!/bin/bash
# Starts the real program under a virtual X server and checks the window a user sees: title,
# fixed size, the dark theme with the accent colour on a ticked item, and exit code 0 when the
# window is closed with Escape. Usage: window_test.sh PROGRAM (run by tests/common/xserver.sh).
set -u
program=$1
. "$(dirname "$0")/../common/xwindow.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/shared/zel" "$work/home"
touch "$work/shared/zel/kv4_usb.log"
export XDG_DATA_DIRS="$work/shared" XDG_DATA_HOME="$work/home"

QT_QPA_PLATFORM=xcb "$program" &
pid=$!
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }

await_window || fail "no window titled zel.logging"
geometry=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "420x402" ] || fail "window is $geometry, not 420x402"

import -window root "$work/shot.png" || fail "no screenshot"
colours=$(convert "$work/shot.png" -format %c histogram:info:)
grep -q -i '#64A70B' <<<"$colours" || fail "accent colour #64A70B not on screen"
grep -q -i '#353535' <<<"$colours" || fail "dark background #353535 not on screen"
grep -q -i '#2D2D2D' <<<"$colours" || fail "tree background #2d2d2d not on screen"
[ -n "${ZEL_SCREENSHOT:-}" ] && cp "$work/shot.png" "$ZEL_SCREENSHOT"

xdotool key --window "$wid" Escape
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$pid" 2>/dev/null && fail "Escape did not end the program"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
echo "window test passed"
