#!/usr/bin/env bash
# Builds one fuzz target per module (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the committed seeds in fuzz/corpus/<module>, as many at once as there are
# cores. Usage: fuzz.sh [seconds each]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
bash scripts/setup.sh clang libclang-rt-14-dev

CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DTOOLBOX_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null

# Huge requests end with the host's error in the stand-in; the language
# allocator's failure must reach the gateway as an exception, not a report.
export ASAN_OPTIONS=allocator_may_return_null=1
# One target per core at a time; each writes its own log, read in order after.
fuzz_one() {
  local target=$1 seconds=$2 module
  module=$(basename "$target" _fuzz)
  mkdir -p "build-fuzz/corpus/$module"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -artifact_prefix="build-fuzz/$module-" "build-fuzz/corpus/$module" "fuzz/corpus/$module" \
       >"build-fuzz/$module.log" 2>&1; then
    echo ok >"build-fuzz/$module.status"
  else
    echo failed >"build-fuzz/$module.status"
  fi
}
export -f fuzz_one
rm -f build-fuzz/*.status
ls build-fuzz/*_fuzz | xargs -P "$(nproc)" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$seconds"

passed=0 failed=0
for target in build-fuzz/*_fuzz; do
  module=$(basename "$target" _fuzz)
  if [ "$(cat "build-fuzz/$module.status" 2>/dev/null)" = ok ]; then
    echo "fuzz $module: $(grep -o 'Done [0-9]* runs' "build-fuzz/$module.log")"
    passed=$((passed + 1))
  else
    echo "fuzz $module: FAILED"; tail -40 "build-fuzz/$module.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
