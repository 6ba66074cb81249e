#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, ASan and UBSan into
# build-fuzz/ and runs each for the given seconds (default 60), one after the
# other, from the seed corpus in tests/fuzz/corpus/<target>/. New inputs go to
# build-fuzz/corpus/<target>/, a crash to build-fuzz/findings/<target>/.
# Exits non-zero when a target finds a crash or a broken rule.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
jobs=2

packages=(clang-14 libclang-rt-14-dev cmake make qt6-base-dev libgl-dev)
scripts/install-packages.sh "${packages[@]}"

targets=(fuzz_settings fuzz_reply_reader fuzz_listing)
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTOLVANE_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build build-fuzz -j"$jobs" --target "${targets[@]}"

# Qt's own allocations are not instrumented; no display is needed. The
# targets' application folder goes into memory when the system has such a
# folder: every input is written to it.
export QT_QPA_PLATFORM=offscreen
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  findings="build-fuzz/findings/$t"
  mkdir -p "$corpus" "$findings"
  echo "=== $t: ${seconds} s"
  if ! "build-fuzz/$t" "$corpus" "tests/fuzz/corpus/$t" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -artifact_prefix="$findings/" -print_final_stats=1; then
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Findings in: ${failed[*]} (inputs in build-fuzz/findings/)"
  exit 1
fi
echo "No findings."
