"""Many calls, valid and refused, keep memory flat and references balanced."""
import gc
import sys
import warnings

import numpy as np

import orbitkit

rng = np.random.default_rng(13)


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def one_round(x, r, points):
    calls = [
        (orbitkit.gridmass, (points, [4, 8])), (orbitkit.gridmass, (points, 1)),
        (orbitkit.laginfo, (r, 3, 8)), (orbitkit.laginfo, (r, 3, 1)),
        (orbitkit.qspectrum, (np.sort(points, axis=1), [1.0], 1, 1, 2)),
        (orbitkit.delaymatrix, (x, 3, 2)), (orbitkit.delaymatrix, (x, 3000)),
        (orbitkit.histinfo, (points,)), (orbitkit.knotinterp, (r[:5] + np.arange(5), x[:5], x)),
        (orbitkit.slopeinterp, (x[:5], x[:5], x)), (orbitkit.smoothwin, (x, 5)),
        (orbitkit.gainrider, (x, [5.0], 3, 1e-3)), (orbitkit.foldmap, (100, [-1.4, 0.3, 0, 0])),
        (orbitkit.foldmap, (2, [-1.4, 0.3, 1e7, 0])), (orbitkit.peakiter, (100, [0.1, 1.5, 0.99, 0.3])),
        (orbitkit.baker, (100, [0.4, 0.3, 0.45, 0.1, 0.2])), (orbitkit.twistgen, (100,)),
        (orbitkit.termset, (3, 3)), (orbitkit.textmatrix, ("/nonexistent/file",)),
    ]
    for function, inputs in calls:
        try:
            function(*inputs)
        except orbitkit.Error:
            pass


def test_memory_stays_flat_over_many_calls(capsys):
    x = rng.standard_normal(1000)
    r = rng.permutation(1000) / 1000
    points = rng.random((500, 2))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for _ in range(50):
            one_round(x, r, points)
        gc.collect()
        references = [sys.getrefcount(v) for v in (x, r, points)]
        before = resident_bytes()
        for _ in range(1000):
            one_round(x, r, points)
            capsys.readouterr()
        gc.collect()
    assert [sys.getrefcount(v) for v in (x, r, points)] == references
    assert resident_bytes() - before < 4 << 20
