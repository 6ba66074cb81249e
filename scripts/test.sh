#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the Linux build and its tests,
# then the Windows stage (scripts/test-windows.sh: Qt for Windows from the
# cache or built, the Windows build, its tests under Wine, the end-to-end runs
# and the installer). TOLVANE_SKIP_WINDOWS=1 skips the Windows stage.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
scripts/setup.sh
echo "time: Linux set-up and build: $((SECONDS - started)) s"
stage=$SECONDS
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$(nproc)"
echo "time: Linux tests: $((SECONDS - stage)) s"
if [ "${TOLVANE_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "TOLVANE_SKIP_WINDOWS=1: the Windows stage is skipped."
else
  stage=$SECONDS
  scripts/test-windows.sh
  echo "time: Windows stage: $((SECONDS - stage)) s"
fi
echo "time: whole run: $((SECONDS - started)) s"
