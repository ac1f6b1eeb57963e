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
from os import PathLike
from typing import Any, Callable, NamedTuple, Optional, Union

import numpy
import numpy.typing

from . import _host
from ._help import attach_help
from ._host import Error

__all__ = ["Error", "gridmass", "laginfo", "qspectrum", "delaymatrix", "histinfo",
           "knotinterp", "slopeinterp", "smoothwin", "gainrider", "foldmap",
           "peakiter", "baker", "twistgen", "termset", "textmatrix", "neardist", "corrsum",
           "embeddim", "lyapcurve", "simplex", "smap", "crossmap", "Skill", "SimplexResult",
           "SmapResult",
           "GridmassResult", "QspectrumResult", "DelaymatrixResult",
           "NeardistResult", "CorrsumResult", "EmbeddimResult", "LyapcurveResult"]

#: What the modules take: anything numpy.asarray reads as float64.
Data = numpy.typing.ArrayLike
#: What they give: float64 arrays (a 1 x 1 result comes as a float, which
#: NumPy takes alike).
Values = numpy.typing.NDArray[numpy.float64]
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


def _call(module: Callable[..., Any], *inputs: Any, workers: Workers = None,
          **options: Any) -> Any:
    """The compiled module called with the inputs and options; workers, when
    given, sets its threads for this call only."""
    if workers is not None:
        options["workers"] = workers
    return module(*inputs, **options)


def gridmass(points: Data, sizes: Data, *, workers: Workers = None) -> GridmassResult:
    return GridmassResult(*_call(_host.gridmass, points, sizes, workers=workers))


def laginfo(series: Data, maxlag: Data, sizes: Data, *, verbose: bool = False,
            workers: Workers = None) -> Values:
    return _call(_host.laginfo, series, maxlag, sizes, verbose=verbose, workers=workers)


def qspectrum(distances: Data, gammas: Data, kmin_low: Data, kmin_high: Data, kmax: Data, *,
              workers: Workers = None) -> QspectrumResult:
    return QspectrumResult(*_call(_host.qspectrum, distances, gammas, kmin_low, kmin_high, kmax,
                                  workers=workers))


def delaymatrix(x: Data, dims: Data, delays: Optional[Data] = None,
                shifts: Optional[Data] = None) -> DelaymatrixResult:
    if shifts is not None:
        if delays is None:  # all 1, one per series
            delays = numpy.ones(numpy.size(dims))
        return DelaymatrixResult(*_host.delaymatrix(x, dims, delays, shifts))
    if delays is not None:
        return DelaymatrixResult(*_host.delaymatrix(x, dims, delays))
    return DelaymatrixResult(*_host.delaymatrix(x, dims))


def histinfo(a: Data, *, workers: Workers = None) -> float:
    return _call(_host.histinfo, a, workers=workers)


def knotinterp(x: Data, y: Data, xx: Data, *, workers: Workers = None) -> Values:
    return _call(_host.knotinterp, x, y, xx, workers=workers)


def slopeinterp(x: Data, y: Data, xx: Data, *, workers: Workers = None) -> Values:
    return _call(_host.slopeinterp, x, y, xx, workers=workers)


def smoothwin(x: Data, window: Data, *, workers: Workers = None) -> Values:
    return _call(_host.smoothwin, x, window, workers=workers)


def gainrider(x: Data, tau: Data, limit: Data, threshold: Data) -> Values:
    return _host.gainrider(x, tau, limit, threshold)


def foldmap(n: Data, params: Data) -> Values:
    return _host.foldmap(n, params)


def peakiter(n: Data, params: Data) -> Values:
    return _host.peakiter(n, params)


def baker(n: Data, params: Data) -> Values:
    return _host.baker(n, params)


def twistgen(n: Data) -> Values:
    return _host.twistgen(n)


def termset(d: Data, maxgrad: Data) -> Values:
    return _host.termset(d, maxgrad)


def textmatrix(filename: Union[str, bytes, "PathLike[str]", "PathLike[bytes]"], *,
               workers: Workers = None) -> Optional[Values]:
    return _call(_host.textmatrix, filename, workers=workers)


def neardist(points: Data, k: Data, w: Data = 0, refs: Optional[Data] = None, p: Data = 2, *,
             workers: Workers = None) -> NeardistResult:
    if refs is None:  # every row, in order
        shape = numpy.shape(points)
        refs = numpy.arange(shape[0] if shape else 1, dtype=numpy.float64)
    return NeardistResult(*_call(_host.neardist, points, k, w, refs, p, workers=workers))


def corrsum(points: Data, radii: Data, w: Data = 0, p: Data = 2, *,
            workers: Workers = None) -> CorrsumResult:
    return CorrsumResult(*_call(_host.corrsum, points, radii, w, p, workers=workers))


def embeddim(x: Data, mmax: Data, tau: Data = 1, w: Data = 0, rtol: Data = 10.0, atol: Data = 2.0,
             *, workers: Workers = None) -> EmbeddimResult:
    results = _call(_host.embeddim, x, mmax, tau, w, rtol, atol, workers=workers)
    return EmbeddimResult(*(numpy.ravel(r) for r in results))


def _usable_rows(points: Data, steps: Data) -> Values:
    """Every row that can be followed `steps` steps; none when steps is not a
    count the module takes (it then says why)."""
    shape = numpy.shape(points)
    try:
        usable = (shape[0] if shape else 1) - float(numpy.ravel(numpy.asarray(steps, float))[0])
    except (TypeError, ValueError, IndexError):
        usable = 0
    return numpy.arange(usable if 0 < usable < 2.0 ** 31 else 0, dtype=numpy.float64)


def lyapcurve(points: Data, steps: Data, k: Data = 1, w: Data = 0, refs: Optional[Data] = None,
              p: Data = 2, *, workers: Workers = None) -> LyapcurveResult:
    if refs is None:
        refs = _usable_rows(points, steps)
    results = _call(_host.lyapcurve, points, steps, k, w, refs, p, workers=workers)
    return LyapcurveResult(*(numpy.ravel(r) for r in results))


# ---- forecasting: simplex projection, S-map and cross mapping --------------

from numpy.typing import ArrayLike  # noqa: E402


class Skill(NamedTuple):
    rho: float
    mae: float
    rmse: float


class SimplexResult(NamedTuple):
    predictions: Values
    skill: Skill


def _rows_or_default(rows: "ArrayLike | None") -> "ArrayLike":
    """Row numbers as given, or none: the module then takes its default."""
    return numpy.zeros(0) if rows is None else rows


def _skill(values: Any) -> Skill:
    return Skill(*(float(v) for v in numpy.ravel(values)))


def simplex(x: "ArrayLike", e: int, tau: int = 1, tp: int = 1, w: int = 0,
            lib: "ArrayLike | None" = None, pred: "ArrayLike | None" = None,
            k: "int | None" = None, *, workers: "int | None" = None) -> SimplexResult:
    inputs = [x, e, tau, tp, w, _rows_or_default(lib), _rows_or_default(pred)]
    if k is not None:  # else E + 1
        inputs.append(k)
    predictions, skill = _call(_host.simplex, *inputs, workers=workers)
    return SimplexResult(predictions, _skill(skill))


class SmapResult(NamedTuple):
    predictions: Values
    skill: Skill
    coefficients: Values


def smap(x: "ArrayLike", e: int, tau: int = 1, tp: int = 1, theta: float = 0.0, w: int = 0,
         lib: "ArrayLike | None" = None, pred: "ArrayLike | None" = None, *,
         workers: "int | None" = None) -> SmapResult:
    predictions, skill, coefficients = _call(_host.smap, x, e, tau, tp, theta, w,
                                             _rows_or_default(lib), _rows_or_default(pred),
                                             workers=workers)
    return SmapResult(predictions, _skill(skill), coefficients)


def crossmap(x: "ArrayLike", y: "ArrayLike", e: int, tau: int = 1,
             sizes: "ArrayLike | None" = None, samples: int = 100, seed: "int | None" = 0,
             w: int = 0, tp: int = 0, *, workers: "int | None" = None) -> Values:
    if sizes is None:
        raise TypeError("crossmap() missing required argument: 'sizes'")
    return _call(_host.crossmap, x, y, e, tau, sizes, samples,
                 numpy.zeros(0) if seed is None else seed, w, tp, workers=workers)


attach_help(globals())
