"""The Henon part of the demo tour, from Python.

    python demo/tour.py [FIGURE_FILE]     (default: tour-python.png)

An orbit of the Henon map (foldmap); the embedding delay from the first
minimum of the auto mutual information (laginfo) of the rank-scaled series;
the delay embedding (delaymatrix) and its generalized dimensions from the
slopes of the box-counting partition sums (gridmass), from the growth of the
nearest-neighbour distances (neardist on the whole orbit, with a Theiler
window; qspectrum) and from the correlation sum (corrsum); the embedding
dimension from the false nearest neighbours and from how neighbour distances
grow with the dimension (embeddim); the largest Lyapunov exponent from how
neighbouring trajectories part (lyapcurve). Prints the estimates beside the
published values and writes a figure, headless.
"""
import sys
import time

import matplotlib  # type: ignore[import]  # its version here ships no types

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # type: ignore[import]
import numpy as np
import numpy.typing

import orbitkit


def first_minimum(mi: numpy.typing.NDArray[np.float64]) -> tuple[int, bool]:
    """The first lag after which the information grows again; a map's orbit
    forgets itself at once, so without a minimum the delay is 1."""
    rising = np.nonzero(np.diff(mi[1:]) > 0)[0]   # mi[0] is lag 0
    return (int(rising[0]) + 1, True) if rising.size else (1, False)


def main(figure_file: str = "tour-python.png") -> None:
    start = time.perf_counter()
    n, transient = 1_000_000, 1000
    henon = orbitkit.foldmap(n + transient, [-1.4, 0.3, 0, 0])[transient:]
    x = henon[:, 0]

    ranks = np.empty(n)
    ranks[np.argsort(x, kind="stable")] = np.arange(n) / n   # rank-scaled into [0, 1)
    maxlag = 12
    mi = orbitkit.laginfo(ranks, maxlag, 16)
    delay, found = first_minimum(mi)

    embedded = orbitkit.delaymatrix(x, 2, delay).embedding
    bins = 2.0 ** np.arange(2, 12)
    sums = orbitkit.gridmass(embedded, bins)
    fine = slice(4, None)                                     # the scaling range: 64 ... 2048 bins
    log_bins = np.log2(bins)
    d_box, d_info, d_corr = (-np.polyfit(log_bins[fine], h[fine, -1], 1)[0] for h in sums)

    # Neighbours of every tenth point among all of them, leaving out the 10
    # points before and after each in time.
    window = 10
    distances = orbitkit.neardist(embedded, 32, w=window,
                                  refs=np.arange(0, len(embedded), 10)).distances
    q_dims = orbitkit.qspectrum(distances, [-1.2, 0, 1], 4, 6, 32).dims.mean(axis=1)
    # The correlation sum of the first 200000 points: C(r) ~ r^D2.
    radii = 2.0 ** np.arange(-11, -6.75, 0.5)
    C = orbitkit.corrsum(embedded[:200_000], radii, w=window).C
    corrsum_fit = np.polyfit(np.log2(radii), np.log2(C), 1)

    # A neighbour that parts when one more delay coordinate is added was near
    # only in projection; the dimension is the first m with almost none left.
    mmax = 6
    fnn, e1, e2 = orbitkit.embeddim(x[:100_000], mmax, delay, window)
    below = np.nonzero(fnn < 0.01)[0]
    d_embed = int(below[0]) + 1 if below.size else float("nan")  # nan: not reached by mmax
    # Neighbours part as exp(lambda * step) until they lie as far apart as the
    # attractor is wide; below that, the mean log distance S grows linearly.
    steps = 30
    growth = np.arange(1, 9)                                  # the steps fitted; S[0] is step 0
    S = orbitkit.lyapcurve(embedded[:50_000], steps, w=window).curve
    lambda_fit = np.polyfit(growth, S[growth], 1)

    print(f"Henon map (a = -1.4, b = 0.3), {n} points, embedded in 2 dimensions with")
    if found:
        print(f"delay {delay}, the first minimum of the mutual information (16 bins).\n")
    else:
        print(f"delay {delay}: the mutual information (16 bins) falls without a minimum "
              f"up to lag {maxlag}.\n")
    rows = [("Henon D0, box counting (gridmass)", d_box, "1.26"),
            ("Henon D1, information (gridmass)", d_info, "D2 ... D0"),
            ("Henon D2, correlation (gridmass)", d_corr, "1.22"),
            ("Henon D2, correlation sum (corrsum)", corrsum_fit[0], "1.22"),
            ("Henon D, gamma = -1.2, about D2 (qspectrum)", q_dims[0], "1.22"),
            ("Henon D, gamma = 0, D1 (qspectrum)", q_dims[1], "D2 ... D0"),
            ("Henon D, gamma = 1, toward D0 (qspectrum)", q_dims[2], "1.26"),
            ("Henon embedding dimension, F < 1% (embeddim)", d_embed, "2"),
            ("Henon largest exponent per step (lyapcurve)", lambda_fit[0], "0.419")]
    print(f"{'estimate':44s} {'value':>9s} {'reference':>12s}")
    for label, value, reference in rows:
        shown = f"{value:9d}" if isinstance(value, int) else f"{value:9.3f}"
        print(f"{label:44s} {shown} {reference:>12s}")

    figure, ((attractor, information, partition, dimension),
             (correlation, neighbours, parting, _)) = plt.subplots(2, 4, figsize=(20, 9.6))
    _.set_axis_off()
    attractor.plot(henon[:20000, 0], henon[:20000, 1], "k.", markersize=1)
    attractor.set(title="Henon attractor (foldmap)", xlabel="$x_n$", ylabel="$x_{n-1}$")
    information.plot(np.arange(maxlag + 1), mi, "o-")
    information.plot(delay, mi[delay], "r*", markersize=12)
    information.set(title="auto mutual information (laginfo), chosen delay *", xlabel="lag",
                    ylabel="bits")
    for h, marker, label in zip(sums, "osd", [r"$-\log_2 B$", r"$\sum \mu \log_2 \mu$",
                                                r"$\log_2 \sum \mu^2$"]):
        partition.plot(log_bins, h[:, -1], marker, label=label)
        fit = np.polyfit(log_bins[fine], h[fine, -1], 1)
        partition.plot(log_bins[fine], np.polyval(fit, log_bins[fine]), "k-")
    partition.legend(loc="lower left")
    partition.set(title="partition sums (gridmass) and fitted slopes", xlabel=r"$\log_2$ bins",
                  ylabel="bits")
    m = np.arange(1, mmax + 1)
    dimension.plot(m, fnn, "o-", label="F, false neighbours")
    dimension.plot(m, e1, "s-", label="E1")
    dimension.plot(m, e2, "d-", label="E2")
    dimension.legend(loc="center right")
    dimension.set(title="embedding dimension (embeddim)", xlabel="dimension $m$")
    correlation.plot(np.log2(radii), np.log2(C), "o")
    correlation.plot(np.log2(radii), np.polyval(corrsum_fit, np.log2(radii)), "k-")
    correlation.set(title=f"correlation sum (corrsum), slope {corrsum_fit[0]:.3f}",
                    xlabel=r"$\log_2 r$", ylabel=r"$\log_2 C(r)$")
    k = np.arange(1, distances.shape[1] + 1)
    neighbours.plot(np.log2(k), np.log2(distances).mean(axis=0), "o")
    neighbours.set(title="k-th neighbour distances (neardist), geometric mean",
                   xlabel=r"$\log_2 k$", ylabel=r"$\log_2$ distance")
    parting.plot(np.arange(steps + 1), S, "o")
    parting.plot(growth, np.polyval(lambda_fit, growth), "k-")
    parting.set(title=f"neighbours parting (lyapcurve), slope {lambda_fit[0]:.3f}",
                xlabel="step", ylabel="mean ln distance")
    figure.tight_layout()
    figure.savefig(figure_file, dpi=80)
    print(f"\nfigure: {figure_file} ({time.perf_counter() - start:.1f} s in all)")


if __name__ == "__main__":
    main(*sys.argv[1:])
