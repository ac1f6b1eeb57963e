"""orbitkit: nonlinear and chaotic time-series analysis, exact and
reproducible bit for bit.

Nineteen compiled modules, the same code that serves Octave and MATLAB, with
the same names and positional inputs. Inputs are anything numpy.asarray
reads as float64 (textmatrix takes a file name). A 1-D array of n values is
n samples: one signal or series (a column) for the filters, the
interpolators, delaymatrix, laginfo, gridmass, the neighbour modules and
embeddim; n
one-value observations (a 1 x n row) for histinfo; a row of parameters
elsewhere. Row numbers count from 0 (refs and indices). A 2-D array of
shape (M, N) is the host's M x N matrix. Results are float64 arrays of the
host's shapes, 1-D when the data given was 1-D and the result is a vector,
and a float when 1 x 1. Refused calls raise orbitkit.Error with the module's
message; help(orbitkit.<name>) describes each module.
"""
from collections import namedtuple

import numpy

from . import _host
from ._help import attach_help
from ._host import Error

__all__ = ["Error", "gridmass", "laginfo", "qspectrum", "delaymatrix", "histinfo",
           "knotinterp", "slopeinterp", "smoothwin", "gainrider", "foldmap",
           "peakiter", "baker", "twistgen", "termset", "textmatrix", "neardist", "corrsum",
           "embeddim", "lyapcurve"]

GridmassResult = namedtuple("GridmassResult", "h0 h1 h2")
QspectrumResult = namedtuple("QspectrumResult", "dims moments model")
DelaymatrixResult = namedtuple("DelaymatrixResult", "embedding pmax")
NeardistResult = namedtuple("NeardistResult", "distances indices")
CorrsumResult = namedtuple("CorrsumResult", "C n")
EmbeddimResult = namedtuple("EmbeddimResult", "fnn e1 e2")
LyapcurveResult = namedtuple("LyapcurveResult", "curve counts")


def gridmass(*inputs):
    return GridmassResult(*_host.gridmass(*inputs))


def laginfo(*inputs):
    return _host.laginfo(*inputs)


def qspectrum(*inputs):
    return QspectrumResult(*_host.qspectrum(*inputs))


def delaymatrix(*inputs):
    return DelaymatrixResult(*_host.delaymatrix(*inputs))


def histinfo(*inputs):
    return _host.histinfo(*inputs)


def knotinterp(*inputs):
    return _host.knotinterp(*inputs)


def slopeinterp(*inputs):
    return _host.slopeinterp(*inputs)


def smoothwin(*inputs):
    return _host.smoothwin(*inputs)


def gainrider(*inputs):
    return _host.gainrider(*inputs)


def foldmap(*inputs):
    return _host.foldmap(*inputs)


def peakiter(*inputs):
    return _host.peakiter(*inputs)


def baker(*inputs):
    return _host.baker(*inputs)


def twistgen(*inputs):
    return _host.twistgen(*inputs)


def termset(*inputs):
    return _host.termset(*inputs)


def textmatrix(*inputs):
    return _host.textmatrix(*inputs)


def neardist(points, k, w=0, refs=None, p=2):
    if refs is None:  # every row, in order
        shape = numpy.shape(points)
        refs = numpy.arange(shape[0] if shape else 1, dtype=numpy.float64)
    return NeardistResult(*_host.neardist(points, k, w, refs, p))


def corrsum(points, radii, w=0, p=2):
    return CorrsumResult(*_host.corrsum(points, radii, w, p))


def embeddim(x, mmax, tau=1, w=0, rtol=10.0, atol=2.0):
    return EmbeddimResult(*(numpy.ravel(r) for r in _host.embeddim(x, mmax, tau, w, rtol, atol)))


def _usable_rows(points, steps):
    """Every row that can be followed `steps` steps; none when steps is not a
    count the module takes (it then says why)."""
    shape = numpy.shape(points)
    try:
        usable = (shape[0] if shape else 1) - float(numpy.ravel(numpy.asarray(steps, float))[0])
    except (TypeError, ValueError, IndexError):
        usable = 0
    return numpy.arange(usable if 0 < usable < 2.0 ** 31 else 0, dtype=numpy.float64)


def lyapcurve(points, steps, k=1, w=0, refs=None, p=2):
    if refs is None:
        refs = _usable_rows(points, steps)
    return LyapcurveResult(*(numpy.ravel(r) for r in _host.lyapcurve(points, steps, k, w, refs, p)))


attach_help(globals())
