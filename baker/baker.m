%BAKER  Orbit of the generalized baker map on the unit square.
%   Y = BAKER (N, [ETA L1 L2 X0 Y0])
%
%   Iterates, from the starting point (X0, Y0), the piecewise-linear map that
%   cuts the unit square at height ETA:
%     lower strip, y < ETA:   (x, y) -> (L1 * x,       y / ETA)
%     upper strip, y >= ETA:  (x, y) -> (L2 * x + 0.5, (y - ETA) / (1 - ETA))
%   The second coordinate is stretched back onto the unit interval, the first
%   contracted into the bands [0, L1) and [0.5, 0.5 + L2). The offset of the
%   upper band is 0.5 whatever L2 is. A point exactly on the cut, and a NaN
%   in ETA or y, takes the upper strip.
%
%   N       number of samples: the first element of the first input, truncated
%           toward zero; it must be at least 1.
%   P (Python: params)  parameter vector [ETA L1 L2 X0 Y0]: any array of at least 5
%           elements, read in storage order (column by column); further
%           elements are ignored.
%   Y       N x 2 matrix. Row k is the k-th image of (X0, Y0), first
%           coordinate in column 1, second in column 2; the starting point
%           itself is not a row.
%
%   Nothing is limited or checked: points outside the square are mapped by
%   the same formulas, and ETA = 1 (with y >= 1) or ETA = 0 (with y < 0)
%   divide by zero; the resulting Inf or NaN are stored and iterated on.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "baker : number of samples to compute and
%                               parameter vector must be given"
%     N < 1, NaN or beyond the 32-bit integer range
%                              "requested number of samples must be positive"
%     fewer than 5 parameters  "Need parameter vector of length 5
%                               (eta,l1,l2,x0,y0)"
%     an empty first input     "Input 1 must not be empty"
%     not a real double array  "Input 1 must be a real double array" (or 2)
%
%   Example:
%     y = baker (20000, [0.4 0.3 0.45 0.1 0.2]);
%     plot (y(:, 1), y(:, 2), '.')          % a Cantor set of vertical lines
%
%   See also FOLDMAP, PEAKITER, GRIDMASS.
