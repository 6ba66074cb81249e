#!/usr/bin/env bash
# Sets up and builds like scripts/setup.sh, then makes the Debian package
# build/tolvane_<version>_<arch>.deb and prints its path. lintian, when it is
# installed, checks the package (apt-get install lintian; nothing else needs it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
(cd build && cpack -G DEB >&2)
deb="$(ls -t build/tolvane_*.deb | head -n1)"
if command -v lintian >/dev/null; then
  lintian --info "$deb" >&2 || true
fi
echo "$deb"
