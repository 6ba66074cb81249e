#!/bin/sh
# Sets up the Wine prefix of the Windows checks (the first start of a new prefix
# is the slow one) and maps drive letter $1 to a folder that does not exist.
set -e
here=$(dirname "$0")
# What the set-up starts may outlive it; given no output pipe, it cannot keep
# CTest waiting.
"$here/../../cmake/wine-emulator.sh" wineboot --init </dev/null >/dev/null 2>&1
letter=$(echo "$1" | tr 'A-Z' 'a-z')
case "$letter" in
c | z) echo "drive $1: is Wine's own; choose another letter" >&2; exit 1 ;;
esac
ln -sfn "$TOLVANE_WINEPREFIX/no-such-drive" "$TOLVANE_WINEPREFIX/dosdevices/$letter:"
ls "$TOLVANE_WINEPREFIX/dosdevices"
