"""orbitkit: nonlinear and chaotic time-series analysis, exact and
reproducible bit for bit.

Twenty-seven compiled modules, the same code that serves Octave and MATLAB, with
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
from __future__ import annotations  # annotations stay as written: signatures read short

from os import PathLike
from typing import Any, NamedTuple, Optional

import numpy
import numpy.typing
from numpy.typing import ArrayLike, NDArray

from . import _host
from ._help import attach_help
from ._host import Error

__all__ = ["Error", "gridmass", "laginfo", "qspectrum", "delaymatrix", "histinfo",
           "knotinterp", "slopeinterp", "smoothwin", "gainrider", "foldmap",
           "peakiter", "baker", "twistgen", "termset", "textmatrix", "neardist", "corrsum",
           "embeddim", "lyapcurve", "sampen", "apen", "permen", "dfa", "rqa", "simplex",
           "smap", "crossmap", "GridmassResult", "QspectrumResult", "DelaymatrixResult",
           "NeardistResult", "CorrsumResult", "EmbeddimResult", "LyapcurveResult",
           "SampenResult", "PermenResult", "RqaResult", "RqaMeasures", "Skill",
           "SimplexResult", "SmapResult"]

# The functions' annotations are the names written here (ArrayLike for
# arrays, int, float and bool for scalars, "X | None" where None is taken):
# inspect.signature and help() show them so, and type checkers read them.

#: What the modules take: anything numpy.asarray reads as float64.
Data = ArrayLike
#: What they give: float64 arrays (a 1 x 1 result comes as a float, which
#: NumPy takes alike).
Values = NDArray[numpy.float64]
#: A thread count per call, as SciPy's workers=.
Workers = Optional[int]


class GridmassResult(NamedTuple):
    h0: Values
    h1: Values
    h2: Values


class QspectrumResult(NamedTuple):
    dims: Values
    moments: Values
    model: Values


class DelaymatrixResult(NamedTuple):
    embedding: Values
    pmax: float


class NeardistResult(NamedTuple):
    distances: Values
    indices: Values


class CorrsumResult(NamedTuple):
    C: Values
    n: Values


class EmbeddimResult(NamedTuple):
    fnn: Values
    e1: Values
    e2: Values


class LyapcurveResult(NamedTuple):
    curve: Values
    counts: Values


def gridmass(points: ArrayLike, sizes: ArrayLike, *,
             workers: int | None = None) -> GridmassResult:
    return GridmassResult(*_host.gridmass(points, sizes, workers=workers))


def laginfo(series: ArrayLike, maxlag: int, sizes: ArrayLike, *, verbose: bool = False,
            workers: int | None = None) -> NDArray[numpy.float64]:
    return _host.laginfo(series, maxlag, sizes, verbose=verbose, workers=workers)


def qspectrum(distances: ArrayLike, gammas: ArrayLike, kmin_low: int, kmin_high: int, kmax: int,
              *, workers: int | None = None) -> QspectrumResult:
    return QspectrumResult(*_host.qspectrum(distances, gammas, kmin_low, kmin_high, kmax,
                                  workers=workers))


def delaymatrix(x: ArrayLike, dims: ArrayLike, delays: ArrayLike | None = None,
                shifts: ArrayLike | None = None) -> DelaymatrixResult:
    if shifts is not None:
        if delays is None:  # all 1, one per series
            delays = numpy.ones(numpy.size(dims))
        return DelaymatrixResult(*_host.delaymatrix(x, dims, delays, shifts))
    if delays is not None:
        return DelaymatrixResult(*_host.delaymatrix(x, dims, delays))
    return DelaymatrixResult(*_host.delaymatrix(x, dims))


def histinfo(a: ArrayLike, *, workers: int | None = None) -> float:
    return _host.histinfo(a, workers=workers)


def knotinterp(x: ArrayLike, y: ArrayLike, xx: ArrayLike, *,
               workers: int | None = None) -> NDArray[numpy.float64]:
    return _host.knotinterp(x, y, xx, workers=workers)


def slopeinterp(x: ArrayLike, y: ArrayLike, xx: ArrayLike, *,
                workers: int | None = None) -> NDArray[numpy.float64]:
    return _host.slopeinterp(x, y, xx, workers=workers)


def smoothwin(x: ArrayLike, window: ArrayLike, *,
              workers: int | None = None) -> NDArray[numpy.float64]:
    return _host.smoothwin(x, window, workers=workers)


def gainrider(x: ArrayLike, tau: ArrayLike, limit: float,
              threshold: float) -> NDArray[numpy.float64]:
    return _host.gainrider(x, tau, limit, threshold)


def foldmap(n: int, params: ArrayLike) -> NDArray[numpy.float64]:
    return _host.foldmap(n, params)


def peakiter(n: int, params: ArrayLike) -> NDArray[numpy.float64]:
    return _host.peakiter(n, params)


def baker(n: int, params: ArrayLike) -> NDArray[numpy.float64]:
    return _host.baker(n, params)


def twistgen(n: int) -> NDArray[numpy.float64]:
    return _host.twistgen(n)


def termset(d: int, maxgrad: int) -> NDArray[numpy.float64]:
    return _host.termset(d, maxgrad)


def textmatrix(filename: str | bytes | PathLike[str] | PathLike[bytes], *,
               workers: int | None = None) -> NDArray[numpy.float64] | None:
    return _host.textmatrix(filename, workers=workers)


def neardist(points: ArrayLike, k: int, w: int = 0, refs: ArrayLike | None = None,
             p: float = 2, *, workers: int | None = None) -> NeardistResult:
    if refs is None:  # every row, in order
        shape = numpy.shape(points)
        refs = numpy.arange(shape[0] if shape else 1, dtype=numpy.float64)
    return NeardistResult(*_host.neardist(points, k, w, refs, p, workers=workers))


def corrsum(points: ArrayLike, radii: ArrayLike, w: int = 0, p: float = 2, *,
            workers: int | None = None) -> CorrsumResult:
    return CorrsumResult(*_host.corrsum(points, radii, w, p, workers=workers))


def embeddim(x: ArrayLike, mmax: int, tau: int = 1, w: int = 0, rtol: float = 10.0,
             atol: float = 2.0, *, workers: int | None = None) -> EmbeddimResult:
    results = _host.embeddim(x, mmax, tau, w, rtol, atol, workers=workers)
    return EmbeddimResult(*(numpy.ravel(r) for r in results))


def _usable_rows(points: ArrayLike, steps: ArrayLike) -> NDArray[numpy.float64]:
    """Every row that can be followed `steps` steps; none when steps is not a
    count the module takes (it then says why)."""
    shape = numpy.shape(points)
    try:
        usable = (shape[0] if shape else 1) - float(numpy.ravel(numpy.asarray(steps, float))[0])
    except (TypeError, ValueError, IndexError):
        usable = 0
    return numpy.arange(usable if 0 < usable < 2.0 ** 31 else 0, dtype=numpy.float64)


def lyapcurve(points: ArrayLike, steps: int, k: int = 1, w: int = 0,
              refs: ArrayLike | None = None, p: float = 2, *,
              workers: int | None = None) -> LyapcurveResult:
    if refs is None:
        refs = _usable_rows(points, steps)
    results = _host.lyapcurve(points, steps, k, w, refs, p, workers=workers)
    return LyapcurveResult(*(numpy.ravel(r) for r in results))


# ---- complexity of a series -------------------------------------------------


class SampenResult(NamedTuple):
    entropy: Values
    a: Values
    b: Values


def sampen(x: ArrayLike, m: int = 2, r: float | None = None, tau: int = 1, w: int = 0,
           scales: ArrayLike = 1, *, workers: int | None = None) -> SampenResult:
    # r = None: empty, which the module reads as its default, 0.2 sigma.
    results = _host.sampen(x, m, numpy.empty(0) if r is None else r, tau, w, scales,
                           workers=workers)
    return SampenResult(*(numpy.ravel(v) for v in results))


def apen(x: ArrayLike, m: int = 2, r: float | None = None, tau: int = 1, *,
         workers: int | None = None) -> float:
    return _host.apen(x, m, numpy.empty(0) if r is None else r, tau, workers=workers)


class PermenResult(NamedTuple):
    entropy: float
    normalized: float
    counts: Values


def permen(x: ArrayLike, m: int = 3, tau: int = 1, weighted: bool = False, *,
           workers: int | None = None) -> PermenResult:
    entropy, normalized, counts = _host.permen(x, m, tau, weighted, workers=workers)
    return PermenResult(entropy, normalized, numpy.ravel(counts))


def dfa(x: ArrayLike, sizes: ArrayLike, order: int = 1, q: ArrayLike = 2, *,
        workers: int | None = None) -> Values:
    F = _host.dfa(x, sizes, order, q, workers=workers)
    if numpy.ndim(q) == 0:  # one moment: one value per size
        return numpy.ravel(F)
    return numpy.reshape(F, (numpy.size(sizes), numpy.size(q)), order="F")


# ---- recurrences ----------------------------------------------------------------


class RqaMeasures(NamedTuple):
    rr: float
    det: float
    l: float  # noqa: E741
    lmax: float
    entr: float
    lam: float
    tt: float
    vmax: float
    recurrences: float


class RqaResult(NamedTuple):
    measures: RqaMeasures
    diagonal: Values
    vertical: Values


def rqa(points: ArrayLike, r: float, w: int = 1, lmin: int = 2, vmin: int = 2,
        p: float = numpy.inf, *, workers: int | None = None) -> RqaResult:
    M, diagonal, vertical = _host.rqa(points, r, w, lmin, vmin, p, workers=workers)
    return RqaResult(RqaMeasures(*(float(m) for m in numpy.ravel(M))), numpy.ravel(diagonal),
                     numpy.ravel(vertical))


# ---- forecasting: simplex projection, S-map and cross mapping ------------------


class Skill(NamedTuple):
    rho: float
    mae: float
    rmse: float


class SimplexResult(NamedTuple):
    predictions: Values
    skill: Skill


def _rows_or_default(rows: ArrayLike | None) -> ArrayLike:
    """Row numbers as given, or none: the module then takes its default."""
    return numpy.zeros(0) if rows is None else rows


def _skill(values: Any) -> Skill:
    return Skill(*(float(v) for v in numpy.ravel(values)))


def simplex(x: ArrayLike, e: int, tau: int = 1, tp: int = 1, w: int = 0,
            lib: ArrayLike | None = None, pred: ArrayLike | None = None,
            k: int | None = None, *, workers: int | None = None) -> SimplexResult:
    inputs = [x, e, tau, tp, w, _rows_or_default(lib), _rows_or_default(pred)]
    if k is not None:  # else E + 1
        inputs.append(k)
    predictions, skill = _host.simplex(*inputs, workers=workers)
    return SimplexResult(predictions, _skill(skill))


class SmapResult(NamedTuple):
    predictions: Values
    skill: Skill
    coefficients: Values


def smap(x: ArrayLike, e: int, tau: int = 1, tp: int = 1, theta: float = 0.0, w: int = 0,
         lib: ArrayLike | None = None, pred: ArrayLike | None = None, *,
         workers: int | None = None) -> SmapResult:
    predictions, skill, coefficients = _host.smap(x, e, tau, tp, theta, w,
                                                  _rows_or_default(lib), _rows_or_default(pred),
                                                  workers=workers)
    return SmapResult(predictions, _skill(skill), coefficients)


def crossmap(x: ArrayLike, y: ArrayLike, e: int, tau: int = 1, sizes: ArrayLike | None = None,
             samples: int = 100, seed: int | None = 0, w: int = 0, tp: int = 0, *,
             workers: int | None = None) -> Values:
    if sizes is None:
        raise TypeError("crossmap() missing required argument: 'sizes'")
    return _host.crossmap(x, y, e, tau, sizes, samples, numpy.zeros(0) if seed is None else seed,
                          w, tp, workers=workers)


attach_help(globals())
