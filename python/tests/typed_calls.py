"""Every function called as its help shows, with the results used as a
script would use them: a type checker in strict mode must accept it all,
and running it must work."""
import os
import tempfile

import numpy as np
import numpy.typing as npt

import orbitkit


def run() -> list[float]:
    seen: list[float] = []
    xy: npt.NDArray[np.float64] = orbitkit.foldmap(5000, [-1.4, 0.3, 0, 0])
    x = xy[:, 0]
    sums: orbitkit.GridmassResult = orbitkit.gridmass(xy, [8, 16, 32], workers=1)
    seen.append(float(sums.h0[0, 1]))
    ranks = np.empty(len(x))
    ranks[np.argsort(x)] = np.arange(len(x)) / len(x)
    seen.append(float(orbitkit.laginfo(ranks, 5, 16, verbose=False)[1]))
    e, pmax = orbitkit.delaymatrix(x, 2, 1)
    seen.append(pmax + e.shape[0])
    d, i = orbitkit.neardist(e, 8, w=10, refs=[0, 5], p=2)
    seen.append(float(d[0, 0] + i[1, 0]))
    seen.append(float(orbitkit.qspectrum(orbitkit.neardist(e, 8, w=10).distances,
                                         [-1, 0, 1], 1, 2, 8).dims[0, 0]))
    seen.append(float(orbitkit.corrsum(xy, [0.01, 0.1], w=10).C[1]))
    fnn, e1, e2 = orbitkit.embeddim(x, 3, tau=1, w=10, rtol=10.0, atol=2.0)
    seen.append(float(fnn[1] + e1[0] + e2[0]))
    curve = orbitkit.lyapcurve(e, 8, k=1, w=10).curve
    seen.append(float(np.polyfit(np.arange(1, 8), curve[1:8], 1)[0]))
    seen.append(orbitkit.histinfo([[0, 0, 1, 1]]))
    knots = np.arange(10.0)
    seen.append(float(orbitkit.knotinterp(knots, knots ** 2, [2.5, 3.5])[0]))
    seen.append(float(orbitkit.slopeinterp(knots, knots ** 2, [2.5, 3.5])[1]))
    seen.append(float(orbitkit.smoothwin(x[:100], window=5).sum()))
    seen.append(float(orbitkit.gainrider(x[:100], [10, 10], 4, 1e-3).max()))
    seen.append(float(orbitkit.peakiter(10, [0.1, 1.5, 0.99, 0.3]).sum()))
    seen.append(float(orbitkit.baker(10, [0.4, 0.3, 0.45, 0.1, 0.2]).sum()))
    seen.append(float(orbitkit.twistgen(3).sum()))
    seen.append(float(orbitkit.termset(2, 2).shape[1]))
    handle, name = tempfile.mkstemp(suffix=".txt")
    os.write(handle, b"1 2 3\n")
    os.close(handle)
    numbers = orbitkit.textmatrix(name)
    os.remove(name)
    if numbers is not None:
        seen.append(float(numbers.sum()))
    h: orbitkit.PermenResult = orbitkit.permen(x, 4, tau=1, weighted=False, workers=1)
    seen.append(h.normalized + float(h.counts[0]))
    F = orbitkit.dfa(x, [10, 100], order=1, q=2, workers=1)
    seen.append(float(np.polyfit(np.log([10, 100]), np.log(F), 1)[0]))
    se: orbitkit.SampenResult = orbitkit.sampen(x, 2, None, tau=1, w=0, scales=[1, 2], workers=1)
    seen.append(float(se.entropy[0] + se.a[1] + se.b[1]))
    seen.append(orbitkit.apen(x[:1000], 2, r=0.1, tau=1, workers=1))
    m: orbitkit.RqaMeasures = orbitkit.rqa(xy[:1000], 0.02, w=1, lmin=2, vmin=2, p=np.inf).measures
    seen.append(m.det + m.lam + m.recurrences)
    fit: orbitkit.SimplexResult = orbitkit.simplex(x, 2, tau=1, tp=1, w=0, lib=None, pred=[5, 9])
    seen.append(fit.skill.rho + float(fit.predictions[0, 1]))
    local: orbitkit.SmapResult = orbitkit.smap(x[:500], 2, theta=2.0, w=1)
    seen.append(local.skill.mae + float(local.coefficients[0, 0]))
    rho = orbitkit.crossmap(x[:500], xy[:500, 1], 2, sizes=[50, 400], samples=3, seed=None)
    seen.append(float(rho[1, 0]))
    try:
        orbitkit.smoothwin(x, 0)
    except orbitkit.Error as refused:
        seen.append(float(len(str(refused))))
    return seen


if __name__ == "__main__":
    print(run())
