#!/bin/bash
# The bash completion, driven as bash drives it: COMP_WORDS and COMP_CWORD as bash splits the
# line, the completion function that `complete` names, and COMPREPLY read back as the line would
# take it. Usage: completion_test.sh COMPLETION-FILE PROGRAM
set -u
completion=$1 program=$2
failures=0
fail() {
    echo "completion_test: $*" >&2
    failures=$((failures + 1))
}

# shellcheck source=/dev/null
source "$completion"
function=$(complete -p zel.logging 2>/dev/null | sed -n 's/.*-F \([^ ]*\) zel.logging$/\1/p')
[ -n "$function" ] || { echo "completion_test: no completion function for zel.logging" >&2; exit 1; }

# Completes the last of the words after "zel.logging" and prints the replies, one a line.
replies() {
    COMP_WORDS=(zel.logging "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" zel.logging "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf '%s\n' "${COMPREPLY[@]}"
}

# expect WORDS... -- REPLY...: exactly these replies, in this order.
expect() {
    local words=() wanted
    while [ "$1" != -- ]; do words+=("$1"); shift; done
    shift
    wanted=$(printf '%s\n' "$@")
    local got
    got=$(replies "${words[@]}")
    [ "$got" = "$wanted" ] || fail "[${words[*]}]: got [${got//$'\n'/|}], wanted [${wanted//$'\n'/|}]"
}

# As bash hands them over: a word begun with a quote keeps it, an escaped blank its backslash,
# and "--enable=us" comes as "--enable" "=" "us".
expect --enable zel.m -- 'zel.matlab\ adaptor'
expect --enable "'zel.m" -- 'zel.matlab adaptor'
expect --enable 'zel.matlab\ a' -- 'zel.matlab\ adaptor'
expect --disable ca -- 'Camera\ Link' 'Camera\ Link\ HS'
expect --enable usb,gi -- usb,GigE
expect --enable 'zel.matlab\ adaptor,USB' -- 'zel.matlab\ adaptor,USB' 'zel.matlab\ adaptor,USB3'
expect --enable '"usb,camera link h' -- 'usb,Camera Link HS'
expect --disable AL -- all
expect --enable = gI -- GigE
expect --enable = -- all zel.sdk zel.recorder 'zel.matlab\ adaptor' FireWire 'Camera\ Link' 'Camera\ Link\ HS' \
    USB USB3 GigE GeniCam
expect --enable nothing --
expect --level f -- Full
expect --level = sT -- Standard
expect --list --js -- --json

# An escaped reply, read back as the shell reads the line, is the name itself.
eval "set -- $(replies --enable zel.m)"
[ "$1" = "zel.matlab adaptor" ] || fail "the quoted name reads back as [$1]"

# File names with blanks stay whole.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/support file.zip"
expect --output "$folder/supp" -- "$folder/support file.zip"

# Every name offered is one the program takes, and every component is offered.
export XDG_DATA_DIRS=$folder/shared XDG_DATA_HOME=$folder/home XDG_RUNTIME_DIR=$folder
mkdir -p "$folder/shared/zel"
mapfile -t offered < <(replies --enable '')
for name in "${offered[@]}"; do
    eval "set -- $name"
    out=$(QT_QPA_PLATFORM= "$program" --enable "$1" 2>&1) || fail "the program refuses [$1]: $out"
done
listed=$("$program" --list --json | python3 -c '
import json, sys
for component in json.load(sys.stdin)["components"]:
    print(component["name"])')
for name in $(printf '%s\n' "$listed" | tr ' ' '_'); do
    printf '%s\n' "${offered[@]}" | sed 's/\\ /_/g' | grep -qx "$name" || fail "[$name] is not offered"
done

[ "$failures" -eq 0 ] || exit 1
echo "completion_test: all passed"
