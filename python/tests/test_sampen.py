"""sampen and apen from Python: the definitions bit for bit on any thread
count, r=None as the modules' default, named results, refusals."""
import math
import os
import subprocess

import numpy as np
import pytest

import orbitkit


def coarse(x, s):
    n = len(x) // s
    y = np.empty(n)
    for j in range(n):
        total = 0.0
        for v in x[j * s:(j + 1) * s]:  # in order
            total += v
        y[j] = total / s
    return y


def sampen_by_hand(x, m, r, tau, w, scales):
    se, a, b = [], [], []
    for s in scales:
        y = coarse(np.asarray(x, float), s)
        T = len(y) - m * tau
        A = B = 0
        for i in range(T):
            j = np.arange(i + w + 1, T)
            d = np.zeros(len(j))
            for c in range(m):
                d = np.maximum(d, np.abs(y[i + c * tau] - y[j + c * tau]))
            match = d <= r
            B += int(match.sum())
            A += int((match & (np.abs(y[i + m * tau] - y[j + m * tau]) <= r)).sum())
        se.append(-math.log(A / B) + 0.0 if B else math.nan)
        a.append(float(A))
        b.append(float(B))
    return np.array(se), np.array(a), np.array(b)


def apen_by_hand(x, m, r, tau):
    x = np.asarray(x, float)
    phi = []
    for L in (m, m + 1):
        n = len(x) - (L - 1) * tau
        total = 0.0
        for i in range(n):
            d = np.zeros(n)
            for c in range(L):
                d = np.maximum(d, np.abs(x[i + c * tau] - x[c * tau:c * tau + n]))
            total += math.log(int((d <= r).sum()) / n)
        phi.append(total / n)
    return phi[0] - phi[1]


def sigma(x):
    mu = 0.0
    for v in x:
        mu += v
    mu /= len(x)
    squares = 0.0
    for v in x:
        squares += (v - mu) * (v - mu)
    return math.sqrt(squares / len(x))


def same(a, b):
    return np.asarray(a).tobytes() == np.asarray(b).tobytes()


@pytest.mark.parametrize("workers", [1, 2, 3])
def test_sampen_follows_its_definition(workers):
    rng = np.random.default_rng(61)
    for trial in range(12):
        if trial % 2:
            x = rng.integers(0, 8, 400).astype(float)  # many ties at r
            r = float(rng.integers(0, 3))
        else:
            x = rng.standard_normal(400)
            r = 0.3
        m, tau, w = 1 + trial % 3, 1 + trial % 2, trial % 4
        scales = [1, 2, 3][:1 + trial % 3]
        got = orbitkit.sampen(x, m, r, tau, w, scales, workers=workers)
        assert isinstance(got, orbitkit.SampenResult)
        assert got._fields == ("entropy", "a", "b")
        for ours, theirs in zip(got, sampen_by_hand(x, m, r, tau, w, scales)):
            assert ours.shape == (len(scales),)
            assert same(ours, theirs), (trial, ours, theirs)


def test_sampen_defaults_and_r_none():
    x = orbitkit.foldmap(3000, [-1.4, 0.3, 0, 0])[:, 0]
    default = orbitkit.sampen(x)
    assert same(default.entropy, orbitkit.sampen(x, 2, 0.2 * sigma(x), 1, 0, 1).entropy)
    assert same(default.entropy, orbitkit.sampen(x, r=None, scales=[1]).entropy)
    assert default.entropy.shape == (1,)
    assert abs(default.entropy[0] - 0.46) < 0.05
    se, a, b = orbitkit.sampen(np.ones(60), w=100)
    assert math.isnan(se[0]) and a[0] == b[0] == 0
    se, a, b = orbitkit.sampen(np.full(60, 2.5))
    assert se[0] == 0 and not math.copysign(1, se[0]) < 0 and a[0] == b[0] == 58 * 57 / 2


@pytest.mark.parametrize("workers", [1, 3])
def test_apen_follows_its_definition(workers):
    rng = np.random.default_rng(62)
    for trial in range(8):
        x = rng.integers(0, 5, 250).astype(float) if trial % 2 else rng.random(250)
        m, tau, r = 1 + trial % 3, 1 + trial % 2, [0.0, 0.1, 1.0, 2.0][trial % 4]
        got = orbitkit.apen(x, m, r, tau, workers=workers)
        assert isinstance(got, float)
        assert same(got, apen_by_hand(x, m, r, tau)), trial
    x = orbitkit.foldmap(2000, [-1.4, 0.3, 0, 0])[:, 0]
    assert same(orbitkit.apen(x), orbitkit.apen(x, 2, 0.2 * sigma(x), 1))
    assert same(orbitkit.apen(x, r=None), orbitkit.apen(x))


@pytest.mark.parametrize("call, message", [
    (lambda: orbitkit.sampen(np.ones((3, 3))), "x must be a vector"),
    (lambda: orbitkit.sampen([1, np.nan, 2, 3, 4]), "x must not hold NaN or Inf"),
    (lambda: orbitkit.sampen(np.ones(50), 0), "m must be a whole number, at least 1"),
    (lambda: orbitkit.sampen(np.ones(50), r=-1), "r must be a number, at least 0"),
    (lambda: orbitkit.sampen(np.ones(50), tau=1.5), "tau must be a whole number, at least 1"),
    (lambda: orbitkit.sampen(np.ones(50), w=-2), "w must be a whole number, at least 0"),
    (lambda: orbitkit.sampen(np.ones(50), scales=[1, 0]),
     "scales must hold whole numbers, at least 1"),
    (lambda: orbitkit.sampen(np.ones(50), scales=[1, 20]),
     "x is too short at scale 20: m = 2 and tau = 1 need at least 4 samples there, it has 2"),
    (lambda: orbitkit.apen(np.ones(50), r=np.nan), "r must be a number, at least 0"),
    (lambda: orbitkit.apen(np.ones(4), 2, 1, 2), "x is too short: m = 2 and tau = 2 need at "
                                                 "least 5 samples"),
    (lambda: orbitkit.apen(np.ones(50), 2, 1, []), "Input 4 must not be empty"),
])
def test_refusals(call, message):
    with pytest.raises(orbitkit.Error) as refused:
        call()
    assert str(refused.value) == message


@pytest.mark.skipif(not os.environ.get("ORBITKIT_OCTAVE_TOOLBOX"), reason="no Octave toolbox")
def test_octave_gives_the_same_bits(tmp_path):
    x = orbitkit.foldmap(2000, [-1.4, 0.3, 0, 0])[:, 0]
    np.savetxt(tmp_path / "x.txt", x, fmt="%.17g")
    script = (f"addpath('{os.environ['ORBITKIT_OCTAVE_TOOLBOX']}'); x = load('{tmp_path}/x.txt');"
              "[se, a, b] = sampen (x, 2, [], 1, 2, [1 2 3]); ae = apen (x);"
              "printf ('%.17g\\n', [se; a; b; ae]);")
    out = subprocess.run(["octave-cli", "--no-init-file", "--no-site-file", "--quiet", "--eval",
                          script], check=True, capture_output=True, text=True, timeout=300)
    octave = np.array([float(v) for v in out.stdout.split()])
    se, a, b = orbitkit.sampen(x, 2, None, 1, 2, [1, 2, 3])
    python = np.concatenate([se, a, b, [orbitkit.apen(x)]])
    assert same(octave, python)
