#!/usr/bin/env bash
# Builds every module for Octave into build/toolbox, with the C++ tests and
# benchmarks beside them in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
