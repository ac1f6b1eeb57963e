## Octave tests of slopeinterp in the real host: loading, shapes, messages and
## the interval remembered between calls.

%!test
%! assert (strncmp (help ("slopeinterp"), "SLOPEINTERP  Akima interpolation.", 33));
%! assert (exist ("slopeinterp"), 3);

%!test
%! x = [0 1 2.5 3 4.2 5];
%! assert (slopeinterp (x, 2 * x + 1, 6), 13);
%! assert (slopeinterp (0:3, (0:3).^2, [0.5 2.5 -1 4]), [0.25; 6.25; 1; 16], 1e-13);
%! assert (slopeinterp ([0 1], [1 3], [-1 0.5 2]), [-1; 2; 5]);

%!test
%! ## A column in storage order of XX, whatever the shapes of the inputs.
%! x = [0 1 2.5 3 4 6];
%! y = [1 -1 0.5 2 2 -3];
%! q = [-1 0.3 2.7; 5 7 3];
%! yy = slopeinterp (x, y, q);
%! assert (size (yy), [6 1]);
%! assert (slopeinterp (x', reshape (y, 3, 2), q(:)'), yy);
%! assert (slopeinterp (x, [y 100 200], q), yy);
%! assert (size (slopeinterp (x, y, zeros (3, 0))), [0 1]);
%! r = slopeinterp (x, y, [NaN 0.3]);
%! assert (isnan (r(1)));
%! assert (r(2), yy(3));

%!test
%! ## The interval of the previous call is only a starting guess: a warm
%! ## cache, left by other data or queries, does not change the results.
%! x = [0 0.7 1.5 2 3.2 4 5.5];
%! y = [2 -1 0.5 3 1 -2 0];
%! q = [-1 x 0.35 1.9 2.5 6];
%! clear slopeinterp
%! cold = slopeinterp (x, y, q);
%! slopeinterp (0:100, sin (0:100), 99.5);
%! assert (slopeinterp (x, y, q), cold);
%! slopeinterp (x, y, 3.5);
%! assert (slopeinterp (x, y, 4), cold(7), 1e-12);   # 4 ends the interval of 3.5
%! assert (slopeinterp (x, y, fliplr (q)), flipud (cold), 1e-12);
%! assert (cold(2:8), y', 1e-12);

%!test
%! ## Split among threads or not, the same values, and the same interval left
%! ## for the next call (which decides the cubic used at a knot).
%! x = cumsum (0.5 + rand (1, 2000));
%! y = sin (x);
%! q = [x(randperm (2000)), x(1) + (x(end) - x(1)) * rand(1, 1e5), NaN(1, 9), x];
%! both_calls = @() {slopeinterp(x, y, q), slopeinterp(x, y, x)};
%! assert (with_threads ("2", both_calls), with_threads ("1", both_calls));

%!error <Akima interpolation : YY = AKIMA\(X,Y,XX\)> slopeinterp ([0 1], [1 2])
%!error <There should be at least two data points\.> slopeinterp (1, 2, 3)
%!error <Abscissa and ordinate vector should be of the same length\.> slopeinterp ([0 1 2], [1 2], 3)
%!error <Data point must be given with ascending x values> slopeinterp ([0 1 1 2], [1 2 3 4], 3)
%!error <Data point must be given with ascending x values> slopeinterp ([0 NaN 2], [1 2 3], 1)
%!error <Input 1 must be a real double array> slopeinterp (int32 ([0 1]), [1 2], 3)
%!error <Input 2 must be a real double array> slopeinterp ([0 1], logical ([1 0]), 3)
%!error <Input 3 must be a real double array> slopeinterp ([0 1], [1 2], sparse (3))
