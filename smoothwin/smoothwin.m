%SMOOTHWIN  Moving average of every column, plain or weighted.
%   Y = SMOOTHWIN (X, L)
%   Y = SMOOTHWIN (X, W)
%
%   Smooths every column of X, a signal of its own, with a window of n
%   samples centred on the output sample. With h = floor ((n - 1) / 2),
%   output sample k averages input samples k - h ... k - h + n - 1: for odd n
%   that is k - h ... k + h, for even n the window reaches one sample further
%   forward than back. Samples beyond the ends of a column count as zero and
%   the normaliser keeps its full value, so the first and last outputs are
%   pulled toward zero:
%     Y(k, j) = (sum over m = 1 ... n of X(k - h - 1 + m, j) * W(m)) / sum (W)
%   with all weights 1 and the divisor n for the plain average. Each output
%   is summed afresh over its window in window order, without a running sum.
%
%   X   M x N real double matrix; column j is a signal of M samples. A row
%       vector is N signals of one sample each.
%   L (Python: window)  the window length n, when the second input has one element: it is
%       truncated toward zero and must be at least 2. A length longer than
%       the signal is accepted: every output then sums all it covers and
%       divides by L.
%   W (Python: window)  the window, when the second input has more than one element: n is
%       the larger of its row and column counts and the weights are its first
%       n stored elements. W(1) weighs the earliest sample of the window; the
%       window is not reversed. The sum of the weights is the normaliser.
%   Y   M x N, the smoothed signals. NaN or Inf samples spread into every
%       output whose window covers them.
%
%   Large inputs are shared among threads: as many as OMP_NUM_THREADS says
%   when it is set to a positive number, otherwise one per core the process
%   may run on; small calls run on one. Every output is summed alone, in the
%   same order, on the widest vector unit the processor has, so the results
%   are the same, bit for bit, for every thread count and processor.
%
%   Refused, with these messages:
%     fewer than 2 inputs       "moving average filter : input data and length
%                                (or window vector) must be given"
%     L below 2, NaN, or beyond the 64-bit range
%                               "Average length too short"
%     weights summing to exactly 0 (e.g. [1 -1])
%                               "Mean of weight vector is zero"
%     an empty second input     "Input 2 must not be empty"
%     not a real double array   "Input 1 must be a real double array" (or 2)
%
%   Example:
%     t = (0:199)' / 200;
%     x = sin (2 * pi * t) + 0.2 * randn (200, 1);
%     y = smoothwin (x, 9);                  % plain average over 9 samples
%     z = smoothwin (x, [1 2 3 2 1]);        % triangular weights
%
%   See also GAINRIDER, KNOTINTERP, SLOPEINTERP.
