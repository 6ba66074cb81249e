#!/usr/bin/env bash
# Builds the Windows implementations of the platform services with MinGW-w64
# into build-windows/ and runs their checks under Wine, in a Wine prefix of its
# own (build-windows/wineprefix). scripts/test.sh runs it after the main tests;
# TOLVANE_SKIP_WINDOWS=1 skips it there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows-tools

export TOLVANE_WINEPREFIX="$PWD/build-windows/wineprefix"
cmake -S tests/windows -B build-windows -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake"
cmake --build build-windows -j"$(nproc)"

status=0
ctest --test-dir build-windows --output-on-failure || status=$?
# The prefix's Wine server and Wine's background processes end with it.
WINEPREFIX="$TOLVANE_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
exit "$status"
