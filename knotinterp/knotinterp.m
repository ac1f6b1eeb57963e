%KNOTINTERP  Cubic spline interpolation.
%   YY = KNOTINTERP (X, Y, XX)
%
%   Interpolates the data points (X, Y) with a cubic spline and returns its
%   values at the query abscissae XX. The spline has continuous first and
%   second derivatives at the knots X. At each end its third derivative equals
%   that of the cubic through the four end points, so data taken from any
%   cubic polynomial are reproduced exactly; three points give the parabola
%   through them and two points the straight line. Queries outside
%   [X(1), X(n)] are extrapolated with the cubic of the nearest end interval.
%
%   X   real double array of n >= 2 abscissae, strictly ascending; its shape
%       is ignored and its elements are taken in storage order (X(:)).
%   Y   real double array of at least n ordinates; its first n elements in
%       storage order are used, further ones are ignored.
%   XX  real double array of K query abscissae; its shape is ignored.
%   YY  1 x K row of the spline's values at XX(:), whatever the shape of XX.
%       A NaN query gives NaN; NaN or Inf in Y propagates.
%
%   The interval found for one query is remembered (also from one call to the
%   next) as the starting guess for the next, so sorted queries are cheap.
%   The results do not depend on it, except that a query exactly at a knot
%   that ends the remembered interval is evaluated with that interval's cubic
%   rather than the next one's, which agrees up to rounding. Unsorted queries
%   find their interval through a table of the knots by value.
%
%   Large calls split the queries among threads: OMP_NUM_THREADS of them when
%   that is set to a positive number, otherwise one per core available; the
%   results, and the interval remembered, are the same for any count. Working
%   memory is about 48 bytes per data point, besides the output.
%
%   Refused, with these messages:
%     fewer than 3 inputs       "Cubic spline : YY = MYSPLINE(X,Y,XX)"
%     n < 2                     "There should be at least two data points."
%     Y shorter than X          "Abscissa and ordinate vector should be of the
%                                same length."
%     X not strictly ascending  "Data point must be given with ascending x
%     (repeated, decreasing      values"
%     or NaN abscissae)
%     not a real double array   "Input 1 must be a real double array" (or 2, 3)
%
%   Example:
%     x = 0:0.5:3;
%     yy = knotinterp (x, x.^3 - 2*x, [-0.5 1.25 4])   % equals t.^3 - 2*t
%
%   See also SLOPEINTERP, SMOOTHWIN.
