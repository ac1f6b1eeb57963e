"""A set of calls run by Octave and by Python, and their outcomes.

The calls are random valid ones for every module, and the same with one
input made hostile, missing or extra. Both hosts run them in the same order
in a fresh process (twistgen's seed chain included): Octave with
run_shared_calls.m, Python with this file run as a script. Octave's calls
and outcomes pass through files of float64 numbers, read exactly; Python's
are pickled.

Every input is given at least 2-D, so that Python passes the host's own
shapes. An outcome is (error message or None, printed text, warnings,
outputs as 2-D arrays).
"""
import contextlib
import io
import pickle
import sys
import warnings

import numpy as np

OUTPUTS = {"gridmass": 3, "qspectrum": 3, "delaymatrix": 2}

HOSTILE_VALUES = [np.nan, np.inf, -np.inf, -0.0, 0.0, 5e-324, 1e308, -1e308,
                  2147483648.0, -2147483649.0, 1e6 + 1, 0.5, -1.0, 1.0, 2.0, 3.7]


def _row(values):
    return np.array(values, dtype=float).reshape(1, -1)


def _scalar(value):
    return np.array([[float(value)]])


def _ranks(rng, n):
    r = np.empty(n)
    r[rng.permutation(n)] = np.arange(n) / n
    return r


def _valid_call(rng, name, files):
    """A call that should succeed, of random size and content."""
    n = int(rng.integers(2, 300))
    if name == "gridmass":
        return [rng.random((n, int(rng.integers(1, 4)))),
                _row(rng.integers(2, 64, size=int(rng.integers(1, 4))))]
    if name == "laginfo":
        series = _ranks(rng, n + 20).reshape(1, -1)
        return [series if rng.random() < 0.5 else series.T, _scalar(rng.integers(0, 20)),
                _row(rng.integers(2, 40, size=int(rng.integers(1, 3))))]
    if name == "qspectrum":
        k = int(rng.integers(6, 20))
        distances = np.sort(rng.random((int(rng.integers(1, 5)), k)) + 0.01, axis=1)
        return [distances, _row(rng.uniform(-3, 3, size=3)), _scalar(1), _scalar(k // 2),
                _scalar(k)]
    if name == "delaymatrix":
        series = rng.standard_normal((n + 20, 2))
        return [series, _row([2, 1]), _row(rng.integers(1, 4, size=2)), _row([0])]
    if name == "histinfo":
        return [np.round(rng.standard_normal((int(rng.integers(1, 4)), n)))]
    if name in ("knotinterp", "slopeinterp"):
        x = np.cumsum(rng.random(int(rng.integers(2, 30))) + 0.01).reshape(1, -1)
        xx = rng.uniform(x[0, 0] - 1, x[0, -1] + 1, size=(n, 1))
        return [x, rng.standard_normal(x.shape), xx]
    if name == "smoothwin":
        window = _scalar(rng.integers(2, 12)) if rng.random() < 0.5 else _row(rng.random(5))
        return [rng.standard_normal((n, int(rng.integers(1, 3)))), window]
    if name == "gainrider":
        return [rng.standard_normal((n, 1)) * 0.1, _row(rng.uniform(1, 100, size=2)),
                _scalar(4), _scalar(1e-3)]
    if name == "foldmap":
        return [_scalar(n), _row([-1.4, 0.3, rng.random() * 0.1, 0])]
    if name == "peakiter":
        return [_scalar(n), _row([0.1, 1.5, 0.99, rng.random()])]
    if name == "baker":
        return [_scalar(n), _row([0.4, 0.3, 0.45, rng.random(), rng.random()])]
    if name == "twistgen":
        return [_scalar(rng.integers(0, 50))]
    if name == "termset":
        return [_scalar(rng.integers(1, 5)), _scalar(rng.integers(0, 5))]
    if name == "textmatrix":
        return [files[int(rng.integers(len(files)))]]
    raise ValueError(name)


def _hostile_array(rng):
    values = lambda size: rng.choice(HOSTILE_VALUES, size=size)
    kind = int(rng.integers(7))
    if kind == 0:
        return np.zeros((0, 0))
    if kind == 1:
        return np.zeros((0, int(rng.integers(1, 6))))
    if kind == 2:
        return np.zeros((int(rng.integers(1, 6)), 0))
    if kind == 3:
        return values((1, 1))
    if kind == 4:
        return values((int(rng.integers(1, 4)), int(rng.integers(1, 4))))
    if kind == 5:
        return values((2, 2, 2))
    complex_values = values((1, 2)).astype(complex)
    complex_values.imag = values((1, 2))
    return complex_values


def _variant(rng, inputs):
    """The call with one input hostile, or one input fewer or more."""
    inputs = list(inputs)
    kind = rng.random()
    if kind < 0.1:
        return inputs[:-1]
    if kind < 0.15:
        return inputs + [_scalar(1)]
    inputs[int(rng.integers(len(inputs)))] = _hostile_array(rng)
    return inputs


def data_files(folder):
    """Files for textmatrix, written into folder, and two names it refuses."""
    contents = ["1 2 3\n4.5e1\n", "# x y\n1,2\n3;4\n-5e-3 NaN Inf\n", "7\n", "x 7 y\n",
                "0x1p3 .5 1e400\n"]
    files = []
    for k, text in enumerate(contents):
        files.append(folder / f"data{k}.txt")
        files[-1].write_text(text)
    # A missing file and a folder: refused with the module's messages.
    return [str(f) for f in files] + [str(folder / "missing.txt"), str(folder)]


def make_calls(files, seed=20261208, valid=6, hostile=14):
    rng = np.random.default_rng(seed)
    calls = []
    for name in ["gridmass", "laginfo", "qspectrum", "delaymatrix", "histinfo",
                 "knotinterp", "slopeinterp", "smoothwin", "gainrider", "foldmap",
                 "peakiter", "baker", "twistgen", "termset", "textmatrix"]:
        for _ in range(valid):
            calls.append((name, _valid_call(rng, name, files)))
        for _ in range(hostile):
            calls.append((name, _variant(rng, _valid_call(rng, name, files))))
    return calls


# ---- the files both hosts read and write: float64 numbers, little-endian --

def _text_numbers(text):
    return [len(text)] + list(text.encode())


def write_calls(path, calls):
    numbers = [len(calls)]
    for name, inputs in calls:
        numbers += _text_numbers(name) + [OUTPUTS.get(name, 1), len(inputs)]
        for value in inputs:
            if isinstance(value, str):
                numbers += [1] + _text_numbers(value)
            elif np.iscomplexobj(value):
                numbers += [2, value.ndim, *value.shape] + list(value.real.ravel(order="F"))
                numbers += list(value.imag.ravel(order="F"))
            else:
                numbers += [0, value.ndim, *value.shape] + list(value.ravel(order="F"))
    np.array(numbers, dtype="<f8").tofile(path)


class _Reader:
    def __init__(self, path):
        self.numbers = np.fromfile(path, dtype="<f8")
        self.position = 0

    def take(self, count=1):
        values = self.numbers[self.position:self.position + count]
        self.position += count
        return values

    def count(self):
        return int(self.take()[0])

    def text(self):
        return bytes(self.take(self.count()).astype(np.uint8)).decode()


def read_octave_outcomes(path):
    reader = _Reader(path)
    outcomes = []
    for _ in range(reader.count()):
        failed = reader.count()
        message = reader.text()
        printed = reader.text()
        warned = [reader.text() for _ in range(reader.count())]
        outputs = []
        for _ in range(reader.count()):
            rows, columns = (int(d) for d in reader.take(2))
            outputs.append(reader.take(rows * columns).reshape((rows, columns), order="F"))
        outcomes.append((message if failed else None, printed, warned, outputs))
    return outcomes


# ---- the Python side --------------------------------------------------------

def _as_host_array(value):
    return np.array([[value]]) if isinstance(value, float) else value


def python_outcomes(calls):
    import orbitkit

    outcomes = []
    for name, inputs in calls:
        printed = io.StringIO()
        message, outputs = None, []
        with contextlib.redirect_stdout(printed), warnings.catch_warnings(record=True) as warned:
            warnings.simplefilter("always")
            try:
                # The compiled module itself: the calls include wrong input
                # counts, which the package's signatures refuse before the
                # module's own checks could, and laginfo's lines are printed.
                result = getattr(orbitkit._host, name)(*inputs)
                results = result if isinstance(result, tuple) else (result,)
                outputs = [_as_host_array(value) for value in results]
            except orbitkit.Error as error:
                message = str(error)
        outcomes.append((message, printed.getvalue(), [str(w.message) for w in warned], outputs))
    return outcomes


if __name__ == "__main__":
    calls_path, outcomes_path = sys.argv[1:]
    with open(calls_path, "rb") as calls, open(outcomes_path, "wb") as outcomes:
        pickle.dump(python_outcomes(pickle.load(calls)), outcomes)
