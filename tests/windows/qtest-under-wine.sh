#!/bin/sh
# Runs a Qt Test program under Wine and prints its log:
#
#   qtest-under-wine.sh EMULATOR PROGRAM [ARGUMENT...]
#
# Qt Test on Windows writes the log meant for the console with
# OutputDebugString when the program has no console window, as under Wine with
# its output in a pipe, and the log would be lost; so it goes into a file in
# the working folder, printed when the program has ended.
set -u
emulator=$1
program=$2
shift 2
log="qtest-$(basename "$program" .exe).txt"
rm -f "$log"
status=0
"$emulator" "$program" -o "$log,txt" "$@" || status=$?
cat "$log" 2>/dev/null || echo "qtest-under-wine: $program wrote no log" >&2
exit "$status"
