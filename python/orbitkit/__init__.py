"""orbitkit: nonlinear and chaotic time-series analysis, exact and
reproducible bit for bit.

Nineteen compiled modules, the same code that serves Octave and MATLAB, with
the same names and inputs in the same order, positional or by keyword
(the help's names in snake_case). Inputs are anything numpy.asarray reads as
float64 (textmatrix takes a file name). A 1-D array of n values is n
samples: one signal or series (a column) for the filters, the
interpolators, delaymatrix, laginfo, gridmass, the neighbour modules and
embeddim; n one-value observations (a 1 x n row) for histinfo; a row of
parameters elsewhere. Row numbers count from 0 (refs and indices). A 2-D
array of shape (M, N) is the host's M x N matrix. Results are float64 arrays
of the host's shapes, 1-D when the data given was 1-D and the result is a
vector, and a float when 1 x 1. Modules that use threads take workers=, as
SciPy does: None follows OMP_NUM_THREADS, else every core; -1 every core;
n >= 1 n threads, for that call only. laginfo prints its progress lines only
with verbose=True. Refused calls raise orbitkit.Error with the module's
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


def _call(module, *inputs, workers=None):
    """The compiled module called with the inputs; workers, when given, sets
    its threads for this call only."""
    if workers is None:
        return module(*inputs)
    return module(*inputs, workers=workers)


def gridmass(points, sizes, *, workers=None):
    return GridmassResult(*_call(_host.gridmass, points, sizes, workers=workers))


def laginfo(series, maxlag, sizes, *, verbose=False, workers=None):
    if workers is None:
        return _host.laginfo(series, maxlag, sizes, verbose=verbose)
    return _host.laginfo(series, maxlag, sizes, verbose=verbose, workers=workers)


def qspectrum(distances, gammas, kmin_low, kmin_high, kmax, *, workers=None):
    return QspectrumResult(*_call(_host.qspectrum, distances, gammas, kmin_low, kmin_high, kmax,
                                  workers=workers))


def delaymatrix(x, dims, delays=None, shifts=None):
    if shifts is not None:
        if delays is None:  # all 1, one per series
            delays = numpy.ones(numpy.size(dims))
        return DelaymatrixResult(*_host.delaymatrix(x, dims, delays, shifts))
    if delays is not None:
        return DelaymatrixResult(*_host.delaymatrix(x, dims, delays))
    return DelaymatrixResult(*_host.delaymatrix(x, dims))


def histinfo(a, *, workers=None):
    return _call(_host.histinfo, a, workers=workers)


def knotinterp(x, y, xx, *, workers=None):
    return _call(_host.knotinterp, x, y, xx, workers=workers)


def slopeinterp(x, y, xx, *, workers=None):
    return _call(_host.slopeinterp, x, y, xx, workers=workers)


def smoothwin(x, window, *, workers=None):
    return _call(_host.smoothwin, x, window, workers=workers)


def gainrider(x, tau, limit, threshold):
    return _host.gainrider(x, tau, limit, threshold)


def foldmap(n, params):
    return _host.foldmap(n, params)


def peakiter(n, params):
    return _host.peakiter(n, params)


def baker(n, params):
    return _host.baker(n, params)


def twistgen(n):
    return _host.twistgen(n)


def termset(d, maxgrad):
    return _host.termset(d, maxgrad)


def textmatrix(filename, *, workers=None):
    return _call(_host.textmatrix, filename, workers=workers)


def neardist(points, k, w=0, refs=None, p=2, *, workers=None):
    if refs is None:  # every row, in order
        shape = numpy.shape(points)
        refs = numpy.arange(shape[0] if shape else 1, dtype=numpy.float64)
    return NeardistResult(*_call(_host.neardist, points, k, w, refs, p, workers=workers))


def corrsum(points, radii, w=0, p=2, *, workers=None):
    return CorrsumResult(*_call(_host.corrsum, points, radii, w, p, workers=workers))


def embeddim(x, mmax, tau=1, w=0, rtol=10.0, atol=2.0, *, workers=None):
    results = _call(_host.embeddim, x, mmax, tau, w, rtol, atol, workers=workers)
    return EmbeddimResult(*(numpy.ravel(r) for r in results))


def _usable_rows(points, steps):
    """Every row that can be followed `steps` steps; none when steps is not a
    count the module takes (it then says why)."""
    shape = numpy.shape(points)
    try:
        usable = (shape[0] if shape else 1) - float(numpy.ravel(numpy.asarray(steps, float))[0])
    except (TypeError, ValueError, IndexError):
        usable = 0
    return numpy.arange(usable if 0 < usable < 2.0 ** 31 else 0, dtype=numpy.float64)


def lyapcurve(points, steps, k=1, w=0, refs=None, p=2, *, workers=None):
    if refs is None:
        refs = _usable_rows(points, steps)
    results = _call(_host.lyapcurve, points, steps, k, w, refs, p, workers=workers)
    return LyapcurveResult(*(numpy.ravel(r) for r in results))


attach_help(globals())
