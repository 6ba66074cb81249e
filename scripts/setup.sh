#!/usr/bin/env bash
# Installs from Debian's packages whatever the build and the tests need and is
# missing, then builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-ipafont-gothic
  # Qt's own words (the boxes' buttons) in Japanese: qtbase_ja.qm.
  qt6-translations-l10n
  python3 python3-aiosmtpd curl
  # The end-to-end runs (tests/e2e/harness.py): pytest, Xvfb started by
  # pyvirtualdisplay, X selections asked through python3-xlib.
  python3-pytest python3-pyvirtualdisplay python3-xlib
  # Certificates for the mail server of the TLS tests.
  openssl
  # The X server tests: a virtual X server, a notification area, key presses
  # and window queries.
  xvfb xdotool trayer x11-utils
  # The Debian package: cpack's dependency list (dpkg-shlibdeps, file) and the
  # check of its service unit (systemd-analyze).
  dpkg-dev file systemd
  # The operators' guide: its HTML (cmark-gfm, CommonMark with tables), and
  # its pictures of the real windows (scripts/screenshots.sh: ImageMagick's
  # import, pngquant).
  cmark-gfm imagemagick pngquant
)

# With --windows-tools: only what the Windows build and its tests need
# (scripts/build-windows.sh, scripts/test-windows.sh), which nothing else does;
# no build. Qt for Windows is built from Debian's qt6-base source package
# (apt-get source: dpkg-dev) with the cross compiler, Ninja, the host tools of
# qt6-base-dev-tools and the host Qt's description of them (Qt6HostInfo, in
# qt6-base-dev); the tests run under Wine in the Japanese locale
# (locales), the program's windows on Xvfb driven by xdotool and found with
# xwininfo (x11-utils), as on Linux, through the end-to-end harness (pytest,
# pyvirtualdisplay); makensis (nsis) makes the installer,
# which ships Qt's Japanese translation from qt6-translations-l10n.
#
# With --coverage-tools: the default list and gcovr (scripts/coverage.sh); no
# build.
windows_tools=0
coverage_tools=0
if [ "${1:-}" = "--coverage-tools" ]; then
  coverage_tools=1
  packages+=(gcovr)
elif [ "${1:-}" = "--windows-tools" ]; then
  windows_tools=1
  packages=(
    cmake ninja-build perl dpkg-dev qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix
    wine wine64 locales xvfb xdotool x11-utils nsis python3 python3-aiosmtpd
    python3-pytest python3-pyvirtualdisplay
    qt6-translations-l10n
    # The guide's HTML, made on this machine for the installer.
    cmark-gfm
  )
fi

scripts/install-packages.sh "${packages[@]}"

if [ "$windows_tools" -eq 1 ]; then
  # Wine takes the system code page from the locale: ja_JP.UTF-8 gives 932.
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "Generating the locale ja_JP.UTF-8"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  fi
  exit 0
fi
[ "$coverage_tools" -eq 0 ] || exit 0

# The consumers of tolvane-check's metrics file in the tests: promtool (in the
# package prometheus) and the node exporter, which the test starts itself on a
# loopback port. Here they are tools, not services: their packages would start
# both daemons and have them start at boot, so while they are installed a
# policy-rc.d refuses every start (unless the system has one of its own), and
# the boot start is disabled again for the packages installed here.
metrics_tools=()
for p in prometheus prometheus-node-exporter; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || metrics_tools+=("$p")
done
if [ ${#metrics_tools[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [ ! -e "$policy" ]; then
    own_policy=1
    trap '$sudo rm -f "$policy"' EXIT
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
  fi
  scripts/install-packages.sh "${metrics_tools[@]}"
  if [ "$own_policy" -eq 1 ]; then
    $sudo rm -f "$policy"
    trap - EXIT
  fi
  for p in "${metrics_tools[@]}"; do
    $sudo update-rc.d "$p" disable >/dev/null 2>&1 || true
  done
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
