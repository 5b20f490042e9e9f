#!/bin/sh
# Runs a Windows program under Wine for CTest. A program that touches the window system starts
# Wine's desktop process, which inherits the program's output and keeps it open for as long as
# it lives, seconds after the program ended, and CTest waits for that. The output therefore
# goes through files, and the program's own exit code is passed on.
out=$(mktemp) && err=$(mktemp) || exit 1
wine "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $status
