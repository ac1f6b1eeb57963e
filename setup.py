"""Builds the Python package orbitkit: one extension holding every module's
gateway, compiled from the same sources as the Octave modules, and the help
files beside it. Metadata is in pyproject.toml; install with

    pip install --no-build-isolation .
"""
import os
import shutil
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension
from setuptools import setup
from setuptools.command.build_py import build_py

MODULES = ["gridmass", "laginfo", "qspectrum", "delaymatrix", "histinfo",
           "knotinterp", "slopeinterp", "smoothwin", "gainrider", "foldmap",
           "peakiter", "baker", "twistgen", "termset", "textmatrix", "neardist", "corrsum",
           "embeddim", "lyapcurve",
           "permen", "dfa", "rqa", "sampen", "apen", "simplex", "smap", "crossmap"]

# Eigen's headers, for smap: EIGEN3_INCLUDE_DIR when set, else where Debian's
# libeigen3-dev puts them.
EIGEN_DIR = os.environ.get("EIGEN3_INCLUDE_DIR", "/usr/include/eigen3")
if not Path(EIGEN_DIR, "Eigen", "SVD").exists():
    raise SystemExit(f"Eigen's headers are not in {EIGEN_DIR}: install libeigen3-dev "
                     "(Debian) or set EIGEN3_INCLUDE_DIR to the folder that holds Eigen/")

# Not build/, where the CMake build lives.
BUILD_DIR = Path("build-python")


def gateway_source(name):
    """A source that compiles the module with its gateway renamed, so that
    all of them link into one extension. Everything else of a module stays
    in its own translation unit, its state included."""
    path = BUILD_DIR / "gateways" / f"{name}.cpp"
    text = f'#define mexFunction orbitkit_{name}_gateway\n#include "{name}/{name}.cpp"\n'
    path.parent.mkdir(parents=True, exist_ok=True)
    if not path.exists() or path.read_text() != text:
        path.write_text(text)
    return str(path)


class build_py_with_help(build_py):
    """Ships each module's help file, the source of its docstring."""

    def run(self):
        super().run()
        target = Path(self.build_lib, "orbitkit", "help")
        target.mkdir(parents=True, exist_ok=True)
        for name in MODULES:
            shutil.copy(Path(name, f"{name}.m"), target)


ParallelCompile("ORBITKIT_BUILD_JOBS", default=2).install()

extension = Pybind11Extension(
    "orbitkit._host",
    ["python/src/host.cpp"] + [gateway_source(name) for name in MODULES],
    include_dirs=["python/include", ".", EIGEN_DIR],
    cxx_std=17,
    # As the Octave build: results are compared bit for bit, so no fused
    # multiply-add and no fast math.
    extra_compile_args=["-O2", "-ffp-contract=off", "-Wall", "-Wextra"],
    extra_link_args=["-pthread"],
)

setup(
    ext_modules=[extension],
    cmdclass={"build_py": build_py_with_help},
    options={"build": {"build_base": str(BUILD_DIR)}},
)
