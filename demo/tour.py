"""The Henon part of the demo tour, from Python.

    python demo/tour.py [FIGURE_FILE]     (default: tour-python.png)

An orbit of the Henon map (foldmap); the embedding delay from the first
minimum of the auto mutual information (laginfo) of the rank-scaled series;
the delay embedding (delaymatrix) and its generalized dimensions from the
slopes of the box-counting partition sums (gridmass) and from the growth of
nearest-neighbour distances (qspectrum). Prints the estimates beside the
published values and writes a figure, headless.
"""
import contextlib
import io
import sys
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import orbitkit


def first_minimum(mi):
    """The first lag after which the information grows again; a map's orbit
    forgets itself at once, so without a minimum the delay is 1."""
    rising = np.nonzero(np.diff(mi[1:]) > 0)[0]   # mi[0] is lag 0
    return (int(rising[0]) + 1, True) if rising.size else (1, False)


def neighbour_distances(references, points, k):
    """Distances from each reference to its k nearest neighbours among the
    points, one row per reference; the nearest, the reference itself, is
    skipped."""
    d = np.empty((len(references), k))
    for first in range(0, len(references), 200):
        r = references[first:first + 200]
        squared = (r ** 2).sum(1)[:, None] + (points ** 2).sum(1)[None, :] - 2 * r @ points.T
        d[first:first + 200] = np.sqrt(np.sort(np.maximum(squared, 0), axis=1)[:, 1:k + 1])
    return d


def main(figure_file="tour-python.png"):
    start = time.perf_counter()
    n, transient = 1_000_000, 1000
    henon = orbitkit.foldmap(n + transient, [-1.4, 0.3, 0, 0])[transient:]
    x = henon[:, 0]

    ranks = np.empty(n)
    ranks[np.argsort(x, kind="stable")] = np.arange(n) / n   # rank-scaled into [0, 1)
    maxlag = 12
    with contextlib.redirect_stdout(io.StringIO()):           # progress lines kept quiet
        mi = orbitkit.laginfo(ranks, maxlag, 16)
    delay, found = first_minimum(mi)

    embedded = orbitkit.delaymatrix(x, 2, delay).embedding
    bins = 2.0 ** np.arange(2, 12)
    sums = orbitkit.gridmass(embedded, bins)
    fine = slice(4, None)                                     # the scaling range: 64 ... 2048 bins
    log_bins = np.log2(bins)
    d_box, d_info, d_corr = (-np.polyfit(log_bins[fine], h[fine, -1], 1)[0] for h in sums)

    points = embedded[::40]
    distances = neighbour_distances(points[::10], points, 32)
    q_dims = orbitkit.qspectrum(distances, [-1.2, 0, 1], 4, 6, 32).dims.mean(axis=1)

    print(f"Henon map (a = -1.4, b = 0.3), {n} points, embedded in 2 dimensions with")
    if found:
        print(f"delay {delay}, the first minimum of the mutual information (16 bins).\n")
    else:
        print(f"delay {delay}: the mutual information (16 bins) falls without a minimum "
              f"up to lag {maxlag}.\n")
    rows = [("Henon D0, box counting (gridmass)", d_box, "1.26"),
            ("Henon D1, information (gridmass)", d_info, "D2 ... D0"),
            ("Henon D2, correlation (gridmass)", d_corr, "1.22"),
            ("Henon D, gamma = -1.2, about D2 (qspectrum)", q_dims[0], "1.22"),
            ("Henon D, gamma = 0, D1 (qspectrum)", q_dims[1], "D2 ... D0"),
            ("Henon D, gamma = 1, toward D0 (qspectrum)", q_dims[2], "1.26")]
    print(f"{'estimate':44s} {'value':>9s} {'reference':>12s}")
    for label, value, reference in rows:
        print(f"{label:44s} {value:9.3f} {reference:>12s}")

    figure, (attractor, information, partition) = plt.subplots(1, 3, figsize=(15, 4.8))
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
    figure.tight_layout()
    figure.savefig(figure_file, dpi=80)
    print(f"\nfigure: {figure_file} ({time.perf_counter() - start:.1f} s in all)")


if __name__ == "__main__":
    main(*sys.argv[1:])
