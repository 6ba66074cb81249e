#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing. The package
# lists are read again (apt-get update) only when one of them is not in them.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
for p in "${missing[@]}"; do
  if ! apt-cache policy "$p" 2>/dev/null | grep -q 'Candidate: [^(]'; then
    $sudo apt-get update
    break
  fi
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
