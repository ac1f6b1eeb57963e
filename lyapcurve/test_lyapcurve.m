## Octave tests of lyapcurve in the real host: the curve as its definition
## gives it, added up in order, on any thread count; Henon's largest
## exponent; messages.

%!function [S, n] = by_hand (X, K, k, w, R, p)
%!  usable = (1:rows (X) - K)';
%!  d = zeros (numel (R), K + 1);
%!  for r = 1:numel (R)
%!    t = R(r);
%!    s = usable(abs (usable - t) > w);
%!    [~, order] = sortrows ([distances_by_hand(X, t, s, p) s]);  # by distance, then row
%!    U = s(order(1:k));
%!    for step = 0:K
%!      d(r, step + 1) = sum (distances_by_hand (X, t + step, U + step, p)) / k;
%!    endfor
%!  endfor
%!  for step = 1:K + 1
%!    parted = d(d(:, step) > 0, step);
%!    S(step, 1) = sum (log (parted)) / numel (parted);
%!    n(step, 1) = numel (parted);
%!  endfor
%!endfunction

%!test
%! ## Integer points: equal distances, which go by row, and some d = 0.
%! X = randi ([-2 2], 80, 2);
%! for p = [2 Inf]
%!   R = [5 1 5 74 31];
%!   [S, n] = lyapcurve (X, 6, 3, 2, R, p);
%!   assert ({S, n}, nthargout (1:2, @by_hand, X, 6, 3, 2, R, p));
%!   assert (nthargout (1:2, @lyapcurve, X, 6, 3, 2, [], p), {NaN(7, 1), zeros(7, 1)});
%! endfor
%! ## The defaults: one neighbour, no window, every usable row, Euclidean.
%! assert (nthargout (1:2, @lyapcurve, X, 4), nthargout (1:2, @by_hand, X, 4, 1, 0, 1:76, 2));

%!test
%! ## Henon: the curve rises by 0.419 a step, on any thread count.
%! xy = foldmap (10000, [-1.4 0.3 0 0]);
%! one = with_threads ("1", @() nthargout (1:2, @lyapcurve, xy, 10, 1, 10));
%! three = with_threads ("3", @() nthargout (1:2, @lyapcurve, xy, 10, 1, 10));
%! assert (three, one);
%! [S, n] = one{:};
%! assert (n, repmat (9990, 11, 1));
%! assert (abs ((S(9) - S(3)) / 6 - 0.419) < 0.02);

%!test
%! fail ("lyapcurve (ones (5, 1))", "X and K must be given");
%! fail ("lyapcurve (ones (5, 1), 1, 1, 0, 1, 2, 0)", "At most six inputs: X, K, k, w, R and p");
%! fail ("lyapcurve (ones (5, 1), int32 (1))", "Input 2 must be a real double array");
%! fail ("lyapcurve ([1; Inf], 0)", "X must not hold NaN or Inf");
%! fail ("lyapcurve (ones (5, 1), 5)", "K must be a whole number from 0 to N - 1 = 4");
%! fail ("lyapcurve (zeros (0, 2), 0)", "K must be a whole number from 0 to N - 1 = -1");
%! fail ("lyapcurve (ones (5, 1), 1, 0)", "k must be a whole number from 1 to 2147483647");
%! fail ("lyapcurve (ones (10, 1), 3, 1, 0, 8)", "R must hold usable rows of X, whole numbers from 1 to N - K = 7");
%! fail ("lyapcurve (ones (5, 1), 1, 1, 0, 1, 1)", "p must be 2 or Inf");
%! fail ("lyapcurve ((1:10)', 0, 4, 3)", "Not enough candidates: reference row 4 has 3 rows more than w = 3 apart, fewer than k = 4");
