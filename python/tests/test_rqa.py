"""rqa from Python: the measures and line histograms as the whole recurrence
matrix gives them, bit for bit on any thread count; the recurrences as
corrsum counts them; named tuples; refusals."""
import math

import numpy as np
import pytest

import orbitkit


def recurrence_matrix(points, r, w, maximum):
    n = len(points)
    differences = points[:, None, :] - points[None, :, :]
    if maximum:
        d = np.abs(differences).max(axis=2)
    else:
        total = np.zeros((n, n))
        for c in range(points.shape[1]):  # coordinates in order, as the modules add them
            total = total + differences[:, :, c] ** 2
        d = np.sqrt(total)
    i, j = np.indices((n, n))
    return (d <= r) & (np.abs(i - j) > w)


def runs(line, counts):
    edges = np.diff(np.concatenate(([0], line.astype(int), [0])))
    for length in np.flatnonzero(edges == -1) - np.flatnonzero(edges == 1):
        counts[length - 1] += 1


def by_definition(points, r, w, lmin, vmin, maximum):
    R = recurrence_matrix(points, r, w, maximum)
    n = len(points)
    diagonal, vertical = np.zeros(n), np.zeros(n)
    for k in range(1, n):
        runs(np.diagonal(R, k), diagonal)
        runs(np.diagonal(R, -k), diagonal)
    for column in R.T:
        runs(column, vertical)
    count = int(R.sum())
    i, j = np.indices((n, n))
    pairs = int((np.abs(i - j) > w).sum())
    lengths = np.arange(1, n + 1)

    def ratio(a, b):
        return a / b if b else math.nan

    dl = int((lengths * diagonal)[lmin - 1:].sum())
    dc = int(diagonal[lmin - 1:].sum())
    vl = int((lengths * vertical)[vmin - 1:].sum())
    vc = int(vertical[vmin - 1:].sum())
    entropy = 0.0
    for lines in diagonal[lmin - 1:]:
        if lines:
            share = int(lines) / dc
            entropy = entropy + share * math.log(share)
    longest = [float(np.flatnonzero(h)[-1] + 1) if h.any() else 0.0 for h in (diagonal, vertical)]
    measures = (ratio(count, pairs), ratio(dl, count), ratio(dl, dc), longest[0],
                -entropy if dc else math.nan, ratio(vl, count), ratio(vl, vc), longest[1],
                float(count))
    return measures, diagonal, vertical


def same(a, b):
    a, b = np.asarray(a, float), np.asarray(b, float)
    return a.shape == b.shape and bool(np.all((a == b) | (np.isnan(a) & np.isnan(b))))


@pytest.mark.parametrize("p", [np.inf, 2])
def test_rqa_agrees_with_the_whole_matrix(p):
    rng = np.random.default_rng(31)
    for trial in range(12):
        n = int(rng.integers(2, 120))
        d = int(rng.integers(1, 4))
        points = np.abs(np.cumsum(rng.integers(-1, 2, size=(n, d)), axis=0)).astype(float)
        r = float(rng.integers(0, 3))
        w = int(rng.integers(0, 4))
        lmin, vmin = int(rng.integers(1, 4)), int(rng.integers(1, 4))
        want = by_definition(points, r, w, lmin, vmin, p == np.inf)
        for workers in (1, 2, 3):
            got = orbitkit.rqa(points, r, w, lmin, vmin, p, workers=workers)
            assert same(got.measures, want[0]), (trial, got.measures, want[0])
            assert same(got.diagonal, want[1]) and same(got.vertical, want[2])


def test_rqa_recurrences_are_corrsums_pairs_twice_on_any_thread_count():
    rng = np.random.default_rng(32)
    points = rng.random((4000, 2))
    r = 0.05
    one = orbitkit.rqa(points, r, w=3, p=2, workers=1)
    for workers in (2, 3):
        other = orbitkit.rqa(points, r, w=3, p=2, workers=workers)
        assert same(other.measures, one.measures)
        assert same(other.diagonal, one.diagonal) and same(other.vertical, one.vertical)
    c, n = orbitkit.corrsum(points, np.nextafter(r, np.inf), w=3, p=2)
    assert one.measures.recurrences == 2 * n
    assert one.measures.rr == 2 * n / ((4000 - 4) * (4000 - 3))
    assert one.measures.det < 0.2  # white noise: few lines


def test_rqa_named_results_and_no_pairs():
    result = orbitkit.rqa(np.zeros((5, 2)), 1.0, w=4)
    assert result._fields == ("measures", "diagonal", "vertical")
    assert result.measures._fields == ("rr", "det", "l", "lmax", "entr", "lam", "tt", "vmax",
                                       "recurrences")
    assert math.isnan(result.measures.rr) and result.measures.recurrences == 0
    assert result.diagonal.shape == result.vertical.shape == (5,)
    assert not result.diagonal.any() and not result.vertical.any()
    every = orbitkit.rqa(np.zeros(5), 1.0, w=0)  # every pair recurs: one line per diagonal
    assert every.measures.rr == 1.0 and every.measures.lmax == 4
    assert every.diagonal.tolist() == [2, 2, 2, 2, 0]


@pytest.mark.parametrize("args, message", [
    ((np.array([[1.0], [np.nan]]), 1), "X must not hold NaN or Inf"),
    ((np.ones(3), -1), "r must be a number, at least 0"),
    ((np.ones(3), np.nan), "r must be a number, at least 0"),
    ((np.ones(3), 1, 1.5), "w must be a whole number, at least 0"),
    ((np.ones(3), 1, 1, 0), "lmin must be a whole number, at least 1"),
    ((np.ones(3), 1, 1, 2, 2.5), "vmin must be a whole number, at least 1"),
    ((np.ones(3), 1, 1, 2, 2, 3), "p must be 2 or Inf"),
])
def test_rqa_refuses(args, message):
    with pytest.raises(orbitkit.Error, match="^" + message + "$"):
        orbitkit.rqa(*args)
