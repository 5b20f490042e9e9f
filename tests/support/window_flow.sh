#!/bin/sh
# The support archive made in the real window, as a user makes it: tick "zel.sdk", let a session
# write into its log, click "Create Support File", and find a valid zel_support.zip in the log
# folder, with a system report and a network listing from the report script that comes with the
# program; then click "Clear Logfiles" and find the log in the backup folder. Someone has left
# links to files outside the log folder under the names the dialog uses: nothing outside may
# change or appear, and nothing of it may enter the archive. Then with a 150 MB log: the
# progress dialog shows, Escape cancels the build and leaves the earlier archive as it was, and
# the next build completes.
# Usage: window_flow.sh PROGRAM [installed] (run by tests/common/xserver.sh). Exit code 77: a tool is
# missing. Without "installed" the script reads a stand-in machine; with it, this machine.
# With ZEL_SCREENSHOT set, a picture of the screen after the flow is saved there.
set -u
program=$1
mode=${2:-stand-in}
. "$(dirname "$0")/../common/xwindow.sh"
for tool in xdotool python3 unzip; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
logs="$work/shared/zel"
mkdir -p "$logs" "$work/home" "$work/bin"
export XDG_DATA_DIRS="$work/shared" XDG_DATA_HOME="$work/home"
path=$PATH
if [ "$mode" != installed ]; then
    # A stand-in machine: two settings, and an ip tool that is all the program's PATH holds.
    root="$work/root"
    mkdir -p "$root/sys/module/usbcore/parameters" "$root/proc/sys/net/core"
    echo 1000 > "$root/sys/module/usbcore/parameters/usbfs_memory_mb"
    echo 33554432 > "$root/proc/sys/net/core/rmem_max"
    printf '#!/bin/sh\necho "network stand-in $*"\n' > "$work/bin/ip"
    chmod 755 "$work/bin/ip"
    export ZEL_SYSREPORT_ROOT="$root"
    path="$work/bin"
fi

# Hostile links: to private files, to a missing file and to a folder outside the log folder.
outside="$work/outside"
mkdir -p "$outside/folder" "$logs/backup"
printf 'private text\n' > "$outside/private.txt"
printf 'private report\n' > "$outside/report.nfo"
ln -s "$outside/private.txt" "$logs/zel_conv.log"
ln -s "$outside/report.nfo" "$logs/conflicts.nfo"
ln -s "$outside/listing.txt" "$logs/network.txt"
ln -s "$outside/new.log" "$logs/backup/kv4_cam.log"
ln -s "$outside/private.txt" "$logs/backup/old.log"
ln -s "$outside/folder" "$logs/backup/folder.log"
# Every entry outside with its kind, link target and contents.
snapshot() {
    (cd "$outside" && find . -printf '%p %y %l\n' | sort && find . -type f -exec sha256sum {} + | sort)
}
before=$(snapshot)

# On the X server, even where the test suite asks Qt for its offscreen platform.
QT_QPA_PLATFORM=xcb PATH="$path" "$program" &
pid=$!
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }

await_window || fail "no window titled zel.logging"

# The tree starts at 10,10 with a 30-pixel header; the hidden device manager leaves "zel.sdk" in
# the first row, 16 pixels high, its check box after the 20-pixel branch column.
xdotool mousemove --window "$wid" 41 49 click 1
await -e "$logs/kv4_cam.log" || fail "ticking zel.sdk created no kv4_cam.log"
[ -L "$logs/zel_conv.log" ] || fail "ticking zel.sdk replaced the link zel_conv.log"
printf 'camera session\n' > "$logs/kv4_cam.log"

# "Create Support File" lies at 10,320, 395 by 31 pixels.
xdotool mousemove --window "$wid" 207 335 click 1
archive="$logs/zel_support.zip"
for _ in $(seq 50); do
    [ -f "$archive" ] && unzip -t -q "$archive" >/dev/null 2>&1 && break
    sleep 0.2
done
unzip -t "$archive" || fail "no valid zel_support.zip"
close_result_box || fail "no box that names the support file"

python3 - "$archive" "$mode" <<'PYTHON' || fail "unexpected archive contents"
import re, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    names = archive.namelist()
    expected = ["kv4_cam.log", "conflicts.nfo", "network.txt", "manifest.json"]
    if names != expected:
        sys.exit(f"entries {names}, expected {expected}")
    if archive.read("kv4_cam.log") != b"camera session\n":
        sys.exit("kv4_cam.log does not hold the session")
    report = archive.read("conflicts.nfo").decode()
    network = archive.read("network.txt").decode()
if sys.argv[2] == "installed":
    # This machine's own values, whatever they are.
    settings = [r"usbfs_memory_mb( = \d+|: not readable)", r"net\.core\.rmem_max = \d+",
                r"net\.core\.netdev_max_backlog = \d+", r"\n\w+: MTU \d+, ", r"rp_filter = \d"]
    listing = [r"=== Addresses ===\n\d+: lo: ", r"=== IPv4 routes ===", r"=== Name servers ===\n"]
else:
    settings = [r"usbfs_memory_mb = 1000\n", r"net\.core\.rmem_max = 33554432\n",
                r"net\.core\.wmem_max: not readable", r"=== Loaded kernel modules ===\nlsmod: not installed\n"]
    listing = [r"=== Addresses ===\nnetwork stand-in -details address show\n",
               r"=== IPv6 routes ===\nnetwork stand-in -6 route show\n"]
for pattern in settings:
    if not re.search(pattern, report):
        sys.exit(f"conflicts.nfo lacks {pattern}:\n{report}")
for pattern in listing:
    if not re.search(pattern, network):
        sys.exit(f"network.txt lacks {pattern}:\n{network}")
PYTHON

[ "$(snapshot)" = "$before" ] || fail "Create Support File changed something outside the log folder"
for output in conflicts.nfo network.txt; do
    [ -f "$logs/$output" ] && [ ! -L "$logs/$output" ] || fail "$output is not a regular file of its own"
done

# "Clear Logfiles" lies at 260,20, 145 by 35 pixels.
xdotool mousemove --window "$wid" 332 37 click 1
await -f "$logs/backup/kv4_cam.log" -a ! -L "$logs/backup/kv4_cam.log" ||
    fail "clearing did not replace the link backup/kv4_cam.log by a backup"
[ "$(cat "$logs/backup/kv4_cam.log")" = "camera session" ] || fail "the backup does not hold the session"
await ! -s "$logs/kv4_cam.log" || fail "clearing did not empty kv4_cam.log"
[ -L "$logs/zel_conv.log" ] || fail "clearing replaced the link zel_conv.log"
[ "$(snapshot)" = "$before" ] || fail "Clear Logfiles changed something outside the log folder"

# A 150 MB log: the progress dialog shows, Escape in it cancels and leaves the earlier archive,
# and the next "Create Support File" completes.
write_log "$logs/kv4_cam.log" 150
earlier=$(sha256sum < "$archive")
xdotool mousemove --window "$wid" 207 335 click 1
window_titled '^Support File$' >/dev/null || fail "no progress dialog for a 150 MB log"
ls "$logs" | grep -q '^~.*~zel_support\.zip$' || fail "the new archive does not grow under a name of its own"
# As a user presses it: to the focused window, which the modal progress dialog is.
xdotool key Escape
for _ in $(seq 300); do
    ls "$logs" | grep -q '^~' || break
    sleep 0.2
done
sleep 1
ls "$logs" | grep -q '^~' && fail "a cancelled build left $(ls "$logs" | grep '^~')"
[ "$(sha256sum < "$archive")" = "$earlier" ] || fail "the cancel changed the earlier archive"

# The window takes clicks again once the cancelled build has ended.
building() { ls "$logs" | grep -q '^~.*~zel_support\.zip$'; }
for _ in $(seq 5); do
    xdotool mousemove --window "$wid" 207 335 click 1
    for _ in $(seq 50); do
        building && break
        sleep 0.2
    done
    building && break
done
for _ in $(seq 600); do
    [ "$(sha256sum < "$archive")" != "$earlier" ] && unzip -t -q "$archive" >/dev/null 2>&1 && break
    sleep 0.2
done
unzip -t -q "$archive" || fail "no valid archive after the cancelled one"
close_result_box || fail "no box that names the support file after the cancelled one"
python3 - "$archive" "$logs/kv4_cam.log" <<'PYTHON' || fail "the archive after the cancelled one is wrong"
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    if archive.namelist()[0] != "kv4_cam.log":
        sys.exit(f"entries {archive.namelist()}")
    if archive.getinfo("kv4_cam.log").file_size != os.path.getsize(sys.argv[2]):
        sys.exit("kv4_cam.log is not whole")
PYTHON

if [ -n "${ZEL_SCREENSHOT:-}" ]; then
    import -window root "$ZEL_SCREENSHOT" || fail "no screenshot"
fi
close_window || fail "the program ended with $status after Escape"
echo "window flow passed"
