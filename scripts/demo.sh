#!/usr/bin/env bash
# Installs what is missing, builds the toolbox and runs the demo tour, which
# prints its table of estimates and writes its figure to build/tour.png
# (plotted with gnuplot, no display needed); then the Python tour, the same
# tour from Python with the package installed as users install it, which
# prints the same table and writes build/tour-python.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh gnuplot-nox python3-matplotlib
bash scripts/build.sh >/dev/null
source scripts/octave.sh
octave_run --eval "addpath('build/toolbox'); addpath('demo'); tour('build/tour.png')"
bash scripts/python.sh install
build-python/venv/bin/python demo/tour.py build/tour-python.png
