#!/usr/bin/env bash
# Builds one fuzz target per module (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the committed seeds in fuzz/corpus/<module>. Usage: fuzz.sh [seconds each]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
bash scripts/setup.sh clang libclang-rt-14-dev

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DTOOLBOX_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null

# Huge requests end with the host's error in the stand-in; the language
# allocator's failure must reach the gateway as an exception, not a report.
export ASAN_OPTIONS=allocator_may_return_null=1
passed=0 failed=0
for target in build-fuzz/*_fuzz; do
  module=$(basename "$target" _fuzz)
  corpus=build-fuzz/corpus/$module
  mkdir -p "$corpus"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -artifact_prefix="build-fuzz/$module-" "$corpus" "fuzz/corpus/$module" \
       >"build-fuzz/$module.log" 2>&1; then
    echo "fuzz $module: $(grep -o 'Done [0-9]* runs' "build-fuzz/$module.log")"
    passed=$((passed + 1))
  else
    echo "fuzz $module: FAILED"; tail -40 "build-fuzz/$module.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
