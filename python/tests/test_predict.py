"""simplex, smap and crossmap from Python: rows from 0, the skill as a named
tuple, forecasts as their definitions give them, smap at theta = 0 as NumPy's
least squares, and the refusals with rows as Python counts them."""
import math

import numpy as np
import pytest

import orbitkit


def henon(n):
    return orbitkit.foldmap(n, [-1.4, 0.3, 0, 0])[:, 0]


def embedded(x, e, tau, t):
    return np.array([x[t - c * tau] for c in range(e)])


def simplex_by_hand(x, y, e, tau, tp, w, lib, k, t):
    """The forecast of row t (from 0), sums in the modules' order."""
    candidates = [s for s in lib if abs(s - t) > w]
    d = []
    for s in candidates:
        total = 0.0
        for c in range(e):
            total = total + (x[t - c * tau] - x[s - c * tau]) ** 2
        d.append(math.sqrt(total))
    order = sorted(range(len(candidates)), key=lambda i: (d[i], candidates[i]))[:k]
    num = den = 0.0
    for i in order:
        u = math.exp(-d[i] / d[order[0]]) if d[order[0]] > 0 else float(d[i] == 0)
        num = num + u * y[candidates[i] + tp]
        den = den + u
    return num / den


def test_simplex_rows_count_from_zero():
    x = np.round(henon(300) * 8) / 8  # ties
    lib = [40, 4, 40, 100, 250, 7, 180, 60, 61, 62, 200]
    pred = [299, 5, 5, 150]
    p, s = orbitkit.simplex(x, 3, tau=2, tp=2, w=1, lib=lib, pred=pred, k=3)
    assert p.shape == (4, 2)
    want = [simplex_by_hand(x, x, 3, 2, 2, 1, sorted(set(lib)), 3, t) for t in pred]
    np.testing.assert_array_equal(p[:, 1], want)
    assert np.isnan(p[0, 0]) and p[1, 0] == x[7]
    assert isinstance(s, orbitkit.Skill) and s._fields == ("rho", "mae", "rmse")
    a, b = p[1:, 0], p[1:, 1]
    assert s.mae == pytest.approx(np.abs(a - b).mean(), rel=1e-14)
    # Defaults: every row with an embedding; lib without the last row.
    p, s = orbitkit.simplex(x, 2)
    assert p.shape == (299, 2) and np.isnan(p[-1, 0])
    assert orbitkit.simplex(x, 2, lib=[], pred=[]).predictions.tobytes() == p.tobytes()


def test_workers_change_nothing():
    x = henon(30000)
    for call in (lambda n: orbitkit.simplex(x, 3, workers=n),
                 lambda n: orbitkit.smap(x[:2000], 2, theta=2.0, workers=n),
                 lambda n: orbitkit.crossmap(x[:3000], x[1:3001], 2, sizes=[10, 500, 2000],
                                             samples=5, workers=n)):
        one = call(1)
        for n in (2, 3):
            again = call(n)
            assert np.asarray(again[0] if isinstance(again, tuple) else again).tobytes() == \
                np.asarray(one[0] if isinstance(one, tuple) else one).tobytes()


def test_smap_at_theta_zero_is_least_squares():
    rng = np.random.default_rng(5)
    x = np.zeros(600)
    for t in range(1, 600):
        x[t] = 0.5 * x[t - 1] + rng.standard_normal()
    lib = np.arange(3, 400)  # far from the prediction rows: nothing left out
    pred = np.arange(450, 600)
    p, s, c = orbitkit.smap(x, 3, theta=0.0, lib=lib, pred=pred)
    A = np.column_stack([np.ones(len(lib))] + [x[lib - j] for j in range(3)])
    coef = np.linalg.lstsq(A, x[lib + 1], rcond=None)[0]
    np.testing.assert_allclose(c, np.tile(coef, (len(pred), 1)), rtol=1e-9, atol=1e-12)
    B = np.column_stack([np.ones(len(pred))] + [x[pred - j] for j in range(3)])
    np.testing.assert_allclose(p[:, 1], B @ coef, rtol=1e-9, atol=1e-12)
    assert c.shape == (150, 4) and isinstance(s, orbitkit.Skill)


def test_crossmap_fixed_libraries_are_simplex():
    x = henon(500)
    sizes = [20, 300]
    r = orbitkit.crossmap(x, x, 2, sizes=sizes, seed=None, tp=1)
    assert r.shape == (2, 1)
    for i, size in enumerate(sizes):
        rows = np.arange(1, 1 + size)
        assert r[i, 0] == orbitkit.simplex(x, 2, lib=rows, pred=np.arange(1, 499)).skill.rho
    assert orbitkit.crossmap(x, x, 2, 1, [20, 300], 7).shape == (2, 7)
    with pytest.raises(TypeError):
        orbitkit.crossmap(x, x, 2)


@pytest.mark.parametrize("call, message", [
    (lambda: orbitkit.simplex(np.arange(10.0), 2, lib=[0]),
     "lib row 0 has no embedding: rows start at 1 for E = 2 and tau = 1"),
    (lambda: orbitkit.simplex(np.arange(10.0), 2, lib=[9]),
     "lib row 9 has no observed target: its target lies past the end of x for Tp = 1"),
    (lambda: orbitkit.simplex(np.arange(10.0), 2, pred=[10]),
     "pred must hold row numbers of x, whole numbers from 0 to 9; 10 is not one"),
    (lambda: orbitkit.simplex(np.arange(10.0), 2, w=100),
     "Not enough candidates: prediction row 1 has 0 library rows more than w = 100 apart, "
     "fewer than k = 3"),
    (lambda: orbitkit.simplex([1.0, np.nan, 2.0], 1), "x must not hold NaN or Inf"),
    (lambda: orbitkit.smap(np.arange(10.0), 2, theta=-1.0), "theta must be a finite number, at least 0"),
    (lambda: orbitkit.crossmap(np.arange(10.0), np.arange(9.0), 2, sizes=[5]),
     "x and y must have the same length"),
    (lambda: orbitkit.crossmap(np.arange(10.0), np.arange(10.0), 2, sizes=[9], w=10),
     "L must hold library sizes, whole numbers from k + 2w + 1 = 24 to the 9 rows with an "
     "embedding and a target; 9 is not one"),
    (lambda: orbitkit.crossmap(np.arange(10.0), np.arange(10.0), 2, sizes=[5], seed=-1),
     "seed must be a whole number from 0 to 4294967295, or empty"),
])
def test_refusals(call, message):
    with pytest.raises(orbitkit.Error) as refused:
        call()
    assert str(refused.value) == message
