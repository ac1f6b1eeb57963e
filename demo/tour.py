"""The demo tour from Python: demo/tour.m step by step, with the same table.

    python demo/tour.py [FIGURE_FILE]     (default: tour-python.png)

1. Orbits of three maps: Henon (foldmap), a bent tent map (peakiter) and a
   generalized baker map (baker).
2. The embedding delay from the first minimum of the auto mutual
   information (laginfo) of the rank-scaled Henon series.
3. The delay embedding (delaymatrix) and its generalized dimensions from the
   slopes of the box-counting partition sums (gridmass), from the growth of
   the nearest-neighbour distances (neardist on the whole orbit, with a
   Theiler window; qspectrum), and from the correlation sum (corrsum).
4. The embedding dimension from the false nearest neighbours and from how
   neighbour distances grow with the dimension (embeddim); the largest
   Lyapunov exponent from how neighbouring trajectories part (lyapcurve), of
   the Henon map and of the logistic map at 4.
5. Smoothing (smoothwin) and interpolation (knotinterp, slopeinterp) of a
   noisy series; a data file written and read back (textmatrix).
6. Complexity: the permutation entropy of the Henon x series and of white
   noise over the order m (permen); the sample and approximate entropy of
   the Henon x series and of white noise, and the multiscale entropy of
   white and of 1/f noise (sampen, apen); detrended fluctuation analysis of
   white noise and of a random walk (dfa).
7. Recurrences: the recurrence plot of 1000 Henon points from the pairs
   within r that neardist lists, the same count as rqa's, and the
   determinism and laminarity of 20000 points (rqa).
8. Prediction: simplex forecast skill of the Henon x series against the
   embedding dimension E and the horizon Tp (simplex) and the best E; S-map
   skill against theta, of the Henon x series and of AR(1) noise (smap);
   convergent cross mapping in both directions between two coupled
   logistic maps against the library size (crossmap).
9. A table of the estimates beside the published values, and a figure,
   headless.

The modules give the same bits as in Octave, and the arithmetic around them
is done as tour.m does it: sums in order, the C library's scalar sin, cos,
log and pow, no fused or vectorised shortcuts. So the table is tour.m's, row for
row. With the environment variable ORBITKIT_TOUR_EXACT set, each row ends
with its numbers to 17 digits, for comparing the two.
"""
from __future__ import annotations

import itertools
import math
import os
import sys
import tempfile
import time
from typing import Callable, Iterable, Union

import matplotlib  # type: ignore[import]  # its version here ships no types

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # type: ignore[import]
import numpy as np
import numpy.typing

import orbitkit

Array = numpy.typing.NDArray[np.float64]
#: A row of the table: label, value, its printf format, reference (text, or
#: a number printed in the value's format).
Row = tuple[str, Union[float, int, str], str, Union[float, str]]


def in_order_sum(values: Iterable[float]) -> float:
    """The sum of the values in order, as tour.m sums them."""
    total = 0.0
    for value in values:
        total += float(value)
    return total


def line_fit(u: Iterable[float], v: Iterable[float]) -> tuple[float, float]:
    """The least-squares line v = a u + b, as tour.m's line_fit computes it."""
    us, vs = [float(one) for one in u], [float(one) for one in v]
    mu, mv = in_order_sum(us) / len(us), in_order_sum(vs) / len(vs)
    du = [one - mu for one in us]
    a = in_order_sum(d * (one - mv) for d, one in zip(du, vs)) / in_order_sum(d * d for d in du)
    return a, mv - a * mu


def slope(u: Iterable[float], v: Iterable[float]) -> float:
    return line_fit(u, v)[0]


def log2(values: Iterable[float]) -> list[float]:
    return [math.log2(one) for one in values]


def rms(values: Iterable[float]) -> float:
    squares = [float(one) * float(one) for one in values]
    return math.sqrt(in_order_sum(squares) / len(squares))


def bisect(f: Callable[[float], float], a: float, b: float) -> float:
    """The root of f between a and b, where f changes sign, to the last bit."""
    below = f(a) < 0
    while True:
        m = (a + b) / 2
        if m <= a or m >= b:
            return a
        if (f(m) < 0) == below:
            a = m
        else:
            b = m


def first_minimum(mi: Array) -> tuple[int, bool]:
    """The first lag after which the information grows again; a map's orbit
    forgets itself at once, so without a minimum the delay is 1."""
    rising = np.nonzero(np.diff(mi[1:]) > 0)[0]   # mi[0] is lag 0
    return (int(rising[0]) + 1, True) if rising.size else (1, False)


def randn_fixed(count: int) -> list[float]:
    """Reproducible noise from the toolbox's own generator (Box-Muller)."""
    eps = float(np.finfo(np.float64).eps)
    u = [min(max(float(one), eps), 1 - eps) for one in orbitkit.twistgen(2 * count)[:, 0]]
    return [math.sqrt(-2 * math.log(a)) * math.cos(2 * math.pi * b)
            for a, b in zip(u[:count], u[count:])]


def pink_noise(g: Array, count: int, octaves: int) -> Array:
    """1/f noise by summing Gaussian values of which the k-th is drawn afresh
    every 2^k samples, k = 0 ... octaves - 1 (Voss), the terms added in order:
    its spectrum falls as 1/f over that many octaves. g holds the values, used
    from its start."""
    y = np.zeros(count)
    t = np.arange(count)
    used = 0
    for k in range(octaves):
        held = t // 2 ** k
        y = y + g[used + held]
        used += int(held[-1]) + 1
    return y


def corr_baker(eta: float, l1: float, l2: float) -> float:
    """Correlation dimension of the baker map's Cantor direction: the d with
    eta^2 l1^-d + (1-eta)^2 l2^-d = 1, plus 1 for the stretched direction."""
    return 1 + bisect(lambda d: math.pow(eta, 2) * math.pow(l1, -d) +
                      math.pow(1 - eta, 2) * math.pow(l2, -d) - 1, 0.05, 1.0)


def number_text(fmt: str, value: float) -> str:
    """The value in a printf format, NaN and Inf spelled as tour.m's printf
    spells them."""
    if math.isnan(value):
        return "NaN"
    if math.isinf(value):
        return "Inf" if value > 0 else "-Inf"
    return fmt % value


def print_table(table: list[Row], exact: bool) -> None:
    """The rows as tour.m's print_table prints them."""
    print(f"{'estimate':44s} {'value':>9s} {'reference':>12s}")
    for label, value, fmt, reference in table:
        numbers: list[float] = []
        if not isinstance(value, str):
            numbers.append(value)
            value = number_text(fmt, value)
        if not isinstance(reference, str):
            numbers.append(reference)
            reference = number_text(fmt, reference)
        line = f"{label:44s} {value:>9s} {reference:>12s}"
        if exact:
            line += "".join(" " + number_text("%.17g", one) for one in numbers)
        print(line)


def main(figure_file: str = "tour-python.png") -> None:
    start = time.perf_counter()

    # ---- 1. orbits ------------------------------------------------------------
    n, transient = 1_000_000, 1000
    henon = orbitkit.foldmap(n + transient, [-1.4, 0.3, 0, 0])[transient:]  # x' = 1 - 1.4 x^2 + 0.3 y
    x = henon[:, 0]
    tent = orbitkit.peakiter(n // 10, [0.5, 1.5, 0.999, 0.3])
    eta, l1, l2 = 0.4, 0.3, 0.4
    bake = orbitkit.baker(n // 2 + transient, [eta, l1, l2, 0.1, 0.2])[transient:]

    # ---- 2. delay from the mutual information ---------------------------------
    ranks = np.empty(n)
    ranks[np.argsort(x, kind="stable")] = np.arange(n) / n   # rank-scaled into [0, 1)
    maxlag = 12
    mi = orbitkit.laginfo(ranks, maxlag, 16)
    delay, found = first_minimum(mi)

    # ---- 3. embedding and dimensions ------------------------------------------
    embedded = orbitkit.delaymatrix(x, 2, delay).embedding
    bins = [2.0 ** e for e in range(2, 12)]
    h0, h1, h2 = orbitkit.gridmass(embedded, bins)
    fine = slice(4, None)                                     # the scaling range: 64 ... 2048 bins
    d_box, d_info, d_corr = (-slope(log2(bins[fine]), h[fine, -1]) for h in (h0, h1, h2))
    # The baker set is denser: its boxes fill up to 512 bins. Its Cantor
    # direction makes the local slopes swing around the mean.
    coarse = slice(2, 8)
    bh0, _, bh2 = orbitkit.gridmass(bake, bins)
    baker_box = -slope(log2(bins[coarse]), bh0[coarse, -1])
    baker_corr = -slope(log2(bins[coarse]), bh2[coarse, -1])
    tent_box = -slope(log2(bins[fine]), orbitkit.gridmass(tent, bins).h0[fine, -1])

    # Neighbours of every tenth point among all of them, leaving out the 10
    # points before and after each in time.
    window = 10
    distances = orbitkit.neardist(embedded, 32, window, np.arange(0, len(embedded), 10)).distances
    dims = orbitkit.qspectrum(distances, [-1.2, 0, 1], 4, 6, 32).dims
    q_dims = [in_order_sum(row) / dims.shape[1] for row in dims]   # the mean over kmin
    # The correlation sum of the first 200000 points: C(r) ~ r^D2.
    radii = [2.0 ** (-11 + 0.5 * i) for i in range(9)]
    C = orbitkit.corrsum(embedded[:200_000], radii, window).C
    d_corrsum = slope(log2(radii), log2(C))

    # ---- 4. embedding dimension and largest exponent --------------------------
    # A neighbour that parts when one more delay coordinate is added was near
    # only in projection; the dimension is the first m with almost none left.
    mmax = 6
    fnn, e1, e2 = orbitkit.embeddim(x[:100_000], mmax, delay, window)
    below = np.nonzero(fnn < 0.01)[0]
    d_embed = int(below[0]) + 1 if below.size else math.nan  # NaN: not reached by mmax
    # Neighbours part as exp(lambda * step) until they lie as far apart as the
    # attractor is wide; below that, the mean log distance S grows linearly.
    steps = 30
    growth = np.arange(1, 9)                                  # the steps fitted; S[0] is step 0
    S = orbitkit.lyapcurve(embedded[:50_000], steps, 1, window).curve
    lambda_fit = line_fit(growth, S[growth])
    # The logistic map at 4, u -> 4 u (1 - u), in the coordinate x = 2 u - 1
    # is x -> 1 - 2 x^2: the quadratic map with a = -2 and b = 0.
    logistic = orbitkit.foldmap(20000 + transient, [-2, 0, 0.3, 0])[transient:, 0]
    S_logistic = orbitkit.lyapcurve(logistic, steps, 1, window).curve
    lambda_logistic = slope(growth, S_logistic[growth])

    # ---- 5. smoothing, interpolation, a file ----------------------------------
    t = np.arange(201) * 0.05
    clean = np.array([math.sin(one) + 0.3 * math.sin(3 * one) for one in t])
    noisy = clean + 0.1 * np.array(randn_fixed(len(t)))
    smooth = orbitkit.smoothwin(noisy, 7)
    inner = slice(3, len(t) - 3)                              # the ends are pulled toward zero
    knots, knot_values = t[::10], clean[::10]
    fine_t = np.arange(1001) * 0.01
    truth = np.array([math.sin(one) + 0.3 * math.sin(3 * one) for one in fine_t])
    spline_fit = orbitkit.knotinterp(knots, knot_values, fine_t)
    akima_fit = orbitkit.slopeinterp(knots, knot_values, fine_t)
    handle, file = tempfile.mkstemp(suffix=".txt")
    with os.fdopen(handle, "w") as stream:
        stream.write("# Henon orbit, first 1000 points\n")
        stream.writelines(f"{a:.17g}, {b:.17g}\n" for a, b in henon[:1000])
    back = orbitkit.textmatrix(file)
    os.remove(file)
    round_trip = back is not None and np.array_equal(back[:, 0], henon[:1000].ravel())

    # ---- 6. complexity: order patterns and fluctuations -----------------------
    # One pool of reproducible Gaussian noise; its parts are independent.
    pool = randn_fixed(2 ** 18)
    noise = np.array(pool[:2 ** 17])
    # The order patterns of the Henon x series: a deterministic orbit never
    # shows most of the m! patterns, noise shows them all about equally.
    orders = list(range(2, 8))
    pe_henon = [orbitkit.permen(x, order).normalized for order in orders]
    pe_noise = [orbitkit.permen(noise, order).normalized for order in orders]
    pe_seen = int(np.count_nonzero(orbitkit.permen(x, 5).counts))   # of 5! = 120
    # Detrended fluctuation analysis (DFA1): F(n) ~ n^alpha, alpha 0.5 for
    # white noise and 1.5 for its running sum, a random walk.
    walk = np.array(list(itertools.accumulate(noise)))
    sizes = [2.0 ** e for e in range(4, 13)]
    F_noise = orbitkit.dfa(noise, sizes)
    F_walk = orbitkit.dfa(walk, sizes)
    alpha_noise = line_fit(log2(sizes), log2(F_noise))
    alpha_walk = line_fit(log2(sizes), log2(F_walk))
    # Sample entropy (m = 2, r = 0.2 sigma of each series): a chaotic orbit
    # repeats itself, noise does not. Over coarse-grained scales white noise
    # loses its entropy, while 1/f noise, with structure on every scale, keeps
    # it (Costa 2002).
    se_length = 2 ** 14
    se_henon = orbitkit.sampen(x[:se_length]).entropy[0]
    ae_henon = orbitkit.apen(x[:se_length])
    scales = np.arange(1, 21)
    mse_noise = orbitkit.sampen(noise[:se_length], 2, None, 1, 0, scales).entropy
    pink = pink_noise(np.array(pool[2 ** 17:]), se_length, 15)
    mse_pink = orbitkit.sampen(pink, 2, None, 1, 0, scales).entropy

    # ---- 7. recurrences -------------------------------------------------------
    # The recurrence plot of the first 1000 points at r = 0.02, maximum norm,
    # leaving out |i - j| <= 1 as rqa does: neardist lists each point's 32
    # nearest neighbours, enough here, since every 32nd lies beyond r.
    r_rec = 0.02
    D, I = orbitkit.neardist(henon[:1000], 32, 1, np.arange(1000), np.inf)
    rec_i, rec_k = np.nonzero(D <= r_rec)
    rec_j = I[rec_i, rec_k]
    n_plotted: float = len(rec_i)
    if np.any(D[:, -1] <= r_rec):                             # some may lie beyond the 32nd
        n_plotted = math.nan
    M1000 = orbitkit.rqa(henon[:1000], r_rec).measures
    # Determinism (share of recurrences on diagonal lines) and laminarity (on
    # vertical lines) of 20000 points.
    M = orbitkit.rqa(henon[:20000], r_rec).measures

    # ---- 8. prediction ----------------------------------------------------------
    # Simplex projection of the Henon x series from its own past, every point
    # forecast from its neighbours among the others (leave one out): the skill
    # rho falls with the horizon Tp, and one step ahead it peaks at the best
    # embedding dimension E.
    forecast_x = x[:1000]
    Es = list(range(1, 7))
    horizons = list(range(1, 11))
    rho_simplex = np.array([[orbitkit.simplex(forecast_x, e, 1, h).skill.rho for h in horizons]
                            for e in Es])
    best_E = Es[int(np.argmax(rho_simplex[:, 0]))]          # the first of equal maxima
    # S-map: local linear maps, the nearer library points weighted more as
    # theta grows. A nonlinear map gains skill with theta; a linear stochastic
    # series, AR(1) noise y(t) = 0.7 y(t-1) + e(t), does not.
    thetas = [0, 0.25, 0.5, 1, 1.5, 2, 3, 4, 6, 8]
    innovations = pool[-500:]                               # the pool's last, unused part
    ar = [innovations[0]]
    for step in range(1, 500):
        ar.append(0.7 * ar[-1] + innovations[step])
    rho_smap = np.array([[orbitkit.smap(series, best_E, 1, 1, theta).skill.rho
                          for series in (x[:500], np.array(ar))] for theta in thetas])
    # Convergent cross mapping on two coupled logistic maps (Sugihara 2012),
    # x driving y more strongly (0.1) than y drives x (0.02): y's past holds
    # x, so x cross-mapped from y's manifold reaches a higher plateau than y
    # from x's, as the library grows.
    cx, cy = [0.4], [0.2]
    for step in range(1000 - 1):
        cx.append(cx[step] * (3.8 - 3.8 * cx[step] - 0.02 * cy[step]))
        cy.append(cy[step] * (3.5 - 3.5 * cy[step] - 0.1 * cx[step]))
    libraries = [10, 20, 40, 70, 100, 200, 400, 700, 999]   # 999: all rows, t = 2 ... 1000
    samples = 20
    rho_x_from_y = [in_order_sum(row) / samples
                    for row in orbitkit.crossmap(cy, cx, 2, 1, libraries, samples)]
    rho_y_from_x = [in_order_sum(row) / samples
                    for row in orbitkit.crossmap(cx, cy, 2, 1, libraries, samples)]

    # ---- 9. report ------------------------------------------------------------
    baker_d0 = 1 + bisect(lambda d: math.pow(l1, d) + math.pow(l2, d) - 1, 0.1, 1.0)
    baker_d2 = corr_baker(eta, l1, l2)
    print(f"Henon map (a = -1.4, b = 0.3), {n} points, embedded in 2 dimensions with")
    if found:
        print(f"delay {delay}, the first minimum of the mutual information (16 bins).\n")
    else:
        print(f"delay {delay}: the mutual information (16 bins) falls without a minimum "
              f"up to lag {maxlag}.\n")
    table: list[Row] = [
        ("Henon D0, box counting (gridmass)", d_box, "%.3f", "1.26"),
        ("Henon D1, information (gridmass)", d_info, "%.3f", "D2 ... D0"),
        ("Henon D2, correlation (gridmass)", d_corr, "%.3f", "1.22"),
        ("Henon D2, correlation sum (corrsum)", d_corrsum, "%.3f", "1.22"),
        ("Henon D, gamma = -1.2, about D2 (qspectrum)", q_dims[0], "%.3f", "1.22"),
        ("Henon D, gamma = 0, D1 (qspectrum)", q_dims[1], "%.3f", "D2 ... D0"),
        ("Henon D, gamma = 1, toward D0 (qspectrum)", q_dims[2], "%.3f", "1.26"),
        ("Henon embedding dimension, F < 1% (embeddim)", d_embed, "%d", "2"),
        ("Henon largest exponent per step (lyapcurve)", lambda_fit[0], "%.3f", "0.419"),
        ("baker map D0 (gridmass; theory)", baker_box, "%.3f", baker_d0),
        ("baker map D2 (gridmass; theory)", baker_corr, "%.3f", baker_d2),
        ("bent tent map D0 (gridmass)", tent_box, "%.3f", "1"),
        ("logistic map 4x(1-x), exponent (lyapcurve)", lambda_logistic, "%.3f", math.log(2)),
        ("rms error, noisy; smoothed (smoothwin)", rms(noisy[inner] - clean[inner]), "%.4f",
         rms(smooth[inner] - clean[inner])),
        ("max error, cubic spline (knotinterp)", float(np.max(np.abs(spline_fit - truth))),
         "%.2e", ""),
        ("max error, Akima (slopeinterp)", float(np.max(np.abs(akima_fit - truth))), "%.2e", ""),
        ("text file round trip (textmatrix)", "exact" if round_trip else "DIFFERS", "%s",
         "exact"),
        ("Henon x PermEn, m = 5, normalized (permen)", pe_henon[orders.index(5)], "%.3f",
         "noise: 1"),
        ("Henon x SampEn; ApEn, m = 2 (sampen; apen)", se_henon, "%.3f", ae_henon),
        ("white noise SampEn, m = 2, 0.2 sd (sampen)", mse_noise[0], "%.3f", "2.185"),
        ("white noise, DFA alpha (dfa)", alpha_noise[0], "%.3f", "0.5"),
        ("random walk, DFA alpha (dfa)", alpha_walk[0], "%.3f", "1.5"),
        ("Henon x best E, simplex one step (simplex)", best_E, "%d", "2 or 3"),
        ("x from y, y from x, largest L (crossmap)", rho_x_from_y[-1], "%.3f", rho_y_from_x[-1]),
        ("Henon recurrences of 1000 (neardist; rqa)", n_plotted, "%d", M1000.recurrences),
        ("Henon DET; LAM, r = 0.02 (rqa)", M.det, "%.4f", M.lam),
    ]
    print_table(table, bool(os.environ.get("ORBITKIT_TOUR_EXACT")))

    # ---- the figure: the panels of tour.m ----------------------------------------
    # Three rows of five: the geometry of the attractor; its dimension and
    # dynamics; complexity, recurrences and filtering.
    figure, ((attractor, information, partition, correlation, neighbours),
             (dimension, parting, forecasts, maps, causality),
             (patterns, multiscale, fluctuations, recurrences, filtering)) = plt.subplots(
                 3, 5, figsize=(28, 15))
    attractor.plot(henon[:20000, 0], henon[:20000, 1], "k.", markersize=1)
    attractor.set(title="Henon attractor (foldmap)", xlabel="$x_n$", ylabel="$x_{n-1}$")
    information.plot(np.arange(maxlag + 1), mi, "o-")
    information.plot(delay, mi[delay], "r*", markersize=12)
    information.set(title="auto mutual information (laginfo), delay *", xlabel="lag",
                    ylabel="bits")
    log_bins = np.array(log2(bins))
    for h, marker, label in zip((h0, h1, h2), "osd", [r"$-\log_2 B$", r"$\sum \mu \log_2 \mu$",
                                                      r"$\log_2 \sum \mu^2$"]):
        partition.plot(log_bins, h[:, -1], marker, label=label)
        a, b = line_fit(log_bins[fine], h[fine, -1])
        partition.plot(log_bins[fine], a * log_bins[fine] + b, "k-")
    partition.legend(loc="lower left")
    partition.set(title="partition sums (gridmass) and fitted slopes", xlabel=r"$\log_2$ bins",
                  ylabel="bits")
    log_radii, log_c = np.array(log2(radii)), np.array(log2(C))
    a, b = line_fit(log_radii, log_c)
    correlation.plot(log_radii, log_c, "o")
    correlation.plot(log_radii, a * log_radii + b, "k-")
    correlation.set(title=f"correlation sum (corrsum), slope {a:.3f}",
                    xlabel=r"$\log_2 r$", ylabel=r"$\log_2 C(r)$")
    k = np.arange(1, distances.shape[1] + 1)
    neighbours.plot(np.log2(k), np.log2(distances).mean(axis=0), "o")
    neighbours.set(title="k-th neighbour distances (neardist), geometric mean",
                   xlabel=r"$\log_2 k$", ylabel=r"$\log_2$ distance")
    m = np.arange(1, mmax + 1)
    dimension.plot(m, fnn, "o-", label="F, false neighbours")
    dimension.plot(m, e1, "s-", label="E1")
    dimension.plot(m, e2, "d-", label="E2")
    dimension.legend(loc="upper right")
    dimension.set(title="embedding dimension (embeddim)", xlabel="dimension $m$", ylim=(0, 2.1))
    parting.plot(np.arange(steps + 1), S, "o", label="S, mean ln distance")
    drawn = np.arange(13)  # the fitted line, drawn on past the steps it was fitted to
    parting.plot(drawn, lambda_fit[0] * drawn + lambda_fit[1], "r-", linewidth=2,
                 label=f"fit over steps {growth[0]} ... {growth[-1]}")
    parting.legend(loc="lower right")
    parting.set(title=f"neighbours parting (lyapcurve), slope {lambda_fit[0]:.3f}",
                xlabel="step", ylabel="mean ln distance")
    for e, row in zip(Es, rho_simplex):
        forecasts.plot(horizons, row, "o-", label=f"E = {e}")
    forecasts.legend(loc="lower left")
    forecasts.set(title=f"simplex skill, Henon x (simplex); best E = {best_E}",
                  xlabel="horizon $T_p$", ylabel=r"$\rho$")
    maps.plot(thetas, rho_smap[:, 0], "o-", label="Henon x")
    maps.plot(thetas, rho_smap[:, 1], "s-", label="AR(1) noise")
    maps.legend(loc="lower right")
    maps.set(title=f"S-map skill one step ahead, E = {best_E} (smap)", xlabel=r"$\theta$",
             ylabel=r"$\rho$")
    causality.semilogx(libraries, rho_x_from_y, "o-", label="x from y (x drives y, 0.1)")
    causality.semilogx(libraries, rho_y_from_x, "s-", label="y from x (y drives x, 0.02)")
    causality.legend(loc="lower right")
    causality.set(title="cross mapping, coupled logistic maps (crossmap)",
                  xlabel="library size $L$", ylabel=r"$\rho$, mean over draws")
    patterns.plot(orders, pe_henon, "o-", label="Henon x")
    patterns.plot(orders, pe_noise, "s-", label="white noise")
    patterns.legend(loc="lower left")
    patterns.set(title=f"permutation entropy (permen); Henon: {pe_seen} of 5! patterns",
                 xlabel="order $m$", ylabel=r"$H / \ln m!$", ylim=(0.4, 1.05))
    multiscale.plot(scales, mse_noise, "o-", label="white noise")
    multiscale.plot(scales, mse_pink, "s-", label="1/f noise")
    multiscale.legend(loc="lower left")
    multiscale.set(title="multiscale entropy (sampen), m = 2, r = 0.2 sd", xlabel="scale",
                   ylabel="SampEn", xlim=(0, scales[-1]), ylim=(0, 2.5))
    log_sizes = np.array(log2(sizes))
    for F, fit, marker, label in ((F_noise, alpha_noise, "o", "white noise"),
                                  (F_walk, alpha_walk, "s", "random walk")):
        fluctuations.plot(log_sizes, log2(F), marker, label=f"{label}, alpha {fit[0]:.3f}")
        fluctuations.plot(log_sizes, fit[0] * log_sizes + fit[1], "k-")
    fluctuations.legend(loc="upper left")
    fluctuations.set(title="detrended fluctuations (dfa)", xlabel=r"$\log_2 n$",
                     ylabel=r"$\log_2 F(n)$")
    recurrences.plot(rec_i, rec_j, "k.", markersize=1)
    recurrences.set(title="recurrence plot, r = 0.02, max norm (neardist)", xlabel="$i$",
                    ylabel="$j$", xlim=(0, 999), ylim=(0, 999), aspect="equal")
    filtering.plot(t, noisy, ".", label="noisy")
    filtering.plot(t, smooth, "-", label="smoothwin")
    filtering.plot(fine_t, akima_fit, "--", label="slopeinterp")
    filtering.plot(knots, knot_values, "ko", label="knots")
    filtering.legend(loc="lower left")
    filtering.set(title="smoothing and interpolation", xlabel="$t$")
    figure.tight_layout()
    figure.savefig(figure_file, dpi=80)
    print(f"\nfigure: {figure_file} ({time.perf_counter() - start:.1f} s in all)")


if __name__ == "__main__":
    main(*sys.argv[1:])
