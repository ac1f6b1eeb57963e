"""embeddim and lyapcurve from Python: named tuples, keywords, rows from 0,
and the results their definitions give, added up in the same order."""
import math
import re

import numpy as np
import pytest

import orbitkit


def embedding_by_hand(x, mmax, tau, w, rtol, atol):
    x, N = x.tolist(), len(x)
    mu = 0.0
    for value in x:
        mu += value
    mu /= N
    squares = 0.0
    for value in x:
        squares += (value - mu) * (value - mu)
    sigma = math.sqrt(squares / N)
    F, E, Estar = [], [], []
    for m in range(1, mmax + 2):
        T = N - m * tau
        v = [x[t:t + m * tau:tau] for t in range(T)]
        false, apart, widening, spread = 0, 0, 0.0, 0.0
        for t in range(T):
            distance = lambda s: max(abs(a - b) for a, b in zip(v[t], v[s]))
            s = min((s for s in range(T) if abs(t - s) > w), key=lambda s: (distance(s), s))
            R, delta = distance(s), abs(x[t + m * tau] - x[s + m * tau])
            spread += delta
            if R > 0:
                apart += 1
                widening += max(R, delta) / R
                false += delta / R > rtol or max(R, delta) / sigma > atol
        F.append(false / apart if apart else math.nan)
        E.append(widening / apart if apart else math.nan)
        Estar.append(spread / T)
    ratios = lambda values: [values[m + 1] / values[m] for m in range(mmax)]
    return F[:mmax], ratios(E), ratios(Estar)


def curve_by_hand(X, K, k, w, refs, maximum):
    X, usable = X.tolist(), len(X) - K

    def distance(a, b):
        if maximum:
            return max(abs(p - q) for p, q in zip(a, b))
        total = 0.0
        for p, q in zip(a, b):  # coordinates in order, as the modules add them
            total += (p - q) * (p - q)
        return math.sqrt(total)

    nearest = [sorted((s for s in range(usable) if abs(t - s) > w),
                      key=lambda s: (distance(X[t], X[s]), s))[:k] for t in refs]
    S, n = [], []
    for step in range(K + 1):
        total, count = 0.0, 0
        for t, U in zip(refs, nearest):
            d = 0.0
            for s in U:
                d += distance(X[t + step], X[s + step])
            d /= k
            if d > 0:
                total += math.log(d)
                count += 1
        S.append(total / count if count else math.nan)
        n.append(count)
    return S, n


@pytest.mark.parametrize("integers", [True, False])
def test_embeddim_follows_its_definition(integers):
    rng = np.random.default_rng(41)
    # Integers: equal distances, ratios delta / R equal to rtol, and at m = 1
    # every point has a twin (K_1 empty).
    x = rng.integers(-3, 4, 150).astype(float) if integers else rng.standard_normal(150)
    result = orbitkit.embeddim(x, 4, tau=2, w=3, rtol=1.0, atol=2.0)
    assert result._fields == ("fnn", "e1", "e2")
    for ours, theirs in zip(result, embedding_by_hand(x, 4, 2, 3, 1.0, 2.0)):
        assert ours.shape == (4,)
        np.testing.assert_array_equal(ours, theirs)  # NaN where NaN, else bit for bit
    for ours, theirs in zip(orbitkit.embeddim(x, 3), embedding_by_hand(x, 3, 1, 0, 10, 2)):
        np.testing.assert_array_equal(ours, theirs)


def test_henon_needs_two_delay_coordinates():
    x = orbitkit.foldmap(20_000, [-1.4, 0.3, 0, 0])[:, 0]
    fnn, e1, _ = orbitkit.embeddim(x, 4, w=10)
    assert fnn[0] > 0.5 and (fnn[1:] < 0.01).all()
    assert (abs(e1[1:] - 1) < 0.1).all()


@pytest.mark.parametrize("p", [2, np.inf])
def test_lyapcurve_follows_its_definition(p):
    rng = np.random.default_rng(42)
    X = rng.integers(-2, 3, size=(80, 2)).astype(float)  # ties, and some d_t = 0
    refs = [4, 0, 4, 73, 30]  # 74 usable rows: 0 ... 73
    curve, counts = orbitkit.lyapcurve(X, 6, k=3, w=2, refs=refs, p=p)
    S, n = curve_by_hand(X, 6, 3, 2, refs, p == np.inf)
    assert curve.shape == counts.shape == (7,)
    np.testing.assert_array_equal(curve, S)
    np.testing.assert_array_equal(counts, n)
    everyone = orbitkit.lyapcurve(X, 6, k=3, w=2, p=p)  # refs=None: every usable row in order
    np.testing.assert_array_equal(everyone, orbitkit.lyapcurve(X, 6, 3, 2, np.arange(74.0), p))
    none = orbitkit.lyapcurve(X, 6, refs=np.zeros(0), p=p)
    assert np.isnan(none.curve).all() and (none.counts == 0).all()


def test_henon_divergence_grows_with_the_largest_exponent():
    xy = orbitkit.foldmap(20_000, [-1.4, 0.3, 0, 0])
    result = orbitkit.lyapcurve(xy, 10, w=10)
    assert result._fields == ("curve", "counts")
    assert abs((result.curve[8] - result.curve[2]) / 6 - 0.419) < 0.02


def test_rows_count_from_zero_in_messages():
    with pytest.raises(orbitkit.Error, match=r"^R must hold usable rows of X, whole numbers "
                                             r"from 0 to .*\b6$"):
        orbitkit.lyapcurve(np.zeros((10, 2)), 3, refs=[7])
    with pytest.raises(orbitkit.Error, match="^Not enough candidates: reference row 3 has 3 "
                                             "rows more than w = 3 apart, fewer than k = 4$"):
        orbitkit.lyapcurve(np.arange(10.0), 0, k=4, w=3)


@pytest.mark.parametrize("call, message", [
    (lambda: orbitkit.embeddim(np.ones((5, 5)), 1), "x must be a vector"),
    (lambda: orbitkit.embeddim([1, np.nan, 2], 1), "x must not hold NaN or Inf"),
    (lambda: orbitkit.embeddim(np.ones(50) + 0j, 1), "Input 1 must be a real double array"),
    (lambda: orbitkit.embeddim(np.ones(50), []), "Input 2 must not be empty"),
    (lambda: orbitkit.embeddim(np.ones(50), 0.5), "mmax must be a whole number, at least 1"),
    (lambda: orbitkit.embeddim(np.ones(50), 1e300), "x is too short: mmax = "),
    (lambda: orbitkit.embeddim(np.ones(50), 2, w=np.inf), "w must be a whole number, at least 0"),
    (lambda: orbitkit.embeddim(np.ones(50), 2, rtol=np.nan), "rtol must be positive"),
    (lambda: orbitkit.embeddim(np.ones(28), 6, w=10), "x is too short: mmax = 6, tau = 1 and "
                                                      "w = 10 need at least 29 samples"),
    (lambda: orbitkit.lyapcurve(np.ones((5, 2)), 5), "K must be a whole number from 0 to "
                                                     "N - 1 = 4"),
    (lambda: orbitkit.lyapcurve(np.ones((5, 2)), 1, refs=[0.5]), "R must hold usable rows"),
    (lambda: orbitkit.lyapcurve(np.ones((5, 2)), 1, p=1), "p must be 2 or Inf"),
    (lambda: orbitkit.lyapcurve([[1.0], [np.inf]], 0), "X must not hold NaN or Inf"),
])
def test_hostile_inputs_are_refused(call, message):
    with pytest.raises(orbitkit.Error, match="^" + re.escape(message)):
        call()
