#!/bin/bash
# The playbook of contrib/ansible/ against three local "hosts", each with a log folder of its own
# (XDG_DATA_DIRS): three archives must arrive, named by case and host, and pass unzip -t. Skips
# (77) where ansible-playbook or unzip is missing, or the program has no --list --json.
# Usage: ansible_fleet.sh ZEL_PROGRAM
set -euo pipefail
program=$(realpath "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
for tool in ansible-playbook unzip; do
    command -v "$tool" >/dev/null || { echo "no $tool here: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No ansible.cfg of the current folder or the user's counts.
cd "$work"
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8
# Ansible's own files stay in the test's folder too.
export HOME=$work/home ANSIBLE_HOME=$work/ansible ANSIBLE_LOCAL_TEMP=$work/ansible/tmp \
    ANSIBLE_REMOTE_TEMP=$work/ansible/tmp ANSIBLE_NOCOLOR=1
export XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_DIRS=$work/etc XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$work/etc" "$work/runtime"
chmod 700 "$work/runtime"
status=0
XDG_DATA_DIRS=$work/probe "$program" --list --json >/dev/null 2>&1 || status=$?
[ "$status" = 0 ] || { echo "this program has no --list --json: skipped"; exit 77; }

{
    echo "[cameras]"
    for host in cam1 cam2 cam3; do
        mkdir -p "$work/$host/zel"
        # Each has logged something already; cam2 also has an INI file to take the level.
        XDG_DATA_DIRS=$work/$host "$program" --enable usb >/dev/null
        printf '%s: camera opened at 10.1.2.3\n%.0s' "$host" $(seq 500) >"$work/$host/zel/kv4_usb.log"
        echo "$host ansible_connection=local ansible_python_interpreter=/usr/bin/python3" \
             "zel_environment='{\"XDG_DATA_DIRS\": \"$work/$host\"}'"
    done
} >"$work/inventory.ini"
printf '[LOGGING]\nLogging=0x0000FC03\n' >"$work/cam2/zel/kv4_usb_param.ini"

ansible-playbook -i "$work/inventory.ini" "$top/contrib/ansible/collect.yml" \
    -e zel_case=SR-2026.0042 -e "zel_program=$program" -e "zel_desk_folder=$work/desk" -e zel_level=Full \
    >"$work/ansible.log" 2>&1 || { cat "$work/ansible.log"; exit 1; }

failures=0
for host in cam1 cam2 cam3; do
    archive=$work/desk/zel_support_SR-2026.0042_$host.zip
    if ! unzip -tq "$archive" >/dev/null; then
        echo "FAILED: $host: no sound archive at $archive"
        failures=$((failures + 1))
        continue
    fi
    # Its own host's log, redacted; the key stayed on the host.
    unzip -p "$archive" kv4_usb.log | grep -q "^$host: camera opened" || { echo "FAILED: $host: not its log"; failures=$((failures + 1)); }
    ! unzip -p "$archive" kv4_usb.log | grep -q "10\.1\.2\.3" || { echo "FAILED: $host: not redacted"; failures=$((failures + 1)); }
    [ -f "$work/$host/zel/zel_support.redaction.txt" ] || { echo "FAILED: $host: no key beside its archive"; failures=$((failures + 1)); }
done
grep -q "Logging=0x0000FFFF" "$work/cam2/zel/kv4_usb_param.ini" || { echo "FAILED: the level was not set"; failures=$((failures + 1)); }
[ "$(find "$work/desk" -name '*.zip' | wc -l)" = 3 ] || { echo "FAILED: not three archives"; failures=$((failures + 1)); }
[ "$failures" = 0 ] || { cat "$work/ansible.log"; exit 1; }
echo "three archives arrived"
