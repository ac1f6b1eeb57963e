## Octave tests of embeddim in the real host: F, E1 and E2 as their
## definitions give them, added up in order, on any thread count; Henon's x
## needs two delay coordinates; messages.

%!function [F, E1, E2] = by_hand (x, mmax, tau, w, rtol, atol)
%!  x = x(:);
%!  N = numel (x);
%!  sigma = sqrt (sum ((x - sum (x) / N) .^ 2) / N);
%!  for m = 1:mmax + 1
%!    T = N - m * tau;
%!    V = x((1:T)' + (0:m - 1) * tau);
%!    R = delta = zeros (T, 1);
%!    for t = 1:T
%!      s = find (abs ((1:T)' - t) > w);
%!      [R(t), nearest] = min (distances_by_hand (V, t, s, Inf));  # the first: the lower s
%!      delta(t) = abs (x(t + m * tau) - x(s(nearest) + m * tau));
%!    endfor
%!    apart = R > 0;
%!    wide = max (R, delta)(apart);
%!    F(m, 1) = sum (delta(apart) ./ R(apart) > rtol | wide / sigma > atol) / sum (apart);
%!    E(m, 1) = sum (wide ./ R(apart)) / sum (apart);
%!    Estar(m, 1) = sum (delta) / T;
%!  endfor
%!  F = F(1:mmax);
%!  E1 = E(2:end) ./ E(1:end - 1);
%!  E2 = Estar(2:end) ./ Estar(1:end - 1);
%!endfunction

%!test
%! ## Integers: equal distances, ratios delta / R equal to rtol, and at
%! ## m = 1 every point has a twin, so that F(1) and E1(1) are NaN.
%! x = randi ([-3 3], 150, 1);
%! [F, E1, E2] = embeddim (x, 4, 2, 3, 1, 2);
%! assert ({F, E1, E2}, nthargout (1:3, @by_hand, x, 4, 2, 3, 1, 2));
%! assert (isnan ([F(1) E1(1)]));
%! ## The defaults, and a row taken as a column.
%! x = randn (1, 120);
%! assert (nthargout (1:3, @embeddim, x, 3), nthargout (1:3, @by_hand, x, 3, 1, 0, 10, 2));

%!test
%! x = foldmap (5000, [-1.4 0.3 0 0])(:, 1);
%! one = with_threads ("1", @() nthargout (1:3, @embeddim, x, 4, 1, 10));
%! three = with_threads ("3", @() nthargout (1:3, @embeddim, x, 4, 1, 10));
%! assert (three, one);
%! [F, E1] = one{1:2};
%! assert (size (F), [4 1]);
%! assert (F(1) > 0.5 && all (F(2:4) < 0.01));
%! assert (abs (E1(2:4) - 1) < 0.1);

%!test
%! fail ("embeddim (ones (30, 1))", "x and mmax must be given");
%! fail ("embeddim (ones (30, 1), 1, 1, 0, 10, 2, 0)", "At most six inputs: x, mmax, tau, w, rtol and atol");
%! fail ("embeddim (ones (30, 1), 1, single (1))", "Input 3 must be a real double array");
%! fail ("embeddim (ones (5, 5), 1)", "x must be a vector");
%! fail ("embeddim ([1; NaN; 2], 1)", "x must not hold NaN or Inf");
%! fail ("embeddim (ones (30, 1), [])", "Input 2 must not be empty");
%! fail ("embeddim (ones (30, 1), 0)", "mmax must be a whole number, at least 1");
%! fail ("embeddim (ones (30, 1), 1, 1.5)", "tau must be a whole number, at least 1");
%! fail ("embeddim (ones (30, 1), 1, 1, -1)", "w must be a whole number, at least 0");
%! fail ("embeddim (ones (30, 1), 1, 1, 0, NaN)", "rtol must be positive");
%! fail ("embeddim (ones (30, 1), 1, 1, 0, 10, 0)", "atol must be positive");
%! fail ("embeddim (ones (28, 1), 6, 1, 10)", "x is too short: mmax = 6, tau = 1 and w = 10 need at least 29 samples");
