#!/usr/bin/env bash
# Builds the Windows program and its tests (scripts/build-windows.sh) and runs
# them under Wine in the Japanese locale (code page 932), through CTest:
#   label windows      the test programs, offscreen, in build-windows/wineprefix
#   label windows-gui  the real program on Xvfb from its installed files, and
#                      through its installer, in build-windows/wineprefix-desktop
# The Wine servers of both prefixes end with the run. scripts/test.sh runs this
# after the Linux tests; TOLVANE_SKIP_WINDOWS=1 skips it there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh

started=$SECONDS
status=0
ctest --test-dir build-windows --output-on-failure -j"$(nproc)" "$@" || status=$?
echo "time: Windows tests under Wine: $((SECONDS - started)) s"
for prefix in build-windows/wineprefix build-windows/wineprefix-desktop; do
  [ -d "$prefix" ] && WINEPREFIX="$PWD/$prefix" wineserver -k >/dev/null 2>&1 || true
done
exit "$status"
