"""Docstrings in numpydoc layout, made from the modules' own help files.

What the help file each module ships for Octave says is read from it, so the
two cannot drift: the summary and description, the inputs and outputs (its
"NAME  description" lines; the Python name is NAME but for case unless the
line names it, as in "X (Python: points)") and the refusals (its "Refused,
with these messages:" list). Kept here is only what Python alone
has: the type and shape of every name in Python terms, a note where Python
differs from the host, and an example that the tests run as doctests.

Two rules hold for every module, with nothing written per module:
- Where the help's prose names an input by a letter (X, K, W...) or by a name
  other than the Python one, the docstring says once, at its top, which
  parameter that is: "Here X is `points`, K is `steps`, R is `refs` (rows
  from 0)". The names come from the help's entries; "(rows from 0)" from a
  Python note that says the parameter's rows count from 0.
- Every public function's signature shows its annotations as written in the
  source (which uses `from __future__ import annotations`): `ArrayLike`,
  `int`, `int | None`, not what they expand to.
"""
import inspect
import re
import textwrap
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple

_HELP_DIR = Path(__file__).parent / "help"

# Per module, "names : type" for every parameter and result, in that order,
# with a note indented below where Python differs; then the example.
_PYTHON = {
    "gridmass": """
        points : array_like, shape (M, N) or (M,)
        sizes : array_like of int
        h0, h1, h2 : ndarray, shape (len(sizes), N)
            1-D, of len(sizes) values, when points is 1-D.

        >>> import numpy as np, orbitkit
        >>> x = np.random.default_rng(1).random((10000, 2))   # fills the square: D0 = 2
        >>> h0 = orbitkit.gridmass(x, [8, 16, 32]).h0
        >>> d0 = -np.diff(h0[:, 1]) / np.diff(np.log2([8, 16, 32]))
        >>> print(np.round(d0, 2))
        [2. 2.]
""",
    "laginfo": """
        series : array_like, shape (L,)
        maxlag : int
        sizes : array_like of int
        verbose : bool
            In Python the progress lines go to sys.stdout, and only when True.
        i : ndarray, shape (maxlag + 1, len(sizes))

        >>> import numpy as np, orbitkit
        >>> x = np.empty(10000); x[0] = 0.3
        >>> for t in range(1, 10000): x[t] = 4 * x[t - 1] * (1 - x[t - 1])
        >>> r = np.empty(10000); r[np.argsort(x)] = np.arange(10000) / 10000   # ranks in [0, 1)
        >>> i = orbitkit.laginfo(r, 10, [16, 64])
        >>> i.shape
        (11, 2)
""",
    "qspectrum": """
        distances : array_like, shape (M, N)
        gammas : array_like
        kmin_low, kmin_high, kmax : int
        dims : ndarray, shape (len(gammas), kmin_high - kmin_low + 1)
        moments : ndarray, shape (N, len(gammas))
        model : ndarray, shape (N, len(gammas))

        >>> import numpy as np, orbitkit
        >>> rng = np.random.default_rng(2)
        >>> d = np.sort(rng.random((500, 1)) * np.arange(1, 21) / 20, axis=1)   # grows like k
        >>> dims = orbitkit.qspectrum(d, [-2, 0, 2], 1, 5, 20).dims
        >>> dims.shape
        (3, 5)
""",
    "delaymatrix": """
        x : array_like, shape (M, N) or (M,)
        dims : array_like of int, shape (N,)
        delays : array_like of int, shape (N,)
        shifts : array_like of int, shape (N - 1,)
        embedding : ndarray, shape (M - pmax, sum(dims))
        pmax : float
            In Python it is always returned.

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
        a : array_like, shape (M, N)
            In Python a 1-D array of N values is one row: N observations of one
            value.
        h : float

        >>> import numpy as np, orbitkit
        >>> orbitkit.histinfo([0, 0, 1, 1]) == np.log(2)                  # two classes of two
        True
""",
    "knotinterp": """
        x : array_like
        y : array_like
        xx : array_like
        yy : ndarray, shape (K,)
            1-D for a 1-D xx, otherwise of shape (1, K); a float for one query.

        >>> import numpy as np, orbitkit
        >>> x = np.arange(0, 3.5, 0.5)
        >>> yy = orbitkit.knotinterp(x, x**3 - 2*x, [-0.5, 1.25, 4])
        >>> print(np.round(yy, 6))                                   # equals t**3 - 2*t
        [ 0.875 -0.546875 56.      ]
""",
    "slopeinterp": """
        x : array_like
        y : array_like
        xx : array_like
        yy : ndarray, shape (K,)
            1-D for a 1-D xx, otherwise of shape (K, 1); a float for one query.

        >>> import numpy as np, orbitkit
        >>> yy = orbitkit.slopeinterp(np.arange(6.0), [0, 0, 0, 1, 1, 1], np.arange(0, 5.25, 0.25))
        >>> bool(yy.min() == 0 and yy.max() == 1)                    # no overshoot at the step
        True
""",
    "smoothwin": """
        x : array_like, shape (M, N) or (M,)
            In Python a 1-D array is one signal of M samples.
        window : int or array_like
        y : ndarray, the shape of x

        >>> import numpy as np, orbitkit
        >>> t = np.arange(200) / 200
        >>> x = np.sin(2 * np.pi * t) + 0.2 * np.random.default_rng(3).standard_normal(200)
        >>> y = orbitkit.smoothwin(x, window=9)                # plain average over 9 samples
        >>> z = orbitkit.smoothwin(x, [1, 2, 3, 2, 1])         # triangular weights
        >>> y.shape, z.shape
        ((200,), (200,))
""",
    "gainrider": """
        x : array_like, shape (M, N) or (M,)
            In Python a 1-D array is one signal of M samples.
        tau : array_like
        limit : float
        threshold : float
        y : ndarray, the shape of x

        >>> import numpy as np, orbitkit
        >>> t = np.arange(4000.0)
        >>> x = np.sin(t / 10) * np.r_[np.full(2000, 0.01), np.ones(2000)]
        >>> y = orbitkit.gainrider(x, [50, 50], 4, 1e-3)       # 100x louder in, about 3x out
        >>> y.shape
        (4000,)
""",
    "foldmap": """
        n : int
        params : array_like
        y : ndarray, shape (n, 2)
            In Python the warning is a RuntimeWarning, one per limited sample.

        >>> import orbitkit
        >>> y = orbitkit.foldmap(5000, [-1.4, 0.3, 0, 0])
        >>> y.shape
        (5000, 2)
""",
    "peakiter": """
        n : int
        params : array_like
        x : ndarray, shape (n, 1)

        >>> import orbitkit
        >>> x = orbitkit.peakiter(2000, [0.1, 1.5, 0.99, 0.3])
        >>> x.shape
        (2000, 1)
""",
    "baker": """
        n : int
        params : array_like
        y : ndarray, shape (n, 2)

        >>> import orbitkit
        >>> y = orbitkit.baker(20000, [0.4, 0.3, 0.45, 0.1, 0.2])
        >>> y.shape
        (20000, 2)
""",
    "twistgen": """
        n : int
        x : ndarray, shape (n, 1)
            In Python the seed chain starts afresh when the package is imported.

        >>> import orbitkit
        >>> x = orbitkit.twistgen(5)
        >>> y = orbitkit.twistgen(5)                           # five others: the seed has moved on
        >>> x.shape, bool((x != y).all())
        ((5, 1), True)
""",
    "termset": """
        d : int
        maxgrad : int
        e : ndarray, shape (d, math.comb(d + maxgrad, d))

        >>> import numpy as np, orbitkit
        >>> e = orbitkit.termset(3, 2)                         # 10 monomials of 3 variables
        >>> x = np.random.default_rng(4).random((100, 3))
        >>> model = np.prod(x[:, :, None] ** e[None, :, :], axis=1)   # one column per term
        >>> model.shape
        (100, 10)
""",
    "textmatrix": """
        filename : str or os.PathLike
        x : ndarray, shape (K, 1), or None
            In Python None for a file without numbers, whose line goes to
            sys.stderr.

        >>> import os, tempfile, orbitkit
        >>> fd, f = tempfile.mkstemp(suffix=".txt")
        >>> _ = os.write(fd, b"# x y\\n1 2\\n3,4\\n5;6\\n"); os.close(fd)
        >>> orbitkit.textmatrix(f).reshape(-1, 2)
        array([[1., 2.],
               [3., 4.],
               [5., 6.]])
        >>> os.remove(f)
""",
    "neardist": """
        points : array_like, shape (N, d) or (N,)
        k : int
        w : int
        refs : array_like of int
            In Python rows count from 0: 0 ... N - 1; None takes every row, in
            order.
        p : {2, inf}
        distances : ndarray, shape (len(refs), k)
        indices : ndarray, shape (len(refs), k)
            In Python rows count from 0.

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
        points : array_like, shape (N, d) or (N,)
        radii : array_like
        w : int
        p : {2, inf}
        C : ndarray, shape (len(radii),)
            1-D for 1-D radii, otherwise of shape (radii.size, 1).
        n : ndarray, shape (len(radii),)
            1-D for 1-D radii, otherwise of shape (radii.size, 1).

        >>> import numpy as np, orbitkit
        >>> xy = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])
        >>> r = 2.0 ** np.arange(-10, -3)
        >>> c, n = orbitkit.corrsum(xy, r, w=10)
        >>> slopes = np.diff(np.log(c)) / np.diff(np.log(r))
        >>> bool(abs(slopes - 1.2).max() < 0.15)
        True
""",
    "embeddim": """
        x : array_like, shape (N,)
        mmax : int
        tau : int
        w : int
        rtol : float
        atol : float
        fnn : ndarray, shape (mmax,)
        e1 : ndarray, shape (mmax,)
        e2 : ndarray, shape (mmax,)

        >>> import numpy as np, orbitkit
        >>> x = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0]
        >>> fnn, e1, e2 = orbitkit.embeddim(x, 4, w=10)
        >>> int(np.argmax(fnn < 0.01)) + 1                    # 2 delay coordinates
        2
""",
    "lyapcurve": """
        points : array_like, shape (N, d) or (N,)
        steps : int
        k : int
        w : int
        refs : array_like of int
            In Python rows count from 0: 0 ... N - steps - 1; None takes every
            usable row, in order.
        p : {2, inf}
        curve : ndarray, shape (steps + 1,)
        counts : ndarray, shape (steps + 1,)

        >>> import numpy as np, orbitkit
        >>> x = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0]
        >>> s, n = orbitkit.lyapcurve(orbitkit.delaymatrix(x, 2, 1).embedding, 12, w=10)
        >>> slope = np.polyfit(np.arange(1, 9), s[1:9], 1)[0]
        >>> bool(abs(slope - 0.419) < 0.02)                   # the largest exponent
        True
""",
    "permen": """
        x : array_like, shape (N,)
        m : int
        tau : int
        weighted : bool
        entropy : float
        normalized : float
        counts : ndarray, shape (m!,)

        >>> import numpy as np, orbitkit
        >>> x = np.random.default_rng(3).standard_normal(100000)
        >>> h = orbitkit.permen(x, 4)
        >>> bool(h.normalized > 0.999), h.counts.shape        # white noise: near 1
        (True, (24,))
        >>> orbitkit.permen(np.arange(50.0), 3).entropy         # monotone: one pattern
        0.0
""",
    "dfa": """
        x : array_like, shape (L,)
        sizes : array_like of int
        order : int
        q : float or array_like
        F : ndarray, shape (len(sizes),) or (len(sizes), len(q))
            1-D when q is a scalar; otherwise of shape (sizes.size, q.size).

        >>> import numpy as np, orbitkit
        >>> x = np.random.default_rng(4).standard_normal(100000)
        >>> n = np.unique(np.round(np.logspace(1, 4, 10)))
        >>> F = orbitkit.dfa(x, n)
        >>> alpha = np.polyfit(np.log(n), np.log(F), 1)[0]
        >>> bool(abs(alpha - 0.5) < 0.05)                     # white noise
        True
        >>> F = orbitkit.dfa(np.cumsum(x), n, order=2)
        >>> bool(abs(np.polyfit(np.log(n), np.log(F), 1)[0] - 1.5) < 0.05)   # random walk
        True
""",
    "rqa": """
        points : array_like, shape (N, d) or (N,)
        r : float
        w : int
        lmin, vmin : int
        p : {inf, 2}
        measures : RqaMeasures
            A named tuple of floats: rr, det, l, lmax, entr, lam, tt, vmax,
            recurrences, in the order of M.
        diagonal : ndarray, shape (N,)
            diagonal[l - 1]: the diagonal lines of length l.
        vertical : ndarray, shape (N,)
            vertical[l - 1]: the vertical lines of length l.

        >>> import numpy as np, orbitkit
        >>> xy = orbitkit.foldmap(5000, [-1.4, 0.3, 0, 0])
        >>> m, diagonal, vertical = orbitkit.rqa(xy, 0.02)
        >>> bool(m.det > 0.75), bool(m.lam < 0.1)
        (True, True)
        >>> l = np.arange(3, 13)
        >>> slope = np.polyfit(l, np.log(diagonal[l - 1]), 1)[0]
        >>> bool(-1 < slope < -0.1)                           # lines end as orbits part
        True
""",
    "sampen": """
        x : array_like, shape (N,)
        m : int
        r : float or None
            None (the default) is 0.2 sigma of x.
        tau : int
        w : int
        scales : array_like of int
        entropy, a, b : ndarray, shape (len(scales),)
            Always 1-D.

        >>> import numpy as np, orbitkit
        >>> x = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0]
        >>> se, a, b = orbitkit.sampen(x)
        >>> bool(abs(se[0] - 0.46) < 0.03)
        True
        >>> noise = np.random.default_rng(1).standard_normal(30000)
        >>> mse = orbitkit.sampen(noise, 2, 0.15, scales=np.arange(1, 21)).entropy
        >>> bool(np.all(np.diff(mse[::4]) < 0))               # white noise: falls with scale
        True
""",
    "apen": """
        x : array_like, shape (N,)
        m : int
        r : float or None
            None (the default) is 0.2 sigma of x.
        tau : int
        ae : float

        >>> import orbitkit
        >>> x = orbitkit.foldmap(20000, [-1.4, 0.3, 0, 0])[:, 0]
        >>> bool(abs(orbitkit.apen(x) - 0.48) < 0.03)
        True
""",
    "simplex": """
        x : array_like, shape (N,)
        e : int
        tau : int
        tp : int
        w : int
        lib : array_like of int or None
            In Python rows count from 0; None (or empty) takes every row with an
            embedding and an observed target.
        pred : array_like of int or None
            In Python rows count from 0; None (or empty) takes every row with an
            embedding.
        k : int or None
            None takes e + 1.
        predictions : ndarray, shape (len(pred), 2)
        skill : Skill, a named tuple (rho, mae, rmse) of floats

        >>> import numpy as np, orbitkit
        >>> x = orbitkit.foldmap(2000, [-1.4, 0.3, 0, 0])[:, 0]       # Henon x
        >>> rho = [orbitkit.simplex(x, e).skill.rho for e in (1, 2, 3, 4)]
        >>> int(np.argmax(rho)) + 1 in (2, 3)                         # the best E
        True
        >>> p, s = orbitkit.simplex(x, 2, tp=5)                       # five steps ahead
        >>> p.shape, bool(s.rho < rho[1])
        ((1999, 2), True)
""",
    "smap": """
        x : array_like, shape (N,)
        e : int
        tau : int
        tp : int
        theta : float
        w : int
        lib : array_like of int or None
            In Python rows count from 0; None (or empty) takes every row with an
            embedding and an observed target.
        pred : array_like of int or None
            In Python rows count from 0; None (or empty) takes every row with an
            embedding.
        predictions : ndarray, shape (len(pred), 2)
        skill : Skill, a named tuple (rho, mae, rmse) of floats
        coefficients : ndarray, shape (len(pred), e + 1)

        >>> import numpy as np, orbitkit
        >>> x = np.empty(1000); x[0] = 0.4
        >>> for t in range(999): x[t + 1] = 4 * x[t] * (1 - x[t])        # logistic map
        >>> rho = [orbitkit.smap(x, 2, theta=theta).skill.rho for theta in (0, 0.5, 1, 2, 4)]
        >>> int(np.argmax(rho)) > 0                                     # local maps win
        True
""",
    "crossmap": """
        x, y : array_like, shape (N,)
        e : int
        tau : int
        sizes : array_like of int
            Required: there is no default.
        samples : int
        seed : int or None
            None takes the fixed libraries, the first sizes rows, one sample.
        w : int
        tp : int
        R : ndarray, shape (len(sizes), samples)
            A float for one size and one sample.

        >>> import numpy as np, orbitkit
        >>> x, y = np.empty(2000), np.empty(2000); x[0], y[0] = 0.4, 0.2
        >>> for t in range(1999):                        # x drives y harder than y drives x
        ...     x[t + 1] = x[t] * (3.8 - 3.8 * x[t] - 0.02 * y[t])
        ...     y[t + 1] = y[t] * (3.5 - 3.5 * y[t] - 0.1 * x[t])
        >>> sizes = [20, 100, 500, 1900]
        >>> x_from_y = orbitkit.crossmap(y, x, 2, sizes=sizes, samples=20).mean(axis=1)
        >>> y_from_x = orbitkit.crossmap(x, y, 2, sizes=sizes, samples=20).mean(axis=1)
        >>> bool((np.diff(x_from_y) > 0).all() and x_from_y[-1] > y_from_x[-1])
        True
""",
}

_WORKERS: Tuple[str, List[str]] = (
    "int or None", ["None follows OMP_NUM_THREADS, else every core; -1 every core;",
                    "n >= 1 n threads, for this call only."])

# An input or output of the help: its names, their Python names where these
# are not the same but for case, then two blanks or more before the text.
_ENTRY = re.compile(r"   ([A-Za-z]\w*(?:, [A-Za-z]\w*)*)(?: \(Python: (\w+(?:, \w+)*)\))?  +(?=\S)")
# A refusal of the number of inputs: in Python the signature fixes it, and a
# call that does not fit raises TypeError before the module is reached.
_ARITY = re.compile(r"     ((fewer|more) than \d+|not exactly one|not [\d, ]+or \d+|no) inputs?\b")


def _python_side(name: str) -> Tuple[Dict[str, Tuple[str, List[str]]], List[str]]:
    """The module's Python names, each with its type and note, in order; and
    its example."""
    lines = textwrap.dedent(_PYTHON[name]).strip("\n").splitlines()
    first_prompt = next(k for k, line in enumerate(lines) if line.startswith(">>>"))
    names: Dict[str, Tuple[str, List[str]]] = {}
    key = ""
    for line in lines[:first_prompt]:
        if line and not line[0].isspace():
            key, kind = line.split(" : ")
            names[key] = (kind, [])
        elif line:
            names[key][1].append(line.strip())
    return names, lines[first_prompt:]


def _python_name(octave: str, known: List[str]) -> str:
    """The Python name that is the help's name but for case."""
    same = [name for name in known if name.lower() == octave.lower()]
    if len(same) != 1:
        raise LookupError(f"no one Python name for {octave} among {known}")
    return same[0]


def _help_lines(name: str) -> List[str]:
    return [line[1:] for line in (_HELP_DIR / f"{name}.m").read_text().splitlines()]


def _summary(name: str) -> str:
    """The help's first line, less the module's name."""
    return _help_lines(name)[0].split(None, 1)[1]


def _read_help(name: str, known: List[str]) -> Tuple[
        List[str], Dict[str, List[List[str]]], List[str], List[str], List[Tuple[str, str]]]:
    """The help's description paragraphs, its entries by their Python names,
    its refusals, the other modules it refers to, and each name of an entry
    with its Python name."""
    text = _help_lines(name)
    paragraphs: List[List[str]] = [[]]
    for line in text[text.index(""):]:  # the calls end at the first blank line
        if line.strip():
            paragraphs[-1].append(line)
        elif paragraphs[-1]:
            paragraphs.append([])
    description: List[str] = []
    entries: Dict[str, List[List[str]]] = {}
    refusals: List[str] = []
    see_also: List[str] = []
    names: List[Tuple[str, str]] = []
    for paragraph in filter(None, paragraphs):
        head = paragraph[0].strip()
        if head == "Refused, with these messages:":
            refusals = paragraph[1:]
        elif head.startswith("See also"):
            see_also = [word for word in re.findall(r"\w+", head.lower()) if word in _PYTHON]
        elif head != "Example:":
            rest: List[str] = []
            entry: Optional[List[str]] = None
            for line in paragraph:
                match = _ENTRY.match(line)
                if match:
                    octave = match[1].split(", ")
                    python = (match[2].split(", ") if match[2] else
                              [_python_name(one, known) for one in octave])
                    names += zip(octave, python) if len(octave) == len(python) else []
                    renamed = [one.lower() for one in octave] != [one.lower() for one in python]
                    entry = [(match[1] + ": " if renamed else "") + line[match.end():]]
                    entries.setdefault(", ".join(python), []).append(entry)
                elif entry is not None and line[:4].isspace():
                    entry.append(line.strip())
                else:
                    entry = None
                    rest.append(line[3:])
            description += rest + [""] if rest else []
    return description[:-1], entries, refusals, see_also, names


def _letters(names: List[Tuple[str, str]], prose: str, parameters: Dict[str, Tuple[str, List[str]]],
             signature: Any) -> str:
    """Which parameter each of the help's names for an input is, where the
    prose uses a name that a Python reader would not take for the parameter's:
    a letter (X for points, K for steps, but also W for w, as k may be another
    input) or a name other but for case. A parameter whose rows count from 0
    in Python (its note says so) is marked so. Empty when there is none."""
    said: Dict[str, List[str]] = {}
    for octave, python in names:
        if (python in signature and octave != python and
                (len(octave) == 1 or octave.lower() != python.lower()) and
                re.search(rf"(?<![\w.']){re.escape(octave)}(?![\w'])", prose)):
            said.setdefault(python, []).append(octave)
    if not said:
        return ""
    parts = []
    for python, octave in said.items():
        rows = any("rows count from 0" in line for line in parameters.get(python, ("", []))[1])
        parts.append(" and ".join(octave) + (" are" if len(octave) > 1 else " is") +
                     f" `{python}`" + (" (rows from 0)" if rows else ""))
    return "Here " + ", ".join(parts) + "."


def _raises(refusals: List[str]) -> List[str]:
    """The module's refusals that Python callers can meet, as it lists them."""
    table: List[str] = []
    notes: List[str] = []
    arity = False
    for line in refusals:
        if not line[:5].isspace():
            notes.append("    " + line[3:])
            continue
        if not line[5].isspace():  # a new condition
            arity = bool(_ARITY.match(line))
        if not arity:
            table.append("        " + line[5:])
    return (["orbitkit.Error", "    When the module refuses the call, with one of these messages::",
             ""] + table + ([""] + notes if notes else []) +
            ["TypeError", "    For an input that is not an array of numbers, or a call that does",
             "    not fit the signature."])


def docstring(name: str, function: Callable[..., Any]) -> str:
    """The function's docstring in numpydoc layout."""
    names, example = _python_side(name)
    signature = inspect.signature(function).parameters
    if "workers" in signature:
        names["workers"] = _WORKERS
    known = [one for key in names for one in key.split(", ")]
    description, entries, refusals, see_also, help_names = _read_help(name, known)
    if set(entries) - set(names) or not refusals:
        raise LookupError(f"{name}: the help does not fit its Python names {list(names)}")
    parameters: List[str] = []
    results: List[str] = []
    for key, (kind, note) in names.items():
        parameter = signature.get(key.split(", ")[0])
        if key not in entries and not (parameter and parameter.kind is parameter.KEYWORD_ONLY):
            raise LookupError(f"{name}: the help does not describe {key}")
        text = entries.get(key, []) + [note]
        if parameter is not None and parameter.default is not parameter.empty:
            kind += f", default {parameter.default!r}"
        section = results if parameter is None else parameters
        section += [f"{key} : {kind}"] + ["    " + line for lines in text for line in lines]
    sections = [("Parameters", parameters), ("Returns", results), ("Raises", _raises(refusals)),
                ("See Also", [f"{other} : {_summary(other)}" for other in see_also]),
                ("Examples", example)]
    prose = "\n".join(description + [line for key in entries for lines in entries[key]
                                     for line in lines])
    letters = _letters(help_names, prose, names, signature)
    top = textwrap.wrap(letters, 79) + [""] if letters else []
    return "\n".join([_summary(name), ""] + top + description +
                     [f"\n{title}\n{'-' * len(title)}\n" + "\n".join(lines)
                      for title, lines in sections if lines]) + "\n"


class _Written(str):
    """An annotation as the source writes it (the package's modules use
    `from __future__ import annotations`): signatures show it without the
    quotes of a string, and without the long expansion of what it names."""
    __slots__ = ()

    def __repr__(self) -> str:
        return str(self)


def written_signature(function: Callable[..., Any]) -> inspect.Signature:
    """The function's signature with its annotations as they are written."""
    def shown(annotation: Any) -> Any:
        return _Written(annotation) if isinstance(annotation, str) else annotation

    signature = inspect.signature(function)
    return signature.replace(
        parameters=[parameter.replace(annotation=shown(parameter.annotation))
                    for parameter in signature.parameters.values()],
        return_annotation=shown(signature.return_annotation))


def attach_help(namespace: Dict[str, Any]) -> None:
    """Every public function's signature as written, and its docstring."""
    for name in namespace["__all__"]:
        if inspect.isfunction(namespace[name]):
            namespace[name].__signature__ = written_signature(namespace[name])
    for name in _PYTHON:
        namespace[name].__doc__ = docstring(name, namespace[name])
