"""Timings of the Python package against what a Python user would otherwise
call, on the same data, side by side in one run: the two alternate, and the
medians are compared. Also the cost of one call beyond the module's work.

    build-python/venv/bin/python python/bench.py [repeats] [label part]

With a label part, only the lines whose label holds it are timed.

Needs SciPy and pandas (Debian: python3-scipy, python3-pandas), and for the
surrogate line dask's distributed (python3-distributed).
"""
import contextlib
import importlib
import io
import os
import resource
import statistics
import sys
import tempfile
import time
import timeit

import numpy as np
import pandas as pd
from scipy.interpolate import Akima1DInterpolator, CubicSpline
from scipy.ndimage import uniform_filter1d
from scipy.spatial import cKDTree

# This folder holds the package's sources, not its built extension: the
# installed package is the one to time.
sys.path = [p for p in sys.path if os.path.abspath(p) != os.path.dirname(os.path.abspath(__file__))]
import orbitkit  # noqa: E402

rng = np.random.default_rng(5)


def seconds(function):
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


ONLY = ""


def side_by_side(label, ours, theirs, goal, repeats):
    if ONLY not in label:
        return
    ours(), theirs()  # warm caches and lazy imports
    times = ([], [])
    for _ in range(repeats):
        times[0].append(seconds(ours))
        times[1].append(seconds(theirs))
    mine, peer = (statistics.median(t) for t in times)
    print(f"{label:52s} {mine * 1e3:9.2f} {peer * 1e3:9.2f} {peer / mine:7.1f}x  {goal}")


def fresh_page_faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def among_numpy_work(label, call, data, repeats):
    """The call in a loop of its own, and alternating with NumPy work of the
    same size (numpy.sin and numpy.sort of its data), which makes the C
    library hand freed memory back to the system: the medians of the call's
    times, their ratio, and the pages it faults in afresh per call. Then the
    same work done in place, which maps nothing: what is left of the
    slowdown there is the processor's caches, which the work between calls
    fills with its own data."""
    if ONLY not in label:
        return

    def timed(between):
        for _ in range(2):  # warm caches, and the memory kept between calls
            call(), between()
        times, faults = [], []
        for _ in range(repeats):
            before = fresh_page_faults()
            times.append(seconds(call))
            faults.append(fresh_page_faults() - before)
            between()
        return statistics.median(times), statistics.median(faults)

    scratch = np.empty_like(data)

    def in_place():
        np.sin(data, out=scratch)
        scratch.sort(axis=0)

    own, own_faults = timed(lambda: None)
    among, among_faults = timed(lambda: (np.sin(data), np.sort(data, axis=0)))
    cached, _ = timed(in_place)
    print(f"{label:44s} {among * 1e3:8.2f} {own * 1e3:8.2f} {among / own:6.2f}x  <= 1.3x "
          f"{cached / own:8.2f}x {among_faults:6.0f} {own_faults:5.0f}")


def every_module_among_numpy_work(repeats):
    """Each module on data of some megabytes: (label, call, the data the NumPy
    work between calls is done on, repeats)."""
    local = np.random.default_rng(7)
    spaced = np.cumsum(local.random(100_000) + 0.01)
    heights = np.sin(spaced)
    ascending = np.sort(local.uniform(spaced[0], spaced[-1], 1_000_000))
    noise = local.standard_normal(1_000_000)
    ranks = local.permutation(1_000_000) / 1_000_000
    plane = orbitkit.foldmap(1_000_000, [-1.4, 0.3, 0, 0])
    henon = plane[:100_002, 0]
    delayed = np.asfortranarray(np.column_stack([henon[2:], henon[1:-1], henon[:-2]]))
    distances = orbitkit.neardist(delayed, 16).distances
    pairs = np.asfortranarray(delayed[:, :2])
    cells = local.integers(0, 4, (1000, 1000)).astype(float)
    few = max(3, repeats // 5)
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as numbers:
        np.savetxt(numbers, local.standard_normal((200_000, 5)), fmt="%.17g")
    return [
        ("knotinterp, 1e5 knots 1e6 sorted queries",
         lambda: orbitkit.knotinterp(spaced, heights, ascending), ascending, repeats),
        ("slopeinterp, 1e5 knots 1e6 sorted queries",
         lambda: orbitkit.slopeinterp(spaced, heights, ascending), ascending, repeats),
        ("smoothwin, 1e6 values, 25", lambda: orbitkit.smoothwin(noise, 25), noise, repeats),
        ("gainrider, 1e6 values", lambda: orbitkit.gainrider(noise, [10, 10], 4, 1e-3), noise,
         repeats),
        ("delaymatrix, 1e6 values, 3 dims", lambda: orbitkit.delaymatrix(noise, 3, 1), noise,
         repeats),
        ("laginfo, 1e6 values, 10 lags", lambda: orbitkit.laginfo(ranks, 10, 16), ranks, few),
        ("histinfo, 1000 x 1000 cells", lambda: orbitkit.histinfo(cells), cells, repeats),
        ("gridmass, 1e6 points 2-D, 4 sizes", lambda: orbitkit.gridmass(plane, [8, 16, 32, 64]),
         plane, few),
        ("foldmap, 1e6 steps", lambda: orbitkit.foldmap(1_000_000, [-1.4, 0.3, 0, 0]), plane,
         repeats),
        ("peakiter, 1e6 steps", lambda: orbitkit.peakiter(1_000_000, [0.1, 1.5, 0.99, 0.3]),
         noise, repeats),
        ("baker, 1e6 steps", lambda: orbitkit.baker(1_000_000, [0.4, 0.3, 0.45, 0.1, 0.2]), plane,
         repeats),
        ("twistgen, 1e6 numbers", lambda: orbitkit.twistgen(1_000_000), noise, repeats),
        ("textmatrix, 1e6 numbers", lambda: orbitkit.textmatrix(numbers.name), noise, few),
        ("neardist, 1e5 points 3-D k=16", lambda: orbitkit.neardist(delayed, 16), delayed, few),
        ("qspectrum, 1e5 x 16 distances, 3 gammas",
         lambda: orbitkit.qspectrum(distances, [-1, 0, 1], 1, 4, 16), distances, repeats),
        ("corrsum, 1e5 points 2-D, 13 radii",
         lambda: orbitkit.corrsum(pairs, 2.0 ** np.arange(-14, -1)), pairs, few),
        ("embeddim, 1e5 Henon x, mmax 6, w 10",
         lambda: orbitkit.embeddim(henon, 6, tau=1, w=10), henon, few),
        ("lyapcurve, 1e5 points 2-D, K 30, w 10",
         lambda: orbitkit.lyapcurve(pairs, 30, k=1, w=10), pairs, few),
        ("permen, 1e6 values, m 6", lambda: orbitkit.permen(noise, 6), noise, repeats),
        ("dfa, 1e6 values, 16 sizes 10 ... 1e5",
         lambda: orbitkit.dfa(noise, np.round(np.logspace(1, 5, 16))), noise, few),
    ]


def permutation_counts_by_sorting(x, m):
    """permen's counts in NumPy: every vector's positions sorted stably,
    the sorted positions read as a number in base m, and the numbers
    counted (np.unique gives them in lexicographic order of the pattern)."""
    from numpy.lib.stride_tricks import sliding_window_view
    order = np.argsort(sliding_window_view(x, m), axis=1, kind="stable")
    codes = order @ (m ** np.arange(m - 1, -1, -1))
    return np.unique(codes, return_counts=True)[1]


def fluctuations_by_least_squares(x, sizes, order=1):
    """dfa's F (q = 2) in NumPy: for each size the windows from the start
    and from the end reshaped into a matrix, one least-squares fit for all
    of them, the residuals' mean square."""
    Y = np.cumsum(x - np.mean(x))
    F = np.empty(len(sizes))
    for s, n in enumerate(sizes.astype(int)):
        K = len(Y) // n
        windows = np.concatenate([Y[:K * n].reshape(K, n), Y[len(Y) - K * n:].reshape(K, n)])
        A = np.vander(np.arange(1.0, n + 1) - (n + 1) / 2, order + 1)
        coef = np.linalg.lstsq(A, windows.T, rcond=None)[0]
        F[s] = np.sqrt(np.mean((windows.T - A @ coef) ** 2))
    return F


def mutual_information_by_histogram(r, maxlag, bins):
    """Auto mutual information over lags, in bits, one 2-D histogram per lag."""
    n = len(r) - maxlag
    marginal = np.histogram(r, bins, (0, 1))[0] / len(r)
    info = np.empty(maxlag + 1)
    for lag in range(maxlag + 1):
        joint = np.histogram2d(r[:n], r[lag:lag + n], bins, ((0, 1), (0, 1)))[0] / n
        a, b = np.nonzero(joint)
        mu = joint[a, b]
        info[lag] = np.sum(mu * np.log2(mu / (marginal[a] * marginal[b])))
    return info


def nearest_by_tree(points, k, w):
    """The k nearest neighbours outside the Theiler window w with cKDTree,
    which has no window: 2w + 1 more are asked for (the rows within the
    window, the point itself among them), and those inside it dropped."""
    distances, rows = cKDTree(points).query(points, k + 2 * w + 1, workers=-1)
    outside = np.abs(rows - np.arange(len(points))[:, None]) > w
    keep = outside & (np.cumsum(outside, axis=1) <= k)
    return distances[keep].reshape(-1, k), rows[keep].reshape(-1, k)


def nearest_outside_window(points, w):
    """Each row's nearest row outside the Theiler window w by the maximum
    norm, the lower row among equal distances, and its distance. cKDTree
    orders equal distances its own way, so a row whose nearest distance is
    also the farthest it was given is asked again for more neighbours."""
    tree = cKDTree(points)
    rows = np.arange(len(points))
    nearest, radius = np.empty(len(points), dtype=np.intp), np.empty(len(points))
    asking, count = rows, 2 * w + 2  # the window holds 2w + 1 rows at most
    while len(asking):
        distances, found = tree.query(points[asking], min(count, len(points)), p=np.inf,
                                      workers=-1)
        outside = np.abs(found - asking[:, None]) > w
        candidate = np.where(outside, distances, np.inf)
        best = candidate.min(axis=1)
        nearest[asking] = np.where(candidate == best[:, None], found, len(points)).min(axis=1)
        radius[asking] = best
        asking, count = asking[(best == distances[:, -1]) & (count < len(points))], 2 * count
    return nearest, radius


def embedding_statistics_by_tree(x, mmax, tau, w, rtol=10.0, atol=2.0):
    """embeddim's F, E1 and E2 in NumPy, one tree per dimension."""
    sigma = np.sqrt(np.mean((x - np.mean(x)) ** 2))
    F, E, Estar = [], [], []
    for m in range(1, mmax + 2):
        T = len(x) - m * tau
        v = np.column_stack([x[j * tau:j * tau + T] for j in range(m)])
        nearest, R = nearest_outside_window(v, w)
        delta = np.abs(x[m * tau:m * tau + T] - x[nearest + m * tau])
        apart = R > 0
        ratio = delta[apart] / R[apart]
        widened = np.maximum(R, delta)[apart]
        F.append(np.mean((ratio > rtol) | (widened / sigma > atol)) if apart.any() else np.nan)
        E.append(np.mean(widened / R[apart]) if apart.any() else np.nan)
        Estar.append(np.mean(delta))
    E, Estar = np.array(E), np.array(Estar)
    return np.array(F[:mmax]), E[1:] / E[:-1], Estar[1:] / Estar[:-1]


def divergence_curve_by_tree(points, K, k, w):
    """lyapcurve's S and n in NumPy: every usable row a reference, the
    Euclidean distance."""
    usable = len(points) - K
    _, neighbours = nearest_by_tree(points[:usable], k, w)
    references = np.arange(usable)[:, None]
    S, n = np.empty(K + 1), np.empty(K + 1)
    for step in range(K + 1):
        offsets = points[references + step] - points[neighbours + step]
        d = np.sqrt(np.sum(offsets ** 2, axis=2)).mean(axis=1)
        d = d[d > 0]
        S[step], n[step] = (np.mean(np.log(d)) if len(d) else np.nan), len(d)
    return S, n


def runs_of(lines):
    """The lengths of the runs of True in a 1-D boolean array."""
    edges = np.diff(np.concatenate(([False], lines, [False])).view(np.int8))
    return np.flatnonzero(edges == -1) - np.flatnonzero(edges == 1)


def recurrence_by_dense_matrix(points, r, w=1, lmin=2, vmin=2, block=500):
    """rqa's measures and histograms from the whole recurrence matrix (maximum
    norm): distances in blocks of rows, lines by run lengths along every
    diagonal and down every column."""
    n = len(points)
    R = np.empty((n, n), dtype=bool)
    for start in range(0, n, block):
        rows = points[start:start + block]
        d = np.abs(rows[:, None, 0] - points[None, :, 0])
        for c in range(1, points.shape[1]):
            np.maximum(d, np.abs(rows[:, None, c] - points[None, :, c]), out=d)
        np.less_equal(d, r, out=R[start:start + block])
    for k in range(-min(w, n - 1), min(w, n - 1) + 1):
        idx = np.arange(max(0, -k), min(n, n - k))
        R[idx, idx + k] = False
    count = int(np.count_nonzero(R))
    diagonal = np.zeros(n + 1, dtype=np.int64)
    for k in range(1, n):
        lengths = runs_of(np.diagonal(R, k))
        if lengths.size:
            diagonal += 2 * np.bincount(lengths, minlength=n + 1)
    vertical = np.bincount(runs_of(np.vstack([R, np.zeros((1, n), bool)]).T.ravel()),
                           minlength=n + 1)
    lengths = np.arange(n + 1)
    dl, dc = (lengths * diagonal)[lmin:].sum(), diagonal[lmin:].sum()
    vl, vc = (lengths * vertical)[vmin:].sum(), vertical[vmin:].sum()
    pairs = (n - w - 1) * (n - w)
    return (count / pairs, dl / count, dl / dc, vl / count, vl / vc), diagonal[1:], vertical[1:]
def templates(x, length, count, tau):
    """The first count delay vectors of the given length, one per row."""
    return np.column_stack([x[c * tau:c * tau + count] for c in range(length)])


def sampen_by_tree(x, m, r, tau=1):
    """Sample entropy (w = 0) from cKDTree.count_neighbors over the same
    templates; it counts ordered pairs at distances <= r, each point with
    itself too."""
    count = len(x) - m * tau
    pairs = []
    for length in (m, m + 1):
        t = cKDTree(templates(x, length, count, tau))
        pairs.append((int(t.count_neighbors(t, r, p=np.inf)) - count) // 2)
    return -np.log(pairs[1] / pairs[0]), pairs[1], pairs[0]


def sampen_by_blocks(x, m, r, tau=1, block=256):
    """Sample entropy (w = 0) by comparing every pair in NumPy, a block of
    templates against all later ones at a time."""
    count = len(x) - m * tau
    a = b = 0
    for start in range(0, count, block):
        rows = np.arange(start, min(start + block, count))
        d = np.zeros((len(rows), count))
        for c in range(m + 1):
            column = x[c * tau:c * tau + count]
            step = np.abs(column[rows, None] - column[None, :])
            if c == m:
                within_next = step <= r
            else:
                np.maximum(d, step, out=d)
        later = np.arange(count)[None, :] > rows[:, None]
        match = (d <= r) & later
        b += int(match.sum())
        a += int((match & within_next).sum())
    return -np.log(a / b), a, b


def apen_by_tree(x, m, r, tau=1):
    """Approximate entropy from cKDTree.query_ball_point's counts."""
    phi = []
    for length in (m, m + 1):
        count = len(x) - (length - 1) * tau
        points = templates(x, length, count, tau)
        within = cKDTree(points).query_ball_point(points, r, p=np.inf, return_length=True,
                                                  workers=-1)
        phi.append(np.log(within / count).sum() / count)
    return phi[0] - phi[1]
def past_embedding(x, e):
    """Rows t = e - 1 ... N - 1 (from 0) of x's embedding into the past."""
    return np.column_stack([x[e - 1 - j:len(x) - j] for j in range(e)])


def simplex_weights(distances):
    """exp(-d_i / d_1) per row, or 1 where d_i = 0 when d_1 = 0."""
    first = distances[:, :1]
    with np.errstate(divide="ignore", invalid="ignore"):
        u = np.exp(-distances / first)
    return np.where(first > 0, u, (distances == 0).astype(float))


def simplex_by_tree(x, e, w):
    """Leave-one-out simplex forecasts one step ahead as the peers make them:
    a cKDTree over the library, 2w + 1 neighbours more than needed asked
    for, those inside the window dropped."""
    points = past_embedding(x, e)
    rows = np.arange(e - 1, len(x))
    lib = rows[:-1]
    k = e + 1
    distances, found = cKDTree(points[:-1]).query(points, k + 2 * w + 1, workers=-1)
    outside = np.abs(lib[found] - rows[:, None]) > w
    keep = outside & (np.cumsum(outside, axis=1) <= k)
    d, s = distances[keep].reshape(-1, k), lib[found[keep]].reshape(-1, k)
    u = simplex_weights(d)
    forecast = (u * x[s + 1]).sum(axis=1) / u.sum(axis=1)
    return np.corrcoef(x[rows[:-1] + 1], forecast[:-1])[0, 1]


def crossmap_by_tree(x, y, e, sizes, samples, seed):
    """Cross mapping as the peers do it: a cKDTree over every drawn library,
    every row asked for k + 1 neighbours, the row itself dropped."""
    points = past_embedding(x, e)
    rows = np.arange(e - 1, len(x))
    k = e + 1
    draw = np.random.default_rng(seed)
    R = np.empty((len(sizes), samples))
    for i, size in enumerate(sizes):
        for j in range(samples):
            lib = np.sort(draw.choice(len(rows), size, replace=False))
            distances, found = cKDTree(points[lib]).query(points, k + 1, workers=-1)
            outside = lib[found] != np.arange(len(rows))[:, None]
            keep = outside & (np.cumsum(outside, axis=1) <= k)
            d, s = distances[keep].reshape(-1, k), rows[lib[found[keep]]].reshape(-1, k)
            u = simplex_weights(d)
            R[i, j] = np.corrcoef(y[rows], (u * y[s]).sum(axis=1) / u.sum(axis=1))[0, 1]
    return R


def smap_by_lstsq(x, e, theta):
    """Leave-one-out S-map forecasts one step ahead, numpy.linalg.lstsq per row."""
    points = past_embedding(x, e)
    rows = np.arange(e - 1, len(x))
    lib, targets = points[:-1], x[rows[:-1] + 1]
    design = np.column_stack([np.ones(len(lib)), lib])
    forecasts = np.empty(len(rows))
    for r in range(len(rows)):
        mask = np.arange(len(lib)) != r
        d = np.sqrt(((lib[mask] - points[r]) ** 2).sum(axis=1))
        weights = np.exp(-theta * d / d.mean())
        c = np.linalg.lstsq(design[mask] * weights[:, None], targets[mask] * weights,
                            rcond=1e-12)[0]
        forecasts[r] = c[0] + points[r] @ c[1:]
    return forecasts


def coupled_logistic(n):
    x, y = np.empty(n), np.empty(n)
    x[0], y[0] = 0.4, 0.2
    for t in range(n - 1):
        x[t + 1] = x[t] * (3.8 - 3.8 * x[t] - 0.02 * y[t])
        y[t + 1] = y[t] * (3.5 - 3.5 * y[t] - 0.1 * x[t])
    return x, y


def largest_relative_difference(ours, theirs):
    ours, theirs = np.ravel(ours), np.ravel(theirs)
    if not np.array_equal(np.isnan(ours), np.isnan(theirs)):
        return np.inf
    both = ~np.isnan(ours)
    return np.max(np.abs(ours[both] - theirs[both]) / np.maximum(np.abs(theirs[both]), 1e-300),
                  initial=0.0)


def with_threads(count, function):
    """The function called with OMP_NUM_THREADS set to count for the call."""
    def call():
        os.environ["OMP_NUM_THREADS"] = str(count)
        try:
            return function()
        finally:
            del os.environ["OMP_NUM_THREADS"]
    return call


def quietly(function, *inputs):
    with contextlib.redirect_stdout(io.StringIO()):
        return function(*inputs)


def load_demo(name):
    """A script of the demo folder, imported as a module of that name (the
    name under which cluster workers import it too)."""
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo")
    sys.path.insert(0, folder)
    try:
        return importlib.import_module(name)
    finally:
        sys.path.remove(folder)


def surrogates_on_clusters(label, repeats):
    """The surrogate demo's tasks (40 surrogates of 10^5 values) on
    LocalClusters of 2 and of 1 worker processes, each with one thread and
    the modules on one thread; both are started before the timing."""
    if ONLY not in label:
        return
    demo = load_demo("surrogates")
    x = demo.henon_x(100_000)
    radius = demo.RADIUS * float(np.std(x))
    jobs = demo.plan(40)
    results = []
    with demo.local_client(2) as two, demo.local_client(1) as one:
        side_by_side(label, lambda: results.append(demo.run_on_cluster(two, jobs, x, radius)),
                     lambda: results.append(demo.run_on_cluster(one, jobs, x, radius)),
                     ">= 1.7x", repeats)
    serial = with_threads(1, lambda: demo.run_serial(jobs, x, radius))()
    same = all(result == serial for result in results)
    print(f"  surrogates: both clusters' results {'equal' if same else 'differ from'} the "
          "serial loop's")


def call_overhead(repeats):
    """Microseconds per call of calls whose module work is a few nanoseconds,
    beside a call of a Python function doing nothing and SciPy's filter on
    the same values. The cases alternate, rounds of 20000 calls each; the
    medians of the rounds' times per call."""
    def nothing(*inputs):
        return None

    tiny = np.array([1.0, 2.0, 3.0, 4.0])
    parameters = np.array([0.1, 1.5, 0.99, 0.3])
    cases = [("a Python function doing nothing", lambda: nothing(1, parameters)),
             ("peakiter(1, array) -> float", lambda: orbitkit.peakiter(1, parameters)),
             ("twistgen(1) -> float", lambda: orbitkit.twistgen(1)),
             ("smoothwin(4 values, 2), goal <= 2 us", lambda: orbitkit.smoothwin(tiny, 2)),
             ("smoothwin(4 values, window=2), goal <= 2 us",
              lambda: orbitkit.smoothwin(tiny, window=2)),
             ("smoothwin(4 values, 2, workers=1)", lambda: orbitkit.smoothwin(tiny, 2, workers=1)),
             ("knotinterp(4 knots, 4 queries), goal <= 2 us",
              lambda: orbitkit.knotinterp(tiny, tiny, tiny)),
             ("uniform_filter1d(4 values, 2) (SciPy)", lambda: uniform_filter1d(tiny, 2)),
             ("peakiter(1, list) -> float", lambda: orbitkit.peakiter(1, [0.1, 1.5, 0.99, 0.3]))]
    rounds = {label: [] for label, _ in cases}
    for _ in range(max(repeats, 5)):
        for label, call in cases:
            rounds[label].append(timeit.timeit(call, number=20_000) / 20_000)
    for label, _ in cases:
        print(f"  {label:46s} {statistics.median(rounds[label]) * 1e6:6.2f} us")


def main(repeats=15, only=""):
    global ONLY
    ONLY = only
    print(f"load: {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} {os.getloadavg()[2]:.2f} "
          f"on {os.cpu_count()} cores; medians of {repeats}, alternating")
    if only in "small calls":
        print("small calls (lambda call included; goal: array inputs <= 2 us):")
        call_overhead(repeats)
    # First, while the process is as young as a user's script: the C library
    # then hands freed memory of a few megabytes back to the system readily.
    print(f"\n{'among NumPy work vs a loop of its own':44s} {'among ms':>8s} {'own ms':>8s} "
          f"{'slower':>7s}  {'goal':7s} {'in place':>9s} {'fresh pages/call':>12s}")
    for label, call, data, count in every_module_among_numpy_work(repeats):
        among_numpy_work(label, call, data, count)
    print(f"\n{'':52s} {'ours ms':>9s} {'peer ms':>9s} {'ratio':>8s}  goal")

    knots = np.cumsum(rng.random(1000) + 0.01)
    values = np.sin(knots)
    queries = rng.uniform(knots[0], knots[-1], 1_000_000)
    side_by_side("slopeinterp vs Akima1DInterpolator, 1e3 knots 1e6 q",
                 lambda: orbitkit.slopeinterp(knots, values, queries),
                 lambda: Akima1DInterpolator(knots, values)(queries), ">= 3x", repeats)
    side_by_side("knotinterp vs CubicSpline, 1e3 knots 1e6 queries",
                 lambda: orbitkit.knotinterp(knots, values, queries),
                 lambda: CubicSpline(knots, values)(queries), ">= 3x", repeats)

    # The interpolators on 10^6 queries in ascending order and shuffled, the
    # two calls alternating in one loop; data of their own, so that the lines
    # below draw what they always drew.
    local = np.random.default_rng(6)
    for size, count, goal in (("1e5", 100_000, ">= 2x"), ("1e3", 1000, ">= 3x")):
        spaced = np.cumsum(local.random(count) + 0.01)
        heights = np.sin(spaced)
        ascending = np.sort(local.uniform(spaced[0], spaced[-1], 1_000_000))
        for order, asked in (("sorted", ascending), ("shuffled", local.permutation(ascending))):
            side_by_side(f"knotinterp vs CubicSpline {size} knots {order}",
                         lambda: orbitkit.knotinterp(spaced, heights, asked),
                         lambda: CubicSpline(spaced, heights)(asked), goal, repeats)
            side_by_side(f"slopeinterp vs Akima1DInterpolator {size} knots {order}",
                         lambda: orbitkit.slopeinterp(spaced, heights, asked),
                         lambda: Akima1DInterpolator(spaced, heights)(asked), goal, repeats)

    r = rng.permutation(1_000_000) / 1_000_000
    side_by_side("laginfo vs histogram2d per lag, 1e6 values 10 lags",
                 lambda: quietly(orbitkit.laginfo, r, 10, 16),
                 lambda: mutual_information_by_histogram(r, 10, 16), ">= 5x", max(3, repeats // 3))

    signal = rng.standard_normal(10_000_000)
    side_by_side("smoothwin vs uniform_filter1d, 1e7 values, 25",
                 lambda: orbitkit.smoothwin(signal, 25),
                 lambda: uniform_filter1d(signal, 25, mode="constant"), ">= 1.5x", repeats)
    weights = rng.random(25)
    side_by_side("smoothwin vs numpy.convolve, 1e7 values, 25 weights",
                 lambda: orbitkit.smoothwin(signal, weights),
                 lambda: np.convolve(signal, weights / weights.sum(), "same"), ">= 1.5x", repeats)

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "numbers.csv")
        np.savetxt(path, rng.standard_normal((200_000, 5)), delimiter=",", fmt="%.17g")
        side_by_side("textmatrix vs numpy.loadtxt, 1e6 numbers",
                     lambda: orbitkit.textmatrix(path),
                     lambda: np.loadtxt(path, delimiter=","), ">= 5x", max(3, repeats // 3))
        side_by_side("textmatrix vs pandas.read_csv, 1e6 numbers",
                     lambda: orbitkit.textmatrix(path),
                     lambda: pd.read_csv(path, header=None).to_numpy(), "ahead", repeats)

    def numpy_twister():
        return np.random.MT19937(5489).random_raw(10_000_000) * 2.3283064365386963e-10

    side_by_side("twistgen vs MT19937.random_raw scaled, 1e7",
                 lambda: orbitkit.twistgen(10_000_000), numpy_twister, "ahead", repeats)

    # Henon's x delay-embedded in 3 dimensions (delay 1), 10^6 points.
    x = orbitkit.foldmap(1_000_002, [-1.4, 0.3, 0, 0])[:, 0]
    embedded = np.column_stack([x[2:], x[1:-1], x[:-2]])
    few = max(3, repeats // 5)
    side_by_side("neardist vs cKDTree query k+1, 1e6 points 3-D k=16",
                 lambda: orbitkit.neardist(embedded, 16),
                 lambda: cKDTree(embedded).query(embedded, 17, workers=-1), ">= 2x", few)
    side_by_side("neardist vs cKDTree over-query+filter, w = 50",
                 lambda: orbitkit.neardist(embedded, 16, w=50),
                 lambda: nearest_by_tree(embedded, 16, 50), ">= 5x", few)
    side_by_side("neardist, every core vs one thread, w = 0",
                 lambda: orbitkit.neardist(embedded, 16),
                 with_threads(1, lambda: orbitkit.neardist(embedded, 16)), ">= 1.8x", few)

    # Henon in 2 dimensions, 10^5 points; 13 radii 2^-14 ... 2^-2 of its
    # extent. count_neighbors counts ordered pairs at distances up to r, the
    # points with themselves too: below r is up to the next double down.
    henon = orbitkit.foldmap(100_000, [-1.4, 0.3, 0, 0])
    radii = np.ptp(henon, axis=0).max() * 2.0 ** np.arange(-14, -1)
    tree_count = lambda: (cKDTree(henon).count_neighbors(cKDTree(henon), np.nextafter(radii, 0))
                          - len(henon)) // 2
    side_by_side("corrsum vs cKDTree.count_neighbors, 1e5 points",
                 lambda: orbitkit.corrsum(henon, radii), tree_count, ">= 2x", few)
    side_by_side("corrsum, every core vs one thread",
                 lambda: orbitkit.corrsum(henon, radii),
                 with_threads(1, lambda: orbitkit.corrsum(henon, radii)), ">= 1.8x", few)
    if "corrsum" in only or not only:
        same = (orbitkit.corrsum(henon, radii).n == tree_count()).all()
        print(f"  corrsum's counts {'equal' if same else 'differ from'} count_neighbors' pairs "
              "below r")

    # Henon's x, 10^5 samples: its embedding dimensions 1 ... 7, and its
    # delay embedding in 2 dimensions followed 30 steps.
    x = henon[:, 0]
    side_by_side("embeddim vs cKDTree, 1e5 Henon x, mmax 6, w 10",
                 lambda: orbitkit.embeddim(x, 6, tau=1, w=10),
                 lambda: embedding_statistics_by_tree(x, 6, 1, 10), ">= 5x", few)
    side_by_side("embeddim, every core vs one thread",
                 lambda: orbitkit.embeddim(x, 6, tau=1, w=10),
                 with_threads(1, lambda: orbitkit.embeddim(x, 6, tau=1, w=10)), ">= 1.7x", few)
    if "embeddim" in only or not only:
        apart = max(largest_relative_difference(ours, theirs) for ours, theirs in
                    zip(orbitkit.embeddim(x, 6, tau=1, w=10),
                        embedding_statistics_by_tree(x, 6, 1, 10)))
        print(f"  embeddim's F, E1 and E2 within {apart:.1e} (relative) of the cKDTree version's")
    plane = np.column_stack([x[1:], x[:-1]])
    side_by_side("lyapcurve vs cKDTree, 1e5 Henon x in 2-D, K 30, w 10",
                 lambda: orbitkit.lyapcurve(plane, 30, k=1, w=10),
                 lambda: divergence_curve_by_tree(plane, 30, 1, 10), ">= 5x", few)
    side_by_side("lyapcurve, every core vs one thread",
                 lambda: orbitkit.lyapcurve(plane, 30, k=1, w=10),
                 with_threads(1, lambda: orbitkit.lyapcurve(plane, 30, k=1, w=10)), ">= 1.7x",
                 few)
    if "lyapcurve" in only or not only:
        ours = orbitkit.lyapcurve(plane, 30, k=1, w=10)
        theirs = divergence_curve_by_tree(plane, 30, 1, 10)
        same = np.array_equal(ours.counts, theirs[1])
        print(f"  lyapcurve's S within {largest_relative_difference(ours.curve, theirs[0]):.1e} "
              f"(relative) of the cKDTree version's, n {'equal' if same else 'different'}")

    # White noise: permen over 10^7 samples (m = 6), dfa over 10^6 with 16
    # sizes spaced evenly in log from 10 to 10^5.
    noise = rng.standard_normal(10_000_000)
    side_by_side("permen vs argsort+unique, 1e7 noise, m 6",
                 lambda: orbitkit.permen(noise, 6),
                 lambda: permutation_counts_by_sorting(noise, 6), ">= 20x", 3)
    side_by_side("permen, every core vs one thread",
                 lambda: orbitkit.permen(noise, 6),
                 with_threads(1, lambda: orbitkit.permen(noise, 6)), ">= 1.8x", few)
    if "permen" in only or not only:
        ours = orbitkit.permen(noise[:1_000_000], 6).counts
        theirs = permutation_counts_by_sorting(noise[:1_000_000], 6)
        print(f"  permen's counts {'equal' if np.array_equal(ours, theirs) else 'differ from'} "
              "the sorted patterns' counts")
    series, sizes = noise[:1_000_000], np.round(np.logspace(1, 5, 16))
    side_by_side("dfa vs reshaped windows + lstsq, 1e6, 16 sizes",
                 lambda: orbitkit.dfa(series, sizes),
                 lambda: fluctuations_by_least_squares(series, sizes), ">= 10x", few)
    side_by_side("dfa, every core vs one thread",
                 lambda: orbitkit.dfa(series, sizes),
                 with_threads(1, lambda: orbitkit.dfa(series, sizes)), ">= 1.8x", few)
    if "dfa" in only or not only:
        apart = largest_relative_difference(orbitkit.dfa(series, sizes),
                                            fluctuations_by_least_squares(series, sizes))
        print(f"  dfa's F within {apart:.1e} (relative) of the least-squares version's")
    # rqa: Henon in 2 dimensions, maximum norm, window 1, at a radius where
    # about 1% of the pairs recur. The dense version holds the 2e4 x 2e4
    # matrix (400 MB).
    henon_2e4 = henon[:20_000]
    r_1 = 0.038
    side_by_side("rqa vs NumPy dense matrix, 2e4 Henon 2-D, RR ~1%",
                 lambda: orbitkit.rqa(henon_2e4, r_1),
                 lambda: recurrence_by_dense_matrix(henon_2e4, r_1), ">= 50x", max(3, few // 3))
    if "rqa" in only or not only:
        ours = orbitkit.rqa(henon_2e4, r_1)
        theirs = recurrence_by_dense_matrix(henon_2e4, r_1)
        m = ours.measures
        same = (np.array_equal(ours.diagonal, theirs[1]) and np.array_equal(ours.vertical, theirs[2])
                and (m.rr, m.det, m.l, m.lam, m.tt) == theirs[0])
        print(f"  rqa's RR {m.rr:.4f}, DET {m.det:.3f}, LAM {m.lam:.4f}: measures and histograms "
              f"{'equal' if same else 'differ from'} the dense version's")
    side_by_side("rqa, 1e5 Henon 2-D, RR ~1%: every core vs one thread",
                 lambda: orbitkit.rqa(henon, r_1),
                 with_threads(1, lambda: orbitkit.rqa(henon, r_1)), ">= 1.8x; < 1 s", few)
    # Sample and approximate entropy, m = 2, r = 0.2 sigma: 10^5 samples of
    # white noise and of Henon's x.
    noise = rng.standard_normal(100_000)
    for name, series in (("white noise", noise), ("Henon x", x)):
        r = 0.2 * series.std()
        side_by_side(f"sampen vs cKDTree.count_neighbors, 1e5 {name}",
                     lambda: orbitkit.sampen(series, 2, r), lambda: sampen_by_tree(series, 2, r),
                     ">= 5x", few)
        if "sampen" in only or not only:
            ours = orbitkit.sampen(series, 2, r)
            theirs = sampen_by_tree(series, 2, r)
            same = ours.a[0] == theirs[1] and ours.b[0] == theirs[2]
            print(f"  sampen's A and B {'equal' if same else 'differ from'} count_neighbors' pairs")
        side_by_side(f"apen vs cKDTree.query_ball_point, 1e5 {name}",
                     lambda: orbitkit.apen(series, 2, r), lambda: apen_by_tree(series, 2, r),
                     ">= 5x", few)
    side_by_side("sampen, every core vs one thread, 1e5 white noise",
                 lambda: orbitkit.sampen(noise), with_threads(1, lambda: orbitkit.sampen(noise)),
                 "(1.8x)", few)
    side_by_side("apen, every core vs one thread, 1e5 white noise",
                 lambda: orbitkit.apen(noise), with_threads(1, lambda: orbitkit.apen(noise)),
                 "(1.8x)", few)
    short = noise[:20_000]
    side_by_side("sampen vs NumPy every pair in blocks, 2e4 noise",
                 lambda: orbitkit.sampen(short, 2, 0.2), lambda: sampen_by_blocks(short, 2, 0.2),
                 ">= 50x", max(3, repeats // 5))
    mid = noise[:30_000]
    scales = np.arange(1, 21)
    side_by_side("sampen scales 1..20 in one call vs 20 calls, 3e4",
                 lambda: orbitkit.sampen(mid, 2, 0.2, scales=scales),
                 lambda: [orbitkit.sampen(mid, 2, 0.2, scales=s) for s in scales], "not slower",
                 few)
    if "sampen" in only or not only:
        long_x = orbitkit.foldmap(1_000_000, [-1.4, 0.3, 0, 0])[:, 0]
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        took = seconds(lambda: orbitkit.sampen(long_x))
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        print(f"  sampen, 1e6 Henon x, every core: {took:.2f} s (goal < 10 s); peak memory grew "
              f"{grown / 1024:.0f} MB (x is {long_x.nbytes / 2**20:.0f} MB)")
    henon_x = orbitkit.foldmap(100000, [-1.4, 0.3, 0, 0])[:, 0]
    side_by_side("simplex vs cKDTree over-query+filter, 1e5 Henon E 3 w 10",
                 lambda: orbitkit.simplex(henon_x, 3, w=10),
                 lambda: simplex_by_tree(henon_x, 3, 10), ">= 5x", few)
    side_by_side("simplex, every core vs one thread",
                 lambda: orbitkit.simplex(henon_x, 3, w=10),
                 with_threads(1, lambda: orbitkit.simplex(henon_x, 3, w=10)), ">= 1.8x", few)
    cx, cy = coupled_logistic(10000)
    sizes = np.arange(100, 9101, 1000)
    side_by_side("crossmap vs cKDTree per draw, 1e4, 10 sizes x 100",
                 lambda: orbitkit.crossmap(cx, cy, 2, sizes=sizes, samples=100),
                 lambda: crossmap_by_tree(cx, cy, 2, sizes, 100, 0), ">= 20x, < 2 s", few)
    side_by_side("crossmap, every core vs one thread",
                 lambda: orbitkit.crossmap(cx, cy, 2, sizes=sizes, samples=100),
                 with_threads(1, lambda: orbitkit.crossmap(cx, cy, 2, sizes=sizes, samples=100)),
                 ">= 1.8x", few)
    logistic = np.empty(5000)
    logistic[0] = 0.4
    for t in range(4999):
        logistic[t + 1] = 4 * logistic[t] * (1 - logistic[t])
    side_by_side("smap vs numpy.linalg.lstsq per row, 5000, E 3, theta 4",
                 lambda: orbitkit.smap(logistic, 3, theta=4.0),
                 lambda: smap_by_lstsq(logistic, 3, 4.0), ">= 10x", few)
    side_by_side("smap, every core vs one thread",
                 lambda: orbitkit.smap(logistic, 3, theta=4.0),
                 with_threads(1, lambda: orbitkit.smap(logistic, 3, theta=4.0)), ">= 1.8x", few)
    if "smap" in only or not only:
        ours = orbitkit.smap(logistic, 3, theta=4.0).predictions[:, 1]
        print(f"  smap's forecasts within "
              f"{largest_relative_difference(ours, smap_by_lstsq(logistic, 3, 4.0)):.1e} "
              f"(relative) of the lstsq version's")

    surrogates_on_clusters("surrogates, LocalCluster 2 processes vs one process", few)


if __name__ == "__main__":
    main(*([int(sys.argv[1])] if len(sys.argv) > 1 else []), *sys.argv[2:3])
