#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ "${TOLVANE_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "TOLVANE_SKIP_WINDOWS=1: the Windows check is skipped."
fi
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$(nproc)"
# The Windows code of the platform layer, cross-built and run under Wine.
if [ "${TOLVANE_SKIP_WINDOWS:-0}" != 1 ]; then
  scripts/windows-check.sh
fi
