%GRIDMASS  Box-counting partition sums of a point set at several resolutions.
%   H0 = GRIDMASS (POINTS, SIZES)
%   [H0, H1, H2] = GRIDMASS (POINTS, SIZES)
%
%   Lays grids of B bins per axis over the first K coordinates of the points,
%   for every partition size B in SIZES and every K = 1 ... N, and counts the
%   points in every occupied cell. With mu the share of the M points in a
%   cell, the three partition sums, in bits (log base 2), are
%     H0(p, K) = -log2 (number of occupied cells)
%     H1(p, K) = sum over the occupied cells of mu * log2 (mu)
%     H2(p, K) = log2 (sum over the occupied cells of mu^2)
%   Their slopes over log2 (B) estimate the generalized dimensions of orders
%   0 (box counting), 1 (information) and 2 (correlation): D0 = -dH0/dlog2 B,
%   D1 = -dH1/dlog2 B, D2 = -dH2/dlog2 B.
%
%   POINTS  M x N real double matrix, one point per row (M >= 2, 1 <= N <= 512).
%           All values are scaled together into one common range [min, max];
%           the data need not lie in [0, 1].
%   SIZES   vector of partition sizes, bins per axis; each is truncated toward
%           zero and must lie in 2 ... 16384. Its length is the larger of its
%           row and column counts.
%   H0, H1, H2  P x N matrices, P = numel (SIZES): row p for SIZES(p), column
%           K for the first K coordinates. The sums not requested are still
%           computed. log2 is formed as log (x) / 0.69314718055995.
%
%   When all values are equal, "Data values are indentical, nothing to
%   compute" is printed and all sums are 0.
%
%   Memory and threads: no grid is ever stored. For every resolution the
%   occupied cells are counted one coordinate at a time, in a table of at
%   most 512 KiB, or in a hash of the occupied cells where the grid is finer.
%   Working memory is about 8 bytes per point and 1 MiB of tables, plus up to
%   about 70 bytes per occupied cell of the finest grid counted (110 bytes
%   with 2^32 points or more), for each thread. The resolutions are
%   shared out among threads, and with 32768 points or more so are the
%   coordinates of a resolution, each counted behind the one before it: as
%   many threads as OMP_NUM_THREADS gives, otherwise one per core the process
%   may run on; small calls use one. The results are
%   the same, bit for bit, for every thread count. When memory runs out, the
%   call ends with the host's out-of-memory error.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "Gridmass : Data set of points (row vectors) and
%                               number of partitions (per axis) must be given"
%     M < 2                    "Data set must consist of at least two points
%                               (row vectors)"
%     N < 1                    "Data points must be at least of dimension one"
%     N > 512                  "Maximal dimension exceeded"
%     no partition size        "At least one partition size must be given"
%     a size below 2 or NaN    "Number of bins should be at least greater one"
%     a size above 16384       "Number of bins too large"
%     NaN or Inf in the data   "Data values seem not to be in range [0,1]"
%     not a real double array  "Input 1 must be a real double array" (or 2)
%
%   Example:
%     x = rand (10000, 2);                  % fills the square: D0 = 2
%     h0 = gridmass (x, [8 16 32]);
%     d0 = -diff (h0(:, 2)) ./ diff (log2 ([8 16 32]'))
%
%   See also LAGINFO, QSPECTRUM, DELAYMATRIX.
