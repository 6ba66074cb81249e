#!/bin/sh
# Runs a Windows program under 64-bit Wine, quietly, in the Wine prefix named by
# TOLVANE_WINEPREFIX (the Windows tests set it to a folder under their build),
# as on the operators' Japanese Windows: the locale ja_JP.UTF-8 gives code page
# 932 (Shift-JIS) as the system code page. TOLVANE_WINE_LOCALE chooses another.
#
# TOLVANE_WINE_DLL_DIRS: Linux folders, separated by ":", where the program
# finds its DLLs (Wine's WINEPATH). TOLVANE_WINE_DISPLAY: the X display of the
# program's windows; without it there is none (offscreen programs need none).
set -e
: "${TOLVANE_WINEPREFIX:?set TOLVANE_WINEPREFIX to the Wine prefix folder}"
export WINEPREFIX="$TOLVANE_WINEPREFIX"
mkdir -p "$WINEPREFIX"
# TOLVANE_WINEDEBUG: Wine's debug channels, none by default (the service's
# test reads the event log's on +eventlog).
export WINEDEBUG="${TOLVANE_WINEDEBUG:--all}"
locale="${TOLVANE_WINE_LOCALE:-ja_JP.UTF-8}"
if ! locale -a 2>/dev/null | grep -qix "$(echo "$locale" | sed 's/UTF-8/utf8/I')"; then
    echo "wine-emulator: the locale $locale is missing (scripts/setup.sh --windows-tools makes it)" >&2
    exit 125
fi
export LANG="$locale" LC_ALL="$locale"
unset LANGUAGE
if [ -n "${TOLVANE_WINE_DISPLAY:-}" ]; then
    export DISPLAY="$TOLVANE_WINE_DISPLAY"
else
    unset DISPLAY WAYLAND_DISPLAY
fi
if [ -n "${TOLVANE_WINE_DLL_DIRS:-}" ]; then
    WINEPATH=$(printf '%s\n' "$TOLVANE_WINE_DLL_DIRS" | tr ':' '\n' | sed 's|^|Z:|; s|/|\\|g' | paste -sd';')
    export WINEPATH
fi
# Wine keeps variables named QT_* (as it keeps PATH) from Windows programs and
# hands WINEQT_* on under the name without WINE instead.
for variable in $(env | sed -n 's/^\(QT_[A-Za-z0-9_]*\)=.*/\1/p'); do
    eval "export WINE$variable=\"\$$variable\""
done
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
# Programs started at the same time wait for the one that starts the server
# until the prefix is up; else one of them would start Wine's background
# processes itself, holding its output open.
exec 8>"$WINEPREFIX/.tolvane-start.lock"
flock 8
# (What they leave running must not hold the lock.)
if "$wineserver" -p60 </dev/null >/dev/null 2>&1 8>&-; then
    "$wine64" wineboot </dev/null >/dev/null 2>&1 8>&- || true
fi
exec 8>&-
exec "$wine64" "$@"
