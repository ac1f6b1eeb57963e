#!/usr/bin/env bash
# Builds every module for Octave into build/toolbox, with the C++ tests and
# benchmarks beside them in build/ (TOOLBOX_BENCHMARKS=OFF: without the
# benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOOLBOX_BENCHMARKS="${TOOLBOX_BENCHMARKS:-ON}" >/dev/null
cmake --build build -j"$(nproc)"
