"""The surrogate-data test for nonlinearity on the Henon x-series, on one
machine or on a cluster.

    python demo/surrogates.py [--workers N | --scheduler ADDRESS | --serial]
                              [--surrogates M] [--length N] [--figure FILE]

Two kinds of surrogate, half of them each: random shuffles keep the series'
values and nothing else (the null hypothesis: independent noise); phase-
randomised Fourier surrogates keep its amplitude spectrum (a linear Gaussian
process). The statistic is the correlation sum at one radius of the 2-D delay
embedding: a deterministic map crowds its points onto a thin set, so pairs
lie closer than in any linear process of the same spectrum. Each surrogate
is drawn from a child seed of its own, so the results do not depend on which
worker draws it or when: they equal the serial loop's bit for bit.

By default on a LocalCluster of N worker processes (2) with one thread each,
the modules on one thread in each; --scheduler ADDRESS uses a running cluster
(its workers need numpy and orbitkit); --serial loops in this process.
"""
from __future__ import annotations

import argparse
import os
import time
from typing import TYPE_CHECKING, Any, Callable, Sequence

import numpy as np
import numpy.typing as npt

import orbitkit

if TYPE_CHECKING:  # the serial loop runs without dask
    from distributed import Client

Series = npt.NDArray[np.float64]
Job = tuple[str, np.random.SeedSequence]

SEED = 20240611
TRANSIENT = 1000  # steps left out, so that the orbit is on the attractor
WINDOW = 10       # pairs at most this many steps apart are left out of the sums
RADIUS = 0.1      # the radius, in standard deviations of the series


def henon_x(length: int) -> Series:
    orbit = orbitkit.foldmap(length + TRANSIENT, [-1.4, 0.3, 0, 0])
    return np.ascontiguousarray(orbit[TRANSIENT:, 0], dtype=np.float64)


def shuffled(x: Series, rng: np.random.Generator) -> Series:
    return rng.permutation(x)


def phase_randomised(x: Series, rng: np.random.Generator) -> Series:
    """Every Fourier term turned by a random angle. The mean and, for an even
    length, the Nyquist term are left as they are: a real series needs them
    real."""
    spectrum = np.fft.rfft(x)
    angles = rng.uniform(0.0, 2.0 * np.pi, len(spectrum))
    angles[0] = 0.0
    if len(x) % 2 == 0:
        angles[-1] = 0.0
    return np.fft.irfft(spectrum * np.exp(1j * angles), len(x))


SURROGATES: dict[str, Callable[[Series, np.random.Generator], Series]] = {
    "shuffle": shuffled, "Fourier": phase_randomised}


def statistic(x: Series, radius: float) -> float:
    """The correlation sum at the radius of the 2-D delay embedding."""
    embedding = orbitkit.delaymatrix(x, 2, 1).embedding
    return float(orbitkit.corrsum(embedding, radius, w=WINDOW).C)


def surrogate_statistic(job: Job, x: Series, radius: float) -> float:
    kind, seed = job
    return statistic(SURROGATES[kind](x, np.random.default_rng(seed)), radius)


def plan(count: int, seed: int = SEED) -> list[Job]:
    """count // 2 shuffles, then the other surrogates Fourier ones."""
    kinds = ["shuffle"] * (count // 2) + ["Fourier"] * (count - count // 2)
    return list(zip(kinds, np.random.SeedSequence(seed).spawn(count)))


def run_serial(jobs: Sequence[Job], x: Series, radius: float) -> list[float]:
    return [surrogate_statistic(job, x, radius) for job in jobs]


def run_on_cluster(client: Client, jobs: Sequence[Job], x: Series, radius: float) -> list[float]:
    """One task per surrogate, the series sent to every worker once; the
    results in the order of the jobs, whichever finished first."""
    # Imported as a module (by the tests, the benchmark), this file must be
    # importable on the workers; run as a script, its functions travel whole.
    cluster: Any = client  # dask's Client methods carry no annotations
    if __name__ != "__main__":
        cluster.upload_file(__file__)
    series = cluster.scatter(x, broadcast=True)
    tasks = cluster.map(surrogate_statistic, list(jobs), x=series, radius=radius, pure=False)
    return [float(value) for value in cluster.gather(tasks)]


def local_client(workers: int) -> Client:
    """A client of a new LocalCluster, closed with it. One thread per worker
    process and one per module call: N processes keep N cores busy, no more.
    Its web page on any free port: several clusters may run at once."""
    from distributed import Client
    new_client: Any = Client  # it carries no annotations
    client: Client = new_client(n_workers=workers, threads_per_worker=1, processes=True,
                                env={"OMP_NUM_THREADS": "1"}, dashboard_address=":0")
    return client


def rank_test(original: float, values: Sequence[float]) -> tuple[bool, float]:
    """Rejected when the original lies beyond every surrogate, on either side:
    under the null hypothesis its rank is uniform, so that happens by chance
    with probability 2 / (M + 1), the level."""
    return original > max(values) or original < min(values), 2.0 / (len(values) + 1)


def draw(original: float, by_kind: dict[str, list[float]], path: str) -> None:
    import matplotlib  # type: ignore[import]
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt  # type: ignore[import]

    figure, panels = plt.subplots(1, len(by_kind), figsize=(9, 3.5), sharey=True,
                                 layout="constrained")
    for axes, (kind, values) in zip(panels, by_kind.items()):
        axes.hist(values, 20, color="tab:blue" if kind == "shuffle" else "tab:orange")
        axes.set(title=f"{len(values)} {kind} surrogates", xlabel="correlation sum")
        axes.ticklabel_format(axis="x", style="sci", scilimits=(0, 0))
        low, high = axes.get_xlim()
        if low <= original <= high:
            axes.axvline(original, color="black", label="Henon x")
            axes.legend()
        else:  # far beyond the surrogates: an arrow at the edge points to it
            edge = 1.0 if original > high else 0.0
            axes.annotate(f"Henon x\n{original:.4g}", xy=(edge, 0.85), xycoords="axes fraction",
                          xytext=(0.5 + (edge - 0.5) * 0.5, 0.85), ha="center", va="center",
                          arrowprops={"arrowstyle": "->"})
    panels[0].set_ylabel("surrogates")
    figure.suptitle(f"2-D delay embedding, radius {RADIUS} standard deviations")
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    figure.savefig(path, dpi=100, bbox_inches="tight")
    plt.close(figure)


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=2, help="LocalCluster processes (2)")
    where.add_argument("--scheduler", metavar="ADDRESS", help="a running cluster's scheduler")
    where.add_argument("--serial", action="store_true", help="a plain loop in this process")
    parser.add_argument("--surrogates", type=int, default=200, help="how many, both kinds (200)")
    parser.add_argument("--length", type=int, default=100_000, help="of the series (100000)")
    parser.add_argument("--figure", default="build/surrogates.png", help="the figure's file")
    args = parser.parse_args(argv)
    if args.surrogates < 2:
        parser.error("--surrogates: at least 2, one of each kind")

    x = henon_x(args.length)
    radius = RADIUS * float(np.std(x))
    jobs = plan(args.surrogates)
    if args.serial:
        start = time.perf_counter()
        values, where_run = run_serial(jobs, x, radius), "in this process"
    else:
        from distributed import Client
        connect: Any = Client  # it carries no annotations
        with connect(args.scheduler) if args.scheduler else local_client(args.workers) as client:
            start = time.perf_counter()  # once the cluster is up
            workers = len(client.scheduler_info()["workers"])
            values, where_run = run_on_cluster(client, jobs, x, radius), f"on {workers} workers"
    seconds = time.perf_counter() - start

    original = statistic(x, radius)
    print(f"Henon x, {len(x)} values: correlation sum {original:.4e} at r = {radius:.4g}")
    by_kind: dict[str, list[float]] = {kind: [] for kind in SURROGATES}
    for (kind, _), value in zip(jobs, values):
        by_kind[kind].append(value)
    for kind, kind_values in by_kind.items():
        rejected, level = rank_test(original, kind_values)
        print(f"{len(kind_values):4d} {kind:8s} surrogates: {min(kind_values):.4e} ... "
              f"{max(kind_values):.4e}; {'rejected' if rejected else 'not rejected'} "
              f"at level {level:.3f}")
    print(f"{len(jobs)} surrogates {where_run} in {seconds:.1f} s")
    draw(original, by_kind, args.figure)
    print(f"figure: {args.figure}")


if __name__ == "__main__":
    main()
