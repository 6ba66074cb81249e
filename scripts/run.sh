#!/usr/bin/env bash
# Sets up, builds and starts the monitor: the window, or without a display the
# monitor without a window (tolvane-service). Arguments go to the program, for
# example --dir FOLDER.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): starting the monitor without a window."
  echo "It stays in the foreground and mails at the configured times; what a window would show goes to standard error. Ctrl+C ends it."
  exec build/tolvane-service "$@"
fi
exec build/tolvane "$@"
