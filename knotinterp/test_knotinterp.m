## Octave tests of knotinterp in the real host: loading, shapes, messages and
## the interval remembered between calls.

%!test
%! assert (strncmp (help ("knotinterp"), "KNOTINTERP  Cubic spline interpolation.", 39));
%! assert (exist ("knotinterp"), 3);

%!test
%! assert (knotinterp ([0 1], [1 3], [-1 0.5 2]), [-1 2 5]);
%! assert (knotinterp ([0 1 3], [1 2 0], 2), 5/3, 1e-15);

%!test
%! ## A row in storage order of XX, whatever the shapes of the inputs.
%! x = [0 1 2.5 3 4 6];
%! y = [1 -1 0.5 2 2 -3];
%! q = [-1 0.3; 2.7 5; 7 3];
%! yy = knotinterp (x, y, q);
%! assert (size (yy), [1 6]);
%! assert (knotinterp (x', reshape (y, 2, 3), q(:)'), yy);
%! assert (knotinterp (x, [y 100 200], q), yy);
%! assert (size (knotinterp (x, y, zeros (0, 3))), [1 0]);
%! r = knotinterp (x, y, [NaN 2.7]);
%! assert (isnan (r(1)));
%! assert (r(2), yy(2));

%!test
%! ## The interval of the previous call is only a starting guess: a warm
%! ## cache, left by other data or queries, does not change the results.
%! x = [0 0.7 1.5 2 3.2 4 5.5];
%! y = [2 -1 0.5 3 1 -2 0];
%! q = [-1 x 0.35 1.9 2.5 6];
%! clear knotinterp
%! cold = knotinterp (x, y, q);
%! knotinterp (0:100, sin (0:100), 99.5);
%! assert (knotinterp (x, y, q), cold);
%! knotinterp (x, y, 3.5);
%! assert (knotinterp (x, y, 4), cold(7), 1e-12);   # 4 ends the interval of 3.5
%! assert (knotinterp (x, y, fliplr (q)), fliplr (cold), 1e-12);
%! assert (cold(2:8), y, 1e-12);

%!test
%! ## Split among threads or not, the same values, and the same interval left
%! ## for the next call (which decides the cubic used at a knot).
%! x = cumsum (0.5 + rand (1, 2000));
%! y = sin (x);
%! q = [x(randperm (2000)), x(1) + (x(end) - x(1)) * rand(1, 1e5), NaN(1, 9), x];
%! both_calls = @() {knotinterp(x, y, q), knotinterp(x, y, x)};
%! assert (with_threads ("2", both_calls), with_threads ("1", both_calls));

%!error <Cubic spline : YY = MYSPLINE\(X,Y,XX\)> knotinterp ([0 1], [1 2])
%!error <There should be at least two data points\.> knotinterp (1, 2, 3)
%!error <Abscissa and ordinate vector should be of the same length\.> knotinterp ([0 1 2], [1 2], 3)
%!error <Data point must be given with ascending x values> knotinterp ([0 1 1 2], [1 2 3 4], 3)
%!error <Data point must be given with ascending x values> knotinterp ([0 NaN 2], [1 2 3], 1)
%!error <Input 1 must be a real double array> knotinterp (int32 ([0 1]), [1 2], 3)
%!error <Input 3 must be a real double array> knotinterp ([0 1], [1 2], single (3))
%!error <Input 2 must be a real double array> knotinterp ([0 1], [1 2i], 3)
