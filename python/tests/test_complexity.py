"""permen and dfa from Python: named tuple and shapes, keywords and defaults,
the results their definitions give (permen bit for bit, dfa to the stated
tolerance), the same on every thread count, known exponents, refusals."""
import itertools
import math
import re

import numpy as np
import pytest

import orbitkit


def permen_by_hand(x, m, tau, weighted):
    """Patterns by a stable sort, numbered in lexicographic order; counts or
    weights added in time order; sums in pattern order."""
    x = np.asarray(x, float).tolist()
    number = {p: k for k, p in enumerate(itertools.permutations(range(m)))}
    c = [0.0] * len(number)
    for t in range(len(x) - (m - 1) * tau):
        v = x[t:t + (m - 1) * tau + 1:tau]
        k = number[tuple(sorted(range(m), key=lambda i: v[i]))]  # Python's sort is stable
        if weighted:
            mean = 0.0
            for value in v:
                mean += value
            mean /= m
            squares = 0.0
            for value in v:
                squares += (value - mean) * (value - mean)
            c[k] += squares / m
        else:
            c[k] += 1.0
    total = 0.0
    for count in c:
        total += count
    s = 0.0
    for count in c:
        if count > 0:
            s += count / total * math.log(count / total)
    return -s, -s / math.log(len(c)), c


def dfa_by_hand(x, sizes, order, q):
    """Each window's fit by least squares on the abscissae 1 ... n."""
    x = np.asarray(x, float)
    L = len(x)
    mu = 0.0
    for value in x:
        mu += value
    Y = np.cumsum(x - mu / L)
    F = np.empty((len(sizes), len(q)))
    for s, n in enumerate(sizes):
        K = L // n
        starts = [v * n for v in range(K)] + [L - j * n for j in range(1, K + 1)]
        A = np.vander(np.arange(1.0, n + 1) - (n + 1) / 2, order + 1)
        F2 = []
        for start in starts:
            y = Y[start:start + n] - Y[start]
            coef = np.linalg.lstsq(A, y, rcond=None)[0]
            F2.append(np.mean((y - A @ coef) ** 2))
        F2 = np.array(F2)
        for j, moment in enumerate(q):
            if moment == 0:
                F[s, j] = math.exp(np.mean(np.log(F2)) / 2)
            else:
                F[s, j] = np.mean(F2 ** (moment / 2)) ** (1 / moment)
    return F


def test_permen_follows_its_definition():
    rng = np.random.default_rng(71)
    for trial in range(24):
        m, tau, weighted = 2 + trial % 4, 1 + trial % 3, bool(trial % 2)
        x = rng.integers(0, 4, 200).astype(float) if trial % 3 else rng.standard_normal(150)
        result = orbitkit.permen(x, m, tau, weighted)
        assert isinstance(result, orbitkit.PermenResult)
        entropy, normalized, counts = permen_by_hand(x, m, tau, weighted)
        assert result.entropy == entropy and result.normalized == normalized
        assert result.counts.shape == (math.factorial(m),)
        assert result.counts.tolist() == counts
    x = rng.standard_normal(300)
    assert orbitkit.permen(x).counts.tolist() == permen_by_hand(x, 3, 1, False)[2]
    assert orbitkit.permen(x, weighted=True, m=4).entropy == permen_by_hand(x, 4, 1, True)[0]


def test_permen_known_answers_and_threads():
    assert orbitkit.permen(np.arange(100.0), 4) == (0.0, 0.0, pytest.approx([97] + [0] * 23))
    assert np.flatnonzero(orbitkit.permen([1.0, 1.0, 0.0]).counts).tolist() == [4]  # ties
    x = np.random.default_rng(72).standard_normal(600000)
    one = orbitkit.permen(x, 5, weighted=True, workers=1)
    for workers in (2, 3):
        other = orbitkit.permen(x, 5, weighted=True, workers=workers)
        assert other.entropy == one.entropy and np.array_equal(other.counts, one.counts)
    assert one.normalized > 0.999


def test_dfa_follows_its_definition():
    rng = np.random.default_rng(73)
    x = rng.standard_normal(1500) + 50
    sizes = [5, 16, 150, 1499]
    for order in range(4):
        F = orbitkit.dfa(x, sizes, order, [2, 0, -2, 3])
        assert F.shape == (4, 4)
        np.testing.assert_allclose(F, dfa_by_hand(x, sizes, order, [2, 0, -2, 3]), rtol=1e-9)
    F = orbitkit.dfa(x, sizes)
    assert F.shape == (4,)
    np.testing.assert_allclose(F, dfa_by_hand(x, sizes, 1, [2])[:, 0], rtol=1e-9)
    assert orbitkit.dfa(x, sizes, q=[2]).shape == (4, 1)
    assert isinstance(orbitkit.dfa(x, 10, q=[1, 2]), np.ndarray)
    walk = np.cumsum(rng.standard_normal(300000))
    one = orbitkit.dfa(walk, [5, 100, 30000], 2, [-1, 2], workers=1)
    for workers in (2, 3):
        assert np.array_equal(orbitkit.dfa(walk, [5, 100, 30000], 2, [-1, 2], workers=workers), one)


def slopes(n, F):
    F = F.reshape(len(n), -1)
    return np.array([np.polyfit(np.log(n), np.log(F[:, j]), 1)[0] for j in range(F.shape[1])])


def test_dfa_known_exponents():
    rng = np.random.default_rng(74)
    n = np.unique(np.round(np.logspace(1, 3.3, 10)))
    x = rng.standard_normal(2 ** 17)
    assert abs(slopes(n, orbitkit.dfa(x, n))[0] - 0.5) < 0.05
    assert abs(slopes(n, orbitkit.dfa(np.cumsum(x), n, 2))[0] - 1.5) < 0.05
    # 1/f noise: white noise's spectrum shaped to amplitude 1/sqrt(f).
    f = np.fft.rfftfreq(2 ** 17)
    spectrum = np.fft.rfft(x)
    spectrum[1:] /= np.sqrt(f[1:])
    spectrum[0] = 0
    pink = np.fft.irfft(spectrum)
    assert abs(slopes(n, orbitkit.dfa(pink, n))[0] - 1) < 0.1
    h = slopes(n, orbitkit.dfa(x, n, 1, [-3, -1, 0, 1, 2, 3]))  # monofractal: flat h(q)
    assert h.max() - h.min() < 0.1
    t = np.arange(1, 5001) / 1000
    trend = 0.25 + 3 * t - 2 * t ** 2  # degree 3 in the profile
    Y = np.cumsum(trend - trend.sum() / trend.size)
    assert np.all(orbitkit.dfa(trend, [5, 100, 5000], 3) < 2e-12 * np.abs(Y).max())


@pytest.mark.parametrize("call, message", [
    (lambda: orbitkit.permen(np.ones((5, 5))), "x must be a vector"),
    (lambda: orbitkit.permen([1, np.nan, 2, 3]), "x must not hold NaN or Inf"),
    (lambda: orbitkit.permen(np.ones(20) + 0j), "Input 1 must be a real double array"),
    (lambda: orbitkit.permen(np.ones(20), []), "Input 2 must not be empty"),
    (lambda: orbitkit.permen(np.ones(20), 11), "m must be a whole number from 2 to 10"),
    (lambda: orbitkit.permen(np.ones(20), 2.5), "m must be a whole number from 2 to 10"),
    (lambda: orbitkit.permen(np.ones(20), tau=0), "tau must be a whole number, at least 1"),
    (lambda: orbitkit.permen(np.ones(20), weighted=2), "weighted must be true or false (1 or 0)"),
    (lambda: orbitkit.permen(np.ones(27), 10, 3), "x is too short: m = 10 and tau = 3 need at "
                                                  "least 28 samples"),
    (lambda: orbitkit.dfa(np.ones((5, 5)), 3), "x must be a vector"),
    (lambda: orbitkit.dfa([1, np.inf, 2, 3], 3), "x must not hold NaN or Inf"),
    (lambda: orbitkit.dfa(np.ones(30), 10, 6), "order must be a whole number from 0 to 5"),
    (lambda: orbitkit.dfa(np.ones(30), 10, []), "Input 3 must not be empty"),
    (lambda: orbitkit.dfa(np.ones(30), [10, 2]), "n must hold whole numbers from order + 2 = 3 "
                                                 "to the length of x, 30"),
    (lambda: orbitkit.dfa(np.ones(30), 31, order=0), "n must hold whole numbers from order + 2 = "
                                                     "2 to the length of x, 30"),
    (lambda: orbitkit.dfa(np.ones(30), 10, q=np.nan), "q must not hold NaN or Inf"),
])
def test_hostile_inputs_are_refused(call, message):
    with pytest.raises(orbitkit.Error, match="^" + re.escape(message) + "$"):
        call()
