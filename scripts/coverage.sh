#!/usr/bin/env bash
# Line and branch coverage of the program by the Linux test suite: builds with
# --coverage into build-cov/, runs the whole CTest suite there (the X server
# runs of the real program included; they need root for port 25 and skip
# without it) and prints gcovr's figures for the program's own sources, the
# tests left out. Not part of scripts/test.sh. Extra arguments go to ctest
# (-R NAME to look at one test's share).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --coverage-tools

# 終了 ends the program with _Exit, which skips the exit handler that writes
# the counts: a preloaded _Exit ends by exit() instead, which runs it.
mkdir -p build-cov
printf '#include <stdlib.h>\nvoid _Exit(int status) { exit(status); }\n' >build-cov/gcov-exit.c
cc -shared -fPIC -o build-cov/gcov-exit.so build-cov/gcov-exit.c

# -O0 keeps one line of source one line of the report.
cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage -O0" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage
cmake --build build-cov -j"$(nproc)"

# Counts of an earlier run would add to this one's.
find build-cov -name '*.gcda' -delete
status=0
LD_PRELOAD="$PWD/build-cov/gcov-exit.so" QT_QPA_PLATFORM=offscreen \
  ctest --test-dir build-cov --output-on-failure -j"$(nproc)" "$@" || status=$?

# Branches that only exceptions take (every call that may throw has one) and
# those the compiler adds where no source decides are left out: the figures
# are about the program's own decisions. Only build-cov/ is searched for
# counts: a Wine prefix's drive Z: under build-windows/ leads to the whole
# file system.
gcovr --root . --object-directory build-cov \
  --filter '(settings|report|mail|engine|platform|app|dialogs|tools)/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --print-summary --output build-cov/coverage.txt build-cov
echo "Per file: build-cov/coverage.txt"
exit "$status"
