#!/usr/bin/env bash
# Sets up, builds and starts the monitor.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): starting on Qt's offscreen platform."
  echo "The monitor stays resident and mails at the configured times; message boxes go to standard error."
  export QT_QPA_PLATFORM=offscreen
fi
exec build/tolvane
