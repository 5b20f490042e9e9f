#!/bin/sh
# The real window while a second local user works against it in the shared log folder:
# 1. kv4_cam.log is another name (a hard link) of a file outside: creating the archive and
#    clearing the logs neither change that file nor carry its bytes into the archive or backups;
# 2. during a build, zel_conv.log is linked to the archive's name and to every pending name in
#    sight: the log keeps its bytes, and the dialog ends with a valid archive or a warning;
# 3. the mail program swaps zel_support.zip for a link to a private file before it reads its
#    attachment: it still gets the archive, from a private copy under XDG_RUNTIME_DIR;
# 4. the program is killed in the middle of a build: the earlier archive stays as it was, and
#    the pending file left behind goes at the next start;
# 5. under a file-size limit below the archive's size, with SIGXFSZ at its default, the program
#    lives on, warns, and leaves the earlier archive as it was.
# Usage: window_hostile.sh PROGRAM (run by tests/common/xserver.sh). Exit code 77: a tool is
# missing. With ZEL_SCREENSHOT set, a picture of the screen with the last warning is saved there.
set -u
program=$1
. "$(dirname "$0")/../common/xwindow.sh"
for tool in xdotool python3 unzip sha256sum; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
pid=""
loop=""
trap 'rm -rf "$work"' EXIT
logs="$work/shared/zel"
outside="$work/outside"
archive="$logs/zel_support.zip"
mkdir -p "$logs" "$work/home" "$work/bin" "$outside"
mkdir -m 700 "$work/run"
export XDG_DATA_DIRS="$work/shared" XDG_DATA_HOME="$work/home" XDG_RUNTIME_DIR="$work/run"

# A stand-in machine: two settings, and an ip tool that is all the program's PATH holds
# besides the mail program below.
root="$work/root"
mkdir -p "$root/sys/module/usbcore/parameters" "$root/proc/sys/net/core"
echo 1000 > "$root/sys/module/usbcore/parameters/usbfs_memory_mb"
echo 33554432 > "$root/proc/sys/net/core/rmem_max"
printf '#!/bin/sh\necho "network stand-in $*"\n' > "$work/bin/ip"
export ZEL_SYSREPORT_ROOT="$root"
path="$work/bin"

# The other user's files: one with a second name in the log folder, one kept private.
printf 'outside camera notes\n' > "$outside/camera.txt"
chmod 640 "$outside/camera.txt"
printf 'private mail text\n' > "$outside/private.txt"
ln "$outside/camera.txt" "$logs/kv4_cam.log"

# A mail program that, before it reads its attachment, puts a link to the private file in the
# place of the shared archive; then it keeps what it was given to attach.
cat > "$work/bin/xdg-email" <<EOF
#!/bin/sh
/bin/ln -s "$outside/private.txt" "$logs/.x" && /bin/mv -T "$logs/.x" "$archive"
attached=""
while [ \$# -gt 0 ]; do
    [ "\$1" = --attach ] && attached=\$2
    shift
done
printf '%s\n' "\$attached" > "$work/attached"
/bin/cp "\$attached" "$work/received.part" && /bin/mv "$work/received.part" "$work/received"
EOF
chmod 755 "$work/bin/ip" "$work/bin/xdg-email"

# Every entry outside with its kind, link target, mode, number of names and contents.
snapshot() {
    (cd "$outside" && find . -printf '%p %y %l %m %n\n' | sort && find . -type f -exec sha256sum {} + | sort)
}
before=$(snapshot)

fail() {
    echo "FAIL: $*"
    [ -n "$loop" ] && kill "$loop" 2>/dev/null
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    exit 1
}

# Polls the command that follows the number of seconds, for up to that many seconds.
within() {
    rounds=$(($1 * 5))
    shift
    for _ in $(seq "$rounds"); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

# On the X server, even where the test suite asks Qt for its offscreen platform.
start() {
    QT_QPA_PLATFORM=xcb PATH="$path" "$program" &
    pid=$!
    await_window || fail "no window titled zel.logging"
}

click() {
    xdotool mousemove --window "$wid" "$1" "$2" click 1
}
create_support_file() { click 207 335; }
close_result_boxes_meanwhile
# Gives the box that names a built archive time to come and be closed (it may be gone already).
result_box() { xdotool search --name '^Support File Created$' >/dev/null 2>&1; }
result_box_passed() {
    within 2 result_box
    within 10 eval '! result_box' || fail "the box that names the support file stayed"
}
clear_logfiles() { click 332 37; }
support_mail() { click 207 375; }

# Whether the program runs: a program that ended stays a zombie until it is waited for.
alive() {
    state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$pid/status" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ]
}
pending() { ls "$logs" | grep -q '^~.*~zel_support\.zip$'; }
# Whether the program holds a pending archive open, also one whose name another file took.
building() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -q '~zel_support\.zip'; }
warning() { xdotool search --name '^Warning$' >/dev/null 2>&1; }
valid_archive() { [ -f "$archive" ] && unzip -t -q "$archive" >/dev/null 2>&1; }
archive_sum() { sha256sum 2>/dev/null < "$archive"; }
changed_archive() { [ "$(archive_sum)" != "$earlier" ] && valid_archive; }

# --- 1. A hard link to an outside file during Create Support File and Clear Logfiles ---
start
# The tree starts at 10,10 with a 30-pixel header; "zel.sdk" is its first row.
click 41 49
await -e "$logs/zel_conv.log" || fail "ticking zel.sdk created no zel_conv.log"
[ "$logs/kv4_cam.log" -ef "$outside/camera.txt" ] || fail "ticking zel.sdk replaced the hard link kv4_cam.log"
[ "$(snapshot)" = "$before" ] || fail "ticking zel.sdk changed the outside file through its second name"
printf 'converter session\n' > "$logs/zel_conv.log"

earlier=""
create_support_file
within 20 changed_archive || fail "no valid zel_support.zip"
python3 - "$archive" "$outside/camera.txt" <<'PYTHON' || fail "the archive is wrong"
import sys, zipfile
outside = open(sys.argv[2], "rb").read()
with zipfile.ZipFile(sys.argv[1]) as archive:
    names = archive.namelist()
    # The hard link leaves no entry at all, not even an empty one.
    if names != ["zel_conv.log", "conflicts.nfo", "network.txt", "manifest.json"]:
        sys.exit(f"entries {names}")
    if archive.read("zel_conv.log") != b"converter session\n":
        sys.exit("zel_conv.log does not hold the session")
    for name in names:
        if outside in archive.read(name):
            sys.exit(f"{name} holds the outside file's bytes")
PYTHON
[ "$(snapshot)" = "$before" ] || fail "Create Support File changed the outside file"
result_box_passed

clear_logfiles
await -f "$logs/backup/zel_conv.log" || fail "clearing made no backup of zel_conv.log"
[ "$(cat "$logs/backup/zel_conv.log")" = "converter session" ] || fail "the backup does not hold the session"
await ! -s "$logs/zel_conv.log" || fail "clearing did not empty zel_conv.log"
[ -e "$logs/backup/kv4_cam.log" ] && fail "clearing backed up the hard link kv4_cam.log"
grep -rlF "outside camera notes" "$logs/backup" && fail "a backup holds the outside file's bytes"
[ "$logs/kv4_cam.log" -ef "$outside/camera.txt" ] || fail "clearing replaced the hard link kv4_cam.log"
[ "$(snapshot)" = "$before" ] || fail "Clear Logfiles changed the outside file"

# --- 2. Hard links to the log under the archive's names while it is built ---
write_log "$logs/zel_conv.log" 40
log_sum=$(sha256sum < "$logs/zel_conv.log")
create_support_file
within 20 pending || fail "no pending archive for a 40 MB log"
# Only once the build runs: a log with a second name counts as no log, so earlier links would
# leave nothing to build.
(
    while [ ! -e "$work/stop" ]; do
        for name in "$logs"/~*; do
            [ -e "$name" ] && ln -f "$logs/zel_conv.log" "$name" 2>/dev/null
        done
        ln -f "$logs/zel_conv.log" "$archive" 2>/dev/null
    done
) &
loop=$!
ended() { warning || ! building || ! alive; }
within 120 ended || fail "the build under hard links did not end"
touch "$work/stop"
wait "$loop"
loop=""
alive || fail "the program ended during the build under hard links"
if warning; then
    # Once the build has begun, the only one is about an archive that was not written.
    outcome="a warning"
    # As a user answers it: to the focused window, which the modal box is.
    xdotool key Return
    within 10 eval '! warning' || fail "the warning did not go with Return"
    within 10 eval '! building' || fail "the dialog still holds its pending archive"
elif [ "$archive" -ef "$logs/zel_conv.log" ]; then
    # Linked over again once it was in place: what it was cannot be seen any more.
    outcome="an archive, which the links replaced afterwards"
else
    valid_archive || fail "the archive built under hard links is no valid one"
    outcome="a valid archive"
fi
# The other user's links go; the log must be left with its one name and its bytes.
for name in "$logs"/~* "$archive"; do
    [ "$name" -ef "$logs/zel_conv.log" ] && rm "$name"
done
[ "$(find "$logs" -samefile "$logs/zel_conv.log")" = "$logs/zel_conv.log" ] ||
    fail "other names of zel_conv.log: $(find "$logs" -samefile "$logs/zel_conv.log")"
[ "$(sha256sum < "$logs/zel_conv.log")" = "$log_sum" ] || fail "the build under hard links changed zel_conv.log"
pending && fail "the build under hard links left $(ls "$logs" | grep '^~')"
echo "the build under hard links ended with $outcome"

# --- 3. The mail program finds a link to a private file in place of the archive ---
printf 'mail session\n' > "$logs/zel_conv.log"
earlier=$(archive_sum)
create_support_file
within 30 eval 'changed_archive || warning' || fail "no archive for the mail"
warning && fail "a warning instead of an archive for the mail"
result_box_passed
support_mail
question=$(window_titled '^Support File Exists$') || fail "no question about the existing archive"
[ "$(xdotool getwindowfocus)" = "$question" ] || fail "the question is not the focused window"
# "No": the archive in place goes with the mail.
xdotool key n
await -f "$work/received" || fail "the mail program got no attachment"
[ -L "$archive" ] || fail "the mail program did not swap the archive for a link"
unzip -t -q "$work/received" >/dev/null || fail "the attachment is no valid archive"
cmp -s "$work/received" "$outside/private.txt" && fail "the mail program was handed the private file"
python3 - "$work/received" <<'PYTHON' || fail "the attachment is not the session's archive"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    if archive.read("zel_conv.log") != b"mail session\n":
        sys.exit("zel_conv.log does not hold the session")
PYTHON
attached=$(cat "$work/attached")
case $attached in
"$XDG_RUNTIME_DIR"/zel.logging-mail-??????/zel_support.zip) ;;
*) fail "the attachment $attached is no private copy" ;;
esac
[ "$(stat -c %a "$(dirname "$attached")")" = 700 ] || fail "the copy's folder is open to others"
[ "$(snapshot)" = "$before" ] || fail "the mail changed the outside files"
close_window || fail "the program ended with $status"

# --- 4. Killed in the middle of a build ---
[ -f "$attached" ] || fail "the mail copy went before the next start"
rm "$archive"
cp "$work/received" "$archive"
earlier=$(archive_sum)
write_log "$logs/zel_conv.log" 150
start
ls "$XDG_RUNTIME_DIR" | grep -q '^zel\.logging-mail-' && fail "the start left the mail copies"
create_support_file
within 20 pending || fail "no pending archive for a 150 MB log"
kill -9 "$pid"
wait "$pid" 2>/dev/null
[ "$(archive_sum)" = "$earlier" ] || fail "the kill changed the earlier archive"
pending || fail "the killed build left no pending archive"
left=$(ls "$logs" | grep '^~')
# The log folder's entries with their kinds, modes and contents, but for pending files.
folder() {
    (cd "$logs" && find . -printf '%p %y %l %m %n %s\n' | grep -v '/~' | sort &&
        find . -type f ! -name '~*' -exec sha256sum {} + | sort)
}
kept=$(folder)
start
within 10 eval '! ls "$logs" | grep -q "^~"' || fail "the next start left $left"
[ "$(folder)" = "$kept" ] || fail "the next start changed the log folder"
close_window || fail "the program ended with $status"

# --- 5. A write past the file-size limit, SIGXFSZ at its default ---
python=$(command -v python3)
(
    # Far below the archive of the 150 MB log, and far above the reports: 4 MB where a block is
    # 512 bytes, 8 MB with 1024. A shell cannot undo a signal it was started with ignored, so
    # the default is set right before the program starts.
    ulimit -f 8000
    exec "$python" -c 'import os, signal, sys
signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
os.execve(sys.argv[1], sys.argv[1:2], dict(os.environ, QT_QPA_PLATFORM="xcb", PATH=sys.argv[2]))' "$program" "$path"
) &
pid=$!
await_window || fail "no window titled zel.logging under the file-size limit"
create_support_file
within 20 pending || fail "no pending archive under the file-size limit"
within 120 eval 'warning || ! alive' || fail "no warning about the archive past the file-size limit"
if ! alive; then
    wait "$pid"
    fail "the program ended with $? at the file-size limit"
fi
if [ -n "${ZEL_SCREENSHOT:-}" ]; then
    import -window root "$ZEL_SCREENSHOT" || fail "no screenshot"
fi
xdotool key Return
within 10 eval '! warning' || fail "the warning did not go with Return"
within 10 eval '! pending' || fail "the failed build left $(ls "$logs" | grep '^~')"
[ "$(archive_sum)" = "$earlier" ] || fail "the failed build changed the earlier archive"
close_window || fail "the program ended with $status"
[ "$(snapshot)" = "$before" ] || fail "something outside the log folder changed"
echo "window hostile passed"
