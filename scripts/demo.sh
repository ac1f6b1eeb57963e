#!/usr/bin/env bash
# Installs what is missing, builds the toolbox and runs the demo tour.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
octave-cli --no-init-file --quiet --eval "addpath('build/toolbox'); addpath('demo'); tour"
