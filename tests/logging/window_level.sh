#!/bin/bash
# The level chosen in the real window reaches INI files that carry comments: with "zel.sdk" and
# "USB" ticked, picking "Full" writes Logging=0x0000FFFF into kv4_cam.ini and kv4_usb_param.ini,
# keeps every comment and remark, and leaves the INI file of an unticked component alone. The
# ticked "USB3", whose INI file holds a line that is no INI, keeps it byte for byte, and a warning
# names it.
# Usage: window_level.sh PROGRAM (run by tests/common/xserver.sh).
set -u
program=$1
. "$(dirname "$0")/../common/xwindow.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
logs="$work/shared/zel"
mkdir -p "$logs" "$work/home"
# Existing logs tick "zel.sdk" and "USB" at start.
touch "$logs/kv4_cam.log" "$logs/kv4_usb.log" "$logs/kv4_usb3.log"
printf '[LOGGING]\r\nthis is no INI line\r\n' >"$logs/kv4_usb3_param.ini"
cp "$logs/kv4_usb3_param.ini" "$work/usb3.expected"
printf '; zel.sdk camera settings\r\n[CAMERA] ; sensor\r\nGain=2\r\n\r\n[LOGGING]\r\nLogname=kv4_cam.log\r\nLogging=0x0000FC03\r\n; 0x0000FFFF logs everything\r\n' >"$logs/kv4_cam.ini"
printf '[LOGGING] ; driver logging\r\nLogname=kv4_usb.log\r\n# set by zel.logging\r\nLogging=0x0000FC03\r\n' >"$logs/kv4_usb_param.ini"
printf '; GigE\r\n[LOGGING]\r\nLogging=0x0000FC01\r\n; off\r\n' >"$logs/kv4_gige_param.ini"
cp "$logs/kv4_gige_param.ini" "$work/gige.expected"
printf '; zel.sdk camera settings\r\n\r\n\r\n[CAMERA] ; sensor\r\nGain=2\r\n\r\n\r\n[LOGGING]\r\nLogname=kv4_cam.log\r\nLogging=0x0000FFFF\r\n; 0x0000FFFF logs everything\r\n' >"$work/cam.expected"
printf '[LOGGING] ; driver logging\r\nLogname=kv4_usb.log\r\n\r\n# set by zel.logging\r\nLogging=0x0000FFFF\r\n' >"$work/usb.expected"

QT_QPA_PLATFORM=xcb XDG_DATA_DIRS="$work/shared" XDG_DATA_HOME="$work/home" "$program" &
pid=$!
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }

await_window || fail "no window titled zel.logging"
# The combo box lies at 260,150, 145 by 31 pixels, showing "Standard"; "Full" is two rows down.
xdotool mousemove --window "$wid" 332 165 click 1
sleep 1
xdotool key Down Down Return
for _ in $(seq 50); do
    cmp -s "$logs/kv4_cam.ini" "$work/cam.expected" && cmp -s "$logs/kv4_usb_param.ini" "$work/usb.expected" && break
    sleep 0.2
done
window_titled '^Warning$' >/dev/null || fail "no warning about the INI file that kept its level"
[ -z "${ZEL_SCREENSHOT:-}" ] || import -window root "$ZEL_SCREENSHOT"
xdotool key Return
for pair in kv4_cam.ini:cam kv4_usb_param.ini:usb kv4_gige_param.ini:gige kv4_usb3_param.ini:usb3; do
    cmp "$logs/${pair%%:*}" "$work/${pair##*:}.expected" || {
        od -c "$logs/${pair%%:*}"
        fail "${pair%%:*} does not hold the expected bytes"
    }
done
[ -e "$logs/zel_conv.ini" ] && fail "an INI file was created"

close_window || fail "the program ended with $status after Escape"
echo "window level test passed"
