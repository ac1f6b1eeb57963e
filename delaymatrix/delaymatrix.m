%DELAYMATRIX  Delay-embedding matrix of several simultaneously sampled series.
%   E = DELAYMATRIX (X, DIMS)
%   E = DELAYMATRIX (X, DIMS, DELAYS)
%   [E, PMAX] = DELAYMATRIX (X, DIMS, DELAYS, SHIFTS)
%
%   Builds one row per time t and one column per lagged copy of each series.
%   Series i (column i of X) contributes DIMS(i) copies, DELAYS(i) samples
%   apart; every series after the first may be read SHIFTS(i-1) samples
%   later than the current time. With the window of series i
%     w(i) = (DIMS(i) - 1) * DELAYS(i) + 1
%   and PMAX = max (w), row r of E (r = 1 ... M - PMAX) is the time
%   t = PMAX - 1 + r (counting samples from 1), and copy m = 0 ... DIMS(i)-1
%   of series i holds X(t - m * DELAYS(i) + SHIFTS(i-1), i) (shift 0 for
%   the first series). The times run up to M - 1: the last sample is never a
%   current time, so that a following sample always exists. Columns go
%   series by series, copies in order.
%
%   X       M x N real double matrix, one series per column.
%   DIMS    1 x N whole numbers >= 0; a series with 0 adds no column.
%   DELAYS  1 x N whole numbers >= 0 (default: all 1).
%   SHIFTS  1 x (N-1) whole numbers (default: all 0); with N = 1 it is not
%           used. For a series with copies its shift must be at least
%           w(i) - PMAX and at most 1, so that every value read lies inside
%           the series; the shift of a series without copies is not used.
%   E (Python: embedding)  (M - PMAX) x sum (DIMS) matrix; 0 rows when
%           PMAX = M.
%   PMAX    the longest window, a scalar (returned only when asked for).
%           Series without copies have the window 1 - DELAYS(i), so with
%           no copies at all PMAX can be 0 or negative.
%
%   Refused, with these messages:
%     not 2, 3 or 4 inputs                "wrong number of input arguments"
%     SHIFTS not real full double         "corrupt input arg 4"
%     DELAYS not real full double         "corrupt input arg 3"
%     DIMS or X not real full double      "corrupt input arg 1 or 2"
%       (classes are tested from the last input to the first; int32,
%        single, logical, char, complex and sparse arrays are refused)
%     DELAYS, DIMS, SHIFTS not 1 x N, 1 x N, 1 x (N-1)
%                                         "wrong matrix dimensions"
%     DIMS not whole in 0 ... 2147483647  "dimensions must be whole numbers
%                                          from 0 to 2147483647"
%     sum (DIMS) above 2147483647         "too many columns in the embedding"
%     DELAYS not whole in 0 ... 2147483647
%                                         "delays must be whole numbers from
%                                          0 to 2147483647"
%     SHIFTS not whole (NaN, Inf)         "shifts must be whole numbers"
%     PMAX greater than M                 "embedding window longer than the
%                                          series"
%     a shift reading outside its series  "shifts reach outside the series"
%   Working memory that cannot be obtained ends the call with
%   "mexFunction(): error while allocating memory" (defaults),
%   "get_p_max_index(): error while allocating memory" (windows) or
%   "embed(): error while allocating memory" (the result).
%
%   Example:
%     x = (1:10)';
%     [E, pmax] = delaymatrix (x, 3, 2)     % rows [5 3 1] ... [9 7 5], pmax 5
%     E2 = delaymatrix ([x, -x], [2 1], [1 1], 1)   % -x one step ahead
%
%   See also HISTINFO, LAGINFO, GRIDMASS.
