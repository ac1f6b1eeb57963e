"""Docstrings from the modules' own help files, with the examples in Python.

The help text is read from the help file each module ships for Octave, so
the two cannot drift; only its example is replaced by the Python one below,
which the tests run as doctests.
"""
from pathlib import Path

_HELP_DIR = Path(__file__).parent / "help"

_EXAMPLES = {
    "gridmass": """
    In Python: h0, h1, h2 = orbitkit.gridmass(points, sizes, *,
    workers=None), a named tuple.
    >>> import numpy as np, orbitkit
    >>> x = np.random.default_rng(1).random((10000, 2))   # fills the square: D0 = 2
    >>> h0 = orbitkit.gridmass(x, [8, 16, 32]).h0
    >>> d0 = -np.diff(h0[:, 1]) / np.diff(np.log2([8, 16, 32]))
    >>> print(np.round(d0, 2))
    [2. 2.]
""",
    "laginfo": """
    In Python: i = orbitkit.laginfo(series, maxlag, sizes, *, verbose=False,
    workers=None); the progress lines go to sys.stdout with verbose=True.
    >>> import numpy as np, orbitkit
    >>> x = np.empty(10000); x[0] = 0.3
    >>> for t in range(1, 10000): x[t] = 4 * x[t - 1] * (1 - x[t - 1])
    >>> r = np.empty(10000); r[np.argsort(x)] = np.arange(10000) / 10000   # ranks in [0, 1)
    >>> i = orbitkit.laginfo(r, 10, [16, 64])
    >>> i.shape
    (11, 2)
""",
    "qspectrum": """
    In Python: d, moments, model = orbitkit.qspectrum(distances, gammas,
    kmin_low, kmin_high, kmax, *, workers=None), a named tuple.
    >>> import numpy as np, orbitkit
    >>> rng = np.random.default_rng(2)
    >>> d = np.sort(rng.random((500, 1)) * np.arange(1, 21) / 20, axis=1)   # grows like k
    >>> dims = orbitkit.qspectrum(d, [-2, 0, 2], 1, 5, 20).dims
    >>> dims.shape
    (3, 5)
""",
    "delaymatrix": """
    In Python: e, pmax = orbitkit.delaymatrix(x, dims, delays=None,
    shifts=None), a named tuple; DIMS, DELAYS and SHIFTS as 1-D arrays or
    lists; None stands for the defaults.
    >>> import numpy as np, orbitkit
    >>> x = np.arange(1.0, 11.0)
    >>> e, pmax = orbitkit.delaymatrix(x, 3, 2)
    >>> e[[0, -1]], pmax
    (array([[5., 3., 1.],
           [9., 7., 5.]]), 5.0)
    >>> orbitkit.delaymatrix(np.column_stack([x, -x]), [2, 1], [1, 1], 1).embedding[0]
    array([ 2.,  1., -3.])
""",
    "histinfo": """
    In Python: h = orbitkit.histinfo(a, *, workers=None), a float; a 1-D array is one row.
    >>> import numpy as np, orbitkit
    >>> orbitkit.histinfo([0, 0, 1, 1]) == np.log(2)                  # two classes of two
    True
""",
    "knotinterp": """
    In Python: yy = orbitkit.knotinterp(x, y, xx, *, workers=None), 1-D
    for a 1-D XX.
    >>> import numpy as np, orbitkit
    >>> x = np.arange(0, 3.5, 0.5)
    >>> yy = orbitkit.knotinterp(x, x**3 - 2*x, [-0.5, 1.25, 4])
    >>> print(np.round(yy, 6))                                   # equals t**3 - 2*t
    [ 0.875 -0.546875 56.      ]
""",
    "slopeinterp": """
    In Python: yy = orbitkit.slopeinterp(x, y, xx, *, workers=None), 1-D
    for a 1-D XX.
    >>> import numpy as np, orbitkit
    >>> yy = orbitkit.slopeinterp(np.arange(6.0), [0, 0, 0, 1, 1, 1], np.arange(0, 5.25, 0.25))
    >>> bool(yy.min() == 0 and yy.max() == 1)                    # no overshoot at the step
    True
""",
    "smoothwin": """
    In Python: y = orbitkit.smoothwin(x, window, *, workers=None), window
    the length L or the weights W; a 1-D X is one signal.
    >>> import numpy as np, orbitkit
    >>> t = np.arange(200) / 200
    >>> x = np.sin(2 * np.pi * t) + 0.2 * np.random.default_rng(3).standard_normal(200)
    >>> y = orbitkit.smoothwin(x, window=9)                # plain average over 9 samples
    >>> z = orbitkit.smoothwin(x, [1, 2, 3, 2, 1])         # triangular weights
    >>> y.shape, z.shape
    ((200,), (200,))
""",
    "gainrider": """
    In Python: y = orbitkit.gainrider(x, tau, limit, threshold).
    >>> import numpy as np, orbitkit
    >>> t = np.arange(4000.0)
    >>> x = np.sin(t / 10) * np.r_[np.full(2000, 0.01), np.ones(2000)]
    >>> y = orbitkit.gainrider(x, [50, 50], 4, 1e-3)       # 100x louder in, about 3x out
    >>> y.shape
    (4000,)
""",
    "foldmap": """
    In Python: y = orbitkit.foldmap(n, params), shape (n, 2); each limited
    sample warns (RuntimeWarning).
    >>> import orbitkit
    >>> y = orbitkit.foldmap(5000, [-1.4, 0.3, 0, 0])
    >>> y.shape
    (5000, 2)
""",
    "peakiter": """
    In Python: x = orbitkit.peakiter(n, params), shape (n, 1).
    >>> import orbitkit
    >>> x = orbitkit.peakiter(2000, [0.1, 1.5, 0.99, 0.3])
    >>> x.shape
    (2000, 1)
""",
    "baker": """
    In Python: y = orbitkit.baker(n, params), shape (n, 2).
    >>> import orbitkit
    >>> y = orbitkit.baker(20000, [0.4, 0.3, 0.45, 0.1, 0.2])
    >>> y.shape
    (20000, 2)
""",
    "twistgen": """
    In Python: u = orbitkit.twistgen(n), shape (n, 1). The seed chain starts
    afresh when the package is imported.
    >>> import orbitkit
    >>> x = orbitkit.twistgen(5)
    >>> y = orbitkit.twistgen(5)                           # five others: the seed has moved on
    >>> x.shape, bool((x != y).all())
    ((5, 1), True)
""",
    "termset": """
    In Python: e = orbitkit.termset(d, maxgrad), shape (d, number of terms).
    >>> import numpy as np, orbitkit
    >>> e = orbitkit.termset(3, 2)                         # 10 monomials of 3 variables
    >>> x = np.random.default_rng(4).random((100, 3))
    >>> model = np.prod(x[:, :, None] ** e[None, :, :], axis=1)   # one column per term
    >>> model.shape
    (100, 10)
""",
    "neardist": """
    In Python: d, i = orbitkit.neardist(points, k, w=0, refs=None, p=2, *,
    workers=None), a
    named tuple (distances, indices); refs and indices count from 0.
    >>> import numpy as np, orbitkit
    >>> x = orbitkit.delaymatrix(orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0], 2, 1).embedding
    >>> d, i = orbitkit.neardist(x, 8, w=10)               # 8 neighbours, window 10
    >>> d.shape, bool((abs(i - np.arange(len(x))[:, None]) > 10).all())
    ((19998, 8), True)
    >>> dims = orbitkit.qspectrum(d, [-1, 0, 1], 1, 2, 8).dims
    >>> bool(abs(dims - 1.2).max() < 0.2)
    True
""",
    "corrsum": """
    In Python: c, n = orbitkit.corrsum(points, radii, w=0, p=2, *,
    workers=None), a named
    tuple (C, n), 1-D for 1-D radii.
    >>> import numpy as np, orbitkit
    >>> xy = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])
    >>> r = 2.0 ** np.arange(-10, -3)
    >>> c, n = orbitkit.corrsum(xy, r, w=10)
    >>> slopes = np.diff(np.log(c)) / np.diff(np.log(r))
    >>> bool(abs(slopes - 1.2).max() < 0.15)
    True
""",
    "embeddim": """
    In Python: fnn, e1, e2 = orbitkit.embeddim(x, mmax, tau=1, w=0,
    rtol=10.0, atol=2.0, *, workers=None), a named tuple of 1-D arrays of mmax values.
    >>> import numpy as np, orbitkit
    >>> x = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0]
    >>> fnn, e1, e2 = orbitkit.embeddim(x, 4, w=10)
    >>> int(np.argmax(fnn < 0.01)) + 1                    # 2 delay coordinates
    2
""",
    "lyapcurve": """
    In Python: s, n = orbitkit.lyapcurve(points, steps, k=1, w=0, refs=None,
    p=2, *, workers=None), a named tuple (curve, counts) of 1-D arrays of steps + 1 values;
    refs count from 0.
    >>> import numpy as np, orbitkit
    >>> x = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0]
    >>> s, n = orbitkit.lyapcurve(orbitkit.delaymatrix(x, 2, 1).embedding, 12, w=10)
    >>> slope = np.polyfit(np.arange(1, 9), s[1:9], 1)[0]
    >>> bool(abs(slope - 0.419) < 0.02)                   # the largest exponent
    True
""",
    "textmatrix": """
    In Python: v = orbitkit.textmatrix(filename, *, workers=None), a str
    or path; a file
    without numbers writes its line to sys.stderr and gives None.
    >>> import os, tempfile, orbitkit
    >>> fd, f = tempfile.mkstemp(suffix=".txt")
    >>> _ = os.write(fd, b"# x y\\n1 2\\n3,4\\n5;6\\n"); os.close(fd)
    >>> orbitkit.textmatrix(f).reshape(-1, 2)
    array([[1., 2.],
           [3., 4.],
           [5., 6.]])
    >>> os.remove(f)
""",
}


def help_text(name):
    """The module's help file as plain text, with the Python call after the
    Octave calls and the Python example in place of the Octave one."""
    lines = (_HELP_DIR / f"{name}.m").read_text().splitlines()
    text = [line[1:] if line.startswith("%") else line for line in lines]
    python = _EXAMPLES[name].strip("\n").splitlines()
    first_prompt = next(k for k, line in enumerate(python) if line.lstrip().startswith(">>>"))
    calls_end = text.index("")
    start = next(k for k, line in enumerate(text) if line.strip() == "Example:")
    end = next(k for k in range(start + 1, len(text))
               if not text[k].strip() or text[k].strip().startswith("See also"))
    return "\n".join(text[:calls_end] + [line[1:] for line in python[:first_prompt]]
                     + text[calls_end:start + 1] + [" " + line for line in python[first_prompt:]]
                     + text[end:]) + "\n"


def attach_help(namespace):
    for name in _EXAMPLES:
        namespace[name].__doc__ = help_text(name)
