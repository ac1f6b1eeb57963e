#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer,
#      then under ThreadSanitizer,
#   2. a bounded run of every module's fuzz target (6 seconds each),
#   3. the build through the host's own mex command (make_toolbox.m), of one
#      module of each kind,
#   4. the Octave package, installed into a temporary prefix, every module's
#      help example run from it,
#   5. the Octave tests of the regular build (its C++ tests are those that
#      ran under the sanitizers, at the same optimisation),
#   6. the Python package, installed as users install it, compared with the
#      Octave modules of the regular build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/octave.sh

echo "== C++ tests with sanitizers"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Release -DTOOLBOX_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)" >/dev/null
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)")

echo "== C++ tests with ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Release -DTOOLBOX_TSAN=ON >/dev/null
cmake --build build-tsan -j"$(nproc)" >/dev/null
(cd build-tsan && ctest --output-on-failure -j"$(nproc)")

echo "== Fuzzing every gateway"
bash scripts/fuzz.sh 6

echo "== Build with the host's mex command"
rm -rf build-mex
# Every module compiles in each of the other builds; here one of each kind
# of source: plain, with headers of its own folder, on the neighbour search,
# and with Eigen's headers.
octave_run --eval "make_toolbox('build-mex', {'gridmass', 'histinfo', 'sampen', 'simplex', 'smap'}); addpath('build-mex'); assert(gridmass([0 0; 1 1], 2), -log(2)/0.69314718055995*[1 1]); assert(smap((1:20)', 1)(1, 1), 2); disp('mex build works')"

echo "== Octave package"
package=$(bash scripts/package.sh)
prefix=$(mktemp -d)
# pkg install runs make in the package's source folder: on every core.
MAKEFLAGS=-j"$(nproc)" octave_run --eval "pkg prefix $prefix $prefix; pkg local_list $prefix/octave_packages; pkg install $package; pkg load orbitkit; addpath('tests'); check_help; disp('package installs; all modules work')"
rm -rf "$prefix"

echo "== Regular build: Octave tests"
# The benchmarks are built by hand, to measure: not here.
TOOLBOX_BENCHMARKS=OFF TOOLBOX_CXX_TESTS=OFF bash scripts/build.sh >/dev/null
(cd build && ctest --output-on-failure -j"$(nproc)")

echo "== Python package"
bash scripts/python.sh
