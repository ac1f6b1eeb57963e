#!/usr/bin/env bash
# Builds every module for Octave into build/toolbox, with the C++ tests and
# benchmarks beside them in build/ (TOOLBOX_BENCHMARKS=OFF: without the
# benchmarks; TOOLBOX_CXX_TESTS=OFF: without the C++ tests).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOOLBOX_BENCHMARKS="${TOOLBOX_BENCHMARKS:-ON}" \
  -DTOOLBOX_CXX_TESTS="${TOOLBOX_CXX_TESTS:-ON}" >/dev/null
cmake --build build -j"$(nproc)"
