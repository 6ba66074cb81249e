#!/usr/bin/env bash
# Builds the Windows program and its tests into build-windows/ with MinGW-w64,
# against Qt for Windows from the cache (scripts/build-qt-windows.sh builds it
# the first time: 20 to 35 minutes on two cores; then it is reused). With
# --package also the installer, build-windows/Tolvane-<version>-win64.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows-tools

started=$SECONDS
qt="$(scripts/build-qt-windows.sh)"
echo "time: Qt for Windows (built or from the cache): $((SECONDS - started)) s"
started=$SECONDS
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build build-windows -j"$(nproc)"
echo "time: Windows build: $((SECONDS - started)) s"

if [ "${1:-}" = "--package" ]; then
  (cd build-windows && cpack -G NSIS)
fi
