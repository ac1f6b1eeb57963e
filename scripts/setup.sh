#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are
# missing, and any further packages named as arguments. Installing needs
# root; everything already present is left alone.
set -euo pipefail

# The Python package builds against Debian's Python, NumPy and pybind11 and
# installs into a virtual environment; pytest runs its tests. The surrogate
# demo runs on dask's distributed, and mypy checks its annotations; its
# Octave version runs on parcellfun (octave-parallel). smap solves its fits
# with Eigen (libeigen3-dev, header-only).
python_packages=(python3-dev python3-numpy pybind11-dev python3-pybind11 python3-pytest
                 python3-venv python3-setuptools python3-pip python3-wheel
                 python3-distributed mypy)
packages=(g++ cmake make octave liboctave-dev octave-parallel libgtest-dev libbenchmark-dev
          libfast-float-dev libeigen3-dev "${python_packages[@]}" "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this command as root, or install them with apt-get first." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
