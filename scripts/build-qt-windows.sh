#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's qt6-base source package with
# Debian's MinGW-w64 compilers, once, into a cache folder outside the checkout,
# and prints that folder (the CMAKE_PREFIX_PATH of the Windows build).
#
# The cache is keyed by the Qt version and a hash of this script's options, so
# a change of options builds anew and a second run reuses the first one's.
# TOLVANE_CACHE overrides the cache root (default ~/.cache/tolvane).
#
# Only Debian's packages are used: the source package (through a deb-src entry
# for the system's own suites) and the host Qt tools of qt6-base-dev-tools,
# which must be the same Qt version.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

cache_root="${TOLVANE_CACHE:-$HOME/.cache/tolvane}"

# Core, Gui, Widgets, Network and Test as shared libraries, with Qt's own copies
# of the third-party libraries. TLS through the schannel backend: Windows' own
# TLS and certificate store, no DLLs to ship; OpenSSL is kept out so that the
# host's headers are never taken for Windows ones. tabletevent (no wintab
# header in Debian's source) and dynamicgl (the Windows platform plugin does
# not compile with it when OpenGL is off) must be off for 6.4.2.
qt_options=(
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_opengles2=OFF
  -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_icu=OFF
  -DFEATURE_ssl=ON -DFEATURE_schannel=ON -DFEATURE_dtls=OFF
  -DFEATURE_openssl=OFF -DFEATURE_openssl_runtime=OFF -DFEATURE_openssl_linked=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF
  -DCMAKE_BUILD_TYPE=Release
)

host_qt_version() {
  dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null | sed -E 's/^[0-9]+://; s/[-+~].*$//'
}
version="$(host_qt_version)"
if [ -z "$version" ]; then
  echo "build-qt-windows: qt6-base-dev-tools is not installed (scripts/setup.sh installs it)" >&2
  exit 2
fi
key="$(printf '%s\n' "${qt_options[@]}" | sha256sum | cut -c1-12)"
prefix="$cache_root/qt-$version-mingw64-$key"

# One build of a key at a time: a second caller waits for the first one's
# result instead of building into the same folders.
mkdir -p "$cache_root"
exec 9>"$cache_root/.lock-$version-$key"
if ! flock -n 9; then
  echo "build-qt-windows: waiting for the build of the same Qt that is under way" >&2
  flock 9
fi

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# A deb-src entry for the suites the system already uses, so that the source
# matches the installed host tools.
src_list=/etc/apt/sources.list.d/tolvane-deb-src.sources
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
  if [ ! -f "$src_list" ]; then
    echo "build-qt-windows: adding $src_list" >&2
    $sudo tee "$src_list" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  $sudo apt-get update >&2
fi

work="$cache_root/work-$version-$key"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "build-qt-windows: fetching the qt6-base source package" >&2
apt-get source --only-source qt6-base="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)" >&2 \
  || apt-get source --only-source qt6-base >&2
src="$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'qt6-base-*' | head -n1)"
[ -n "$src" ] || { echo "build-qt-windows: no source folder" >&2; exit 1; }

echo "build-qt-windows: configuring into $prefix" >&2
cmake -G Ninja -S "$src" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  "${qt_options[@]}" >&2
echo "build-qt-windows: building (about 20 minutes on two cores)" >&2
cmake --build "$work/build" -j"$(nproc)" >&2
rm -rf "$prefix"
cmake --install "$work/build" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
