#!/usr/bin/env bash
# Installs the Python package the way users do (README: a virtual
# environment that sees Debian's NumPy, then pip install --no-build-isolation)
# into a fresh environment under build-python/, and runs its tests from
# outside the source tree, so that they import the installed package. The
# comparison with Octave calls the Octave modules in build/toolbox; they are
# built first when missing.
#
#   bash scripts/python.sh           install and test
#   bash scripts/python.sh install   install only, as the demo does
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
python=/usr/bin/python3  # Debian's, which sees Debian's NumPy, SciPy and pytest

# From scratch: setuptools would not see a changed module behind the
# unchanged file that includes it.
rm -rf build-python
venv=build-python/venv
"$python" -m venv --system-site-packages "$venv"
ORBITKIT_BUILD_JOBS=$(nproc) "$venv/bin/pip" install --quiet --no-build-isolation . 2>&1 |
  { grep -v -e '_BetaConfiguration' -e 'warnings.warn(msg, _BetaConfiguration)' || true; }

[ "${1:-}" = install ] && exit 0

[ -d build/toolbox ] || bash scripts/build.sh >/dev/null
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
# Any exit status but 0 fails, also 5: no test collected.
ORBITKIT_OCTAVE_TOOLBOX="$root/build/toolbox" PYTHONDONTWRITEBYTECODE=1 \
  timeout 900 "$root/$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/python/tests"
