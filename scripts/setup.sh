#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need and is
# missing, then builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-ipafont-gothic
  python3 python3-aiosmtpd curl
  # The X server tests: a virtual X server, a notification area, key presses
  # and window queries.
  xvfb xdotool trayer x11-utils libx11-6
  # The Debian package: cpack's dependency list (dpkg-shlibdeps, file) and the
  # check of its service unit (systemd-analyze).
  dpkg-dev file systemd
)

# With --windows-tools: only the cross compiler and Wine of the Windows check
# (scripts/windows-check.sh), which nothing else needs; no build.
windows_tools=0
if [ "${1:-}" = "--windows-tools" ]; then
  windows_tools=1
  packages=(cmake g++-mingw-w64-x86-64-posix wine wine64)
fi

scripts/install-packages.sh "${packages[@]}"

if [ "$windows_tools" -eq 1 ]; then
  exit 0
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
