%QSPECTRUM  Generalized dimensions from nearest-neighbour distance moments.
%   D = QSPECTRUM (DISTANCES, GAMMAS, KMIN_LOW, KMIN_HIGH, KMAX)
%   [D, MOMENTS, MODEL] = QSPECTRUM (...)
%
%   For every moment order gamma in GAMMAS and every neighbour order k, the
%   power mean of order gamma of the k-th neighbour distances over all
%   reference points is formed,
%     MOMENTS(k, g) = (mean over points of r_k^gamma)^(1/gamma),
%   the geometric mean exp (mean (log r_k)) for gamma = 0. For a uniform
%   D-dimensional measure these means grow with k like
%     (Gamma (k + gamma/D) / Gamma (k))^(1/gamma)     (exp (psi (k)/D) for gamma = 0)
%   times a scale. For every kmin = KMIN_LOW ... KMIN_HIGH the D in
%   (max (0.05, -gamma/kmin), 128) and the scale in (0, 1e6) whose law fits
%   MOMENTS(kmin:KMAX, g) best are found, with the error
%   sum log (1 + (model - moment)^2 / 2) in the units of the distances.
%   D is the dimension of the points' measure for order q = 1 - gamma/D.
%
%   DISTANCES  M x N matrix: row j holds the distances of reference point j to
%              its 1st ... N-th nearest neighbour (not tested; a zero gives a
%              zero moment for gamma <= 0). NEARDIST gives them in this
%              layout, with a Theiler window: D = neardist (X, N, w, R).
%   GAMMAS     the G moment orders, any shape (all elements in storage order).
%   KMIN_LOW, KMIN_HIGH, KMAX  scalars, truncated toward zero (2.9 is 2):
%              1 <= KMIN_LOW <= KMIN_HIGH < KMAX <= N.
%   D (Python: dims)  G x K matrix, K = KMIN_HIGH - KMIN_LOW + 1: D(g, c)
%              for GAMMAS(g) and kmin = KMIN_LOW + c - 1. A NaN gamma gives NaN.
%   MOMENTS    N x G matrix of the means above.
%   MODEL      N x G matrix: rows kmin ... KMAX of column g hold the scaled law
%              of the last D the fit tried (not necessarily the returned D),
%              row kmin the scale for gamma ~= 0; a row k < KMIN_HIGH keeps
%              what the fit for kmin = k wrote last; rows before KMIN_LOW are 0.
%   The scale is searched up to 1e6 in the units of the distances; with
%   larger moments the fit saturates, so scale the distances first.
%
%   Threads: the moments (one per neighbour order and gamma) and the fits
%   (one per kmin and gamma) are shared out over the cores this process may
%   use, or over OMP_NUM_THREADS of them when that is set; small calls use
%   one. The results are the same, bit for bit, for every thread count.
%   Memory besides the three outputs: 2 * KMAX doubles per fit running.
%
%   Refused, with these messages:
%     fewer than 5 inputs       "qspectrum : distances, gammas, kmin_low,
%                                kmin_high and kmax must be given"
%     KMIN_LOW <= 0 (also NaN)  "kmin must be positive"
%     KMIN_HIGH >= KMAX         "kmax must be greater kmin_upper"
%     KMIN_LOW > KMIN_HIGH      "kmin_upper must be greater or equal to kmin_lower"
%     KMAX > N                  "kmax may not exceed length of v"
%     -gamma/KMIN_LOW >= 128    "kmin to small"
%     an empty scalar input     "Input 3 must not be empty" (or 4, 5)
%     not a real double array   "Input 1 must be a real double array" (or 2 ... 5)
%   (NaN and values beyond the 32-bit range in inputs 3 to 5 count as
%   -2147483648.)
%
%   Example:
%     d = sort (rand (500, 1) * ones (1, 20) .* (1:20) / 20, 2);   % grows like k
%     [D, m] = qspectrum (d, [-2 0 2], 1, 5, 20)
%
%   See also NEARDIST, CORRSUM, GRIDMASS, LAGINFO.
