#!/bin/bash
# The installed Windows program under Wine on a virtual X server (run through xserver.sh): the
# dialog comes up at its fixed size, and "Create Support File" writes the support archive into
# C:\ProgramData\zel\ with the log, its INI file and Wine's own network listing. There is no
# system report: Wine's msinfo32 is a stand-in that waits for a click, so it is switched off
# (WINEDLLOVERRIDES), and the program meets a Windows without the tool. The program starts in the
# log folder, as an administrator may start it, and a program planted there as ipconfig.exe is
# not run in the system's place.
# Usage: window_wine.sh PROGRAM.exe [SCREENSHOT.png [PLANT.exe]], with WINEPREFIX set to the
# prefix the program is installed in.
set -u
. "$(dirname "$0")/../common/xwindow.sh"
program=$1
shot=${2:-}
plant=${3:-}
data=$WINEPREFIX/drive_c/ProgramData/zel
output=$(mktemp)
trap 'rm -f "$output"' EXIT
fail() {
    echo "window_wine: $*" >&2
    kill "$pid" 2>/dev/null
    echo "Wine's output:" >&2
    cat "$output" >&2
    exit 1
}

printf 'camera log line\r\n' >"$data/kv4_usb.log"
printf '[LOGGING]\r\n' >"$data/kv4_usb_param.ini"
[ -z "$plant" ] || cp "$plant" "$data/ipconfig.exe"
(cd "$data" && WINEDLLOVERRIDES="msinfo32.exe=d" exec wine "$program" </dev/null >"$output" 2>&1) &
pid=$!
# Wine's first window in a fresh prefix waits for its font cache, which may take a minute.
for _ in $(seq 12); do
    await_window && break
done
[ -n "${wid:-}" ] || fail "no window titled zel.logging"
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$WIDTH" = 420 ] && [ "$HEIGHT" = 402 ] || fail "the window is ${WIDTH}x$HEIGHT, not 420x402"
[ -z "$shot" ] || import -window root "$shot"

# "Create Support File" spans the window's width above "Support Mail".
xdotool mousemove --window "$wid" 210 335 click 1
for _ in $(seq 6); do
    await -s "$data/zel_support.zip" && break
done
[ -s "$data/zel_support.zip" ] || fail "no support archive in C:\\ProgramData\\zel"
unzip -tq "$data/zel_support.zip" >/dev/null || fail "the archive does not test whole"
entries=$(unzip -Z1 "$data/zel_support.zip" | tr '\n' ' ')
[ "$entries" = "kv4_usb.log kv4_usb_param.ini network.txt manifest.json " ] || fail "unexpected entries: $entries"
unzip -p "$data/zel_support.zip" network.txt | grep -q "IPv4 address\|IPv6 address" ||
    fail "network.txt holds no address listing"
[ ! -e "$data/conflicts.nfo" ] || fail "a system report without the tool"
[ ! -e "$data/planted-ran" ] || fail "the ipconfig.exe planted in the current folder ran"
rm -f "$data/ipconfig.exe"
close_result_box || fail "no box that names the support file"
close_window || fail "the program ended with status $status"
echo "window_wine: the dialog came up, and the support archive holds: $entries"
