"""neardist and corrsum from Python: rows from 0, named tuples, and the
results a comparison of every pair gives."""
import numpy as np
import pytest

import orbitkit


def distances_from(points, i, maximum):
    differences = points - points[i]
    if maximum:
        return np.abs(differences).max(axis=1)
    total = np.zeros(len(points))
    for c in range(points.shape[1]):  # coordinates in order, as the modules add them
        total = total + differences[:, c] ** 2
    return np.sqrt(total)


def nearest_by_hand(points, i, k, w, maximum):
    d = distances_from(points, i, maximum)
    rows = np.flatnonzero(np.abs(np.arange(len(points)) - i) > w)
    order = np.lexsort((rows, d[rows]))[:k]  # by distance, then row
    return d[rows][order], rows[order]


@pytest.mark.parametrize("p", [2, np.inf])
def test_neardist_rows_count_from_zero(p):
    rng = np.random.default_rng(31)
    points = rng.integers(-2, 3, size=(200, 3)).astype(float)  # many equal distances
    refs = [5, 0, 199, 5]
    distances, indices = orbitkit.neardist(points, 4, w=2, refs=refs, p=p)
    assert distances.shape == indices.shape == (4, 4)
    for r, i in enumerate(refs):
        d, j = nearest_by_hand(points, i, 4, 2, p == np.inf)
        assert distances[r].tobytes() == d.tobytes()
        assert (indices[r] == j).all()
    everyone = orbitkit.neardist(points, 4, w=2, p=p)  # refs=None: every row in order
    assert everyone.distances.shape == (200, 4)
    assert (everyone.indices[refs] == indices).all()


def test_neardist_refuses_with_rows_from_zero():
    with pytest.raises(orbitkit.Error, match="^R must hold row numbers of X, whole numbers "
                                             "from 0 to 9$"):
        orbitkit.neardist(np.zeros((10, 2)), 1, refs=[10])
    with pytest.raises(orbitkit.Error, match="^Not enough candidates: reference row 1 has 0"):
        orbitkit.neardist(np.zeros((3, 1)), 1, w=1)


@pytest.mark.parametrize("p", [2, np.inf])
def test_corrsum_counts_pairs_outside_the_window(p):
    rng = np.random.default_rng(32)
    points = rng.integers(-3, 4, size=(300, 2)).astype(float)
    radii = np.array([np.sqrt(2), 1, 2.5, 0, np.inf])
    C, n = orbitkit.corrsum(points, radii, w=3, p=p)
    assert C.shape == n.shape == (5,)
    want = np.zeros(5)
    for i in range(len(points)):
        d = distances_from(points, i, p == np.inf)[i + 4:]
        want += [(d < r).sum() if r < np.inf else len(d) for r in radii]
    assert (n == want).all()
    pairs = (300 - 3) * (300 - 4) / 2
    assert (C == want / pairs).all()
