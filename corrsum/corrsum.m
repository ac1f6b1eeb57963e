%CORRSUM  Correlation sum of a point set, leaving out pairs close in time.
%   C = CORRSUM (X, R)
%   [C, N] = CORRSUM (X, R, W, P)
%
%   The pairs are the rows i < j of X with j - i > W (W is the Theiler
%   window). For every radius R(m), N(m) is the number of pairs whose
%   distance is below R(m), and C(m) = N(m) / (number of pairs), one rounded
%   division. For an attractor, C grows like R^D2 for small R: the local
%   slopes diff (log (C)) ./ diff (log (R)) estimate the correlation
%   dimension D2.
%
%   Distances as in NEARDIST: the Euclidean distance is the square root of
%   the sum, over the coordinates in order, of the squared differences, each
%   operation rounded; the maximum norm is the largest absolute difference.
%   The distance itself is compared with the radius (not its square with the
%   square of the radius, which can differ: on an integer lattice, pairs at
%   distance sqrt (2) are not below the radius sqrt (2)). The counts are
%   exact whole numbers.
%
%   X (Python: points)  N x d real matrix, one point per row, in time
%      order; NaN and Inf are refused.
%   R (Python: radii)  radii, any shape and order (all elements in storage
%      order); NaN is refused. A radius of 0 or below counts no pair, Inf
%      every pair.
%   W  Theiler window, a whole number >= 0 (default 0).
%   P  the norm: 2 (Euclidean, the default) or Inf (maximum norm).
%   C  numel (R) x 1: the fraction of the pairs below each radius.
%   N  numel (R) x 1: their number, as doubles.
%
%   The pairs are counted on a k-d tree, two nodes at a time: the pairs of
%   two nodes whose bounds put them all on one side of every radius are
%   counted at once. The time grows with the pairs that lie near a radius
%   (about those closer than the largest finite radius), not with N^2. The
%   pairs within the window (up to N W of them) are counted one by one and
%   taken off; when they are most of all pairs, the pairs outside the window
%   are counted one by one instead.
%
%   Threads: the tree is built, and the pairs of nodes counted, on the cores
%   this process may use, or on OMP_NUM_THREADS of them when that is set;
%   small calls use one. Counts are whole numbers, so the results are the
%   same for every thread count.
%   Memory besides X and the results, O(N): the tree, about 10 d + 10 bytes
%   per point, and 16 bytes per radius for each thread.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "X and r must be given"
%     more than 4 inputs       "At most four inputs: X, r, w and p"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 4)
%     NaN or Inf in X          "X must not hold NaN or Inf"
%     NaN in R                 "r must not hold NaN"
%     an empty W or P          "Input 3 must not be empty" (or 4)
%     W not whole, below 0     "w must be a whole number, at least 0"
%     P not 2 or Inf           "p must be 2 or Inf"
%     no pairs (N <= W + 1)    "No pairs: X needs more than w + 1 rows"
%
%   Example:
%     xy = foldmap (20000, [-1.4 0.3 0 0]);            % Henon orbit
%     r = 2 .^ (-10:-4);
%     C = corrsum (xy, r, 10);
%     slopes = diff (log (C)) ./ diff (log (r'))       % near 1.2
%
%   See also NEARDIST, QSPECTRUM, GRIDMASS.
