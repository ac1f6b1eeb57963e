%LAGINFO  Auto mutual information of a time series over time lags, in bits.
%   I = LAGINFO (SERIES, MAXLAG, SIZES)
%
%   For every partition size B in SIZES, the values of SERIES are put into B
%   equal bins of [0, 1), and for every lag tau = 0 ... T (T = MAXLAG) the
%   n = L - T pairs (x(t), x(t+tau)), t = 1 ... n, are counted by pair of
%   bins. With mu(a,b) the share of the n pairs in bins (a, b) and h(a) the
%   share of all L values in bin a,
%     I(tau+1, p) = sum over occupied (a,b) of mu(a,b) * log2 (mu(a,b) / (h(a) h(b)))
%   in bits; log2 is formed as log (x) / 0.69314718055995. Every lag uses the
%   same n pairs. At lag 0 the result is the entropy of the binned series.
%   The first minimum of I over tau is a common choice of embedding delay.
%
%   SERIES  vector of L values in [0, 1), e.g. ranks scaled into that range:
%           (rank - 1) / L. Its length is the larger of its row and column
%           counts; a row or a column gives the same result. A SERIES with
%           no elements counts as length 0.
%   MAXLAG  the largest lag T, a scalar truncated toward zero (2.7 is 2);
%           0 <= T < L.
%   SIZES   vector of partition sizes (bins per axis), each truncated toward
%           zero, 2 ... 16384. Its length is the larger of its row and column
%           counts.
%   I       (T+1) x P matrix: row tau+1 for lag tau, column p for SIZES(p).
%
%   Before each partition size the line
%     Number of partitions per axis   : B
%   is printed (with several threads, a batch of sizes is computed before
%   its lines appear; lines and errors keep the order of SIZES).
%
%   Threads: the lags of up to one partition size per thread are shared out
%   among the threads; the count is OMP_NUM_THREADS when set, otherwise the
%   cores the process may use. Calls with fewer than about 200000 pairs in
%   all (sizes x lags x n) run on the calling thread alone. The result is
%   the same, bit for bit, for every thread count.
%
%   Memory: a table of B x B counts is formed only up to B = 1024, with
%   the list of pairs in the order they first occur (at most 8 MiB per
%   thread). Above that, and for series with fewer than B^2/16 pairs, the
%   counts take 4 bytes per pair and thread, whatever B, and another 4 bytes
%   per pair for each partition size being computed. The bins take 2 bytes
%   per value for each partition size being computed. (With 10^6 values and
%   16384 bins: about 10 MB on one thread, 14 MB on two.)
%
%   Refused, with these messages:
%     fewer than 3 inputs      "laginfo : Scalar time series, maximal timelag
%                               and number of partitions per axis must be given"
%     T >= L (also +Inf)       "Length of time series much to short for given
%                               timelag"
%     T < 0 (also NaN, -Inf)   "Maximal timelag may not be negative"
%     no partition size        "At least one partition size must be given"
%     a size below 2 or NaN    "Number of bins should be at least greater one"
%     a size above 16384       "Number of bins too large"
%     a value outside [0, 1)   "Data values must be rang values in the range
%     or NaN                    [0 1)" (after that size's progress line)
%     empty MAXLAG             "Input 2 must not be empty"
%     not a real double array  "Input 1 must be a real double array" (or 2, 3)
%
%   Example:
%     x = zeros (1, 10000); x(1) = 0.3;
%     for t = 2:10000, x(t) = 4 * x(t-1) * (1 - x(t-1)); end
%     [~, order] = sort (x); r(order) = (0:9999) / 10000;   % ranks in [0, 1)
%     I = laginfo (r, 10, [16 64]);
%     plot (0:10, I)
%
%   See also GRIDMASS, HISTINFO, DELAYMATRIX.
