#!/bin/sh
# Runs a Windows program under 64-bit Wine, quietly, in the Wine prefix named by
# TOLVANE_WINEPREFIX (the Windows check sets it to a folder under its build).
set -e
: "${TOLVANE_WINEPREFIX:?set TOLVANE_WINEPREFIX to the Wine prefix folder}"
export WINEPREFIX="$TOLVANE_WINEPREFIX"
mkdir -p "$WINEPREFIX"
export WINEDEBUG=-all
# No browser or .NET runtime in the prefix: their installers would be offered
# at the first start, and the checks need neither; nor menu entries for the
# user's desktop.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)
export WINELOADER="$wine64"
# The Wine server and Wine's own background processes outlive the program.
# Started by it, they would hold its output pipes open, and whoever reads them
# (CTest) would wait until they end; so a new server is started here, kept a
# minute for the next program, and its processes are started with no output.
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
if "$wineserver" -p60 </dev/null >/dev/null 2>&1; then
    "$wine64" wineboot </dev/null >/dev/null 2>&1 || true
fi
exec "$wine64" "$@"
