## Octave tests of dfa in the real host: F from its windows as the
## definition gives them (fits by QR), the same on any thread count; the
## exponents of white noise, a random walk and 1/f noise; trends; messages.

%!function F = by_hand (x, n, order, q)
%!  x = x(:);  L = numel (x);
%!  Y = cumsum (x - sum (x) / L);
%!  for s = 1:numel (n)
%!    K = floor (L / n(s));
%!    starts = [(0:K - 1) * n(s), L - (1:K) * n(s)];
%!    A = (1:n(s))' .^ (0:order);
%!    [Q, ~] = qr (A, 0);
%!    F2 = zeros (2 * K, 1);
%!    for v = 1:2 * K
%!      y = Y(starts(v) + (1:n(s)));
%!      y = y - y(1);
%!      F2(v) = mean ((y - Q * (Q' * y)) .^ 2);
%!    endfor
%!    for j = 1:numel (q)
%!      if (q(j) == 0)
%!        F(s, j) = exp (mean (log (F2)) / 2);
%!      else
%!        F(s, j) = mean (F2 .^ (q(j) / 2)) ^ (1 / q(j));
%!      endif
%!    endfor
%!  endfor
%!endfunction

%!function h = slopes (n, F)
%!  for j = 1:columns (F)
%!    h(j) = polyfit (log (n(:)), log (F(:, j)), 1)(1);
%!  endfor
%!endfunction

%!test
%! x = randn (2001, 1) + 100;
%! n = [3 10 97 1000 2001];
%! for order = 0:3
%!   q = [2 0 -2 3];
%!   assert (dfa (x, n(n >= order + 2), order, q), by_hand (x, n(n >= order + 2), order, q), -1e-9);
%! endfor
%! assert (dfa (x', n'), by_hand (x, n, 1, 2), -1e-9);
%! walk = cumsum (randn (3e5, 1));
%! one = with_threads ("1", @() dfa (walk, [5 100 30000], 2, [-1 2]));
%! three = with_threads ("3", @() dfa (walk, [5 100 30000], 2, [-1 2]));
%! assert (three, one);

%!test
%! n = round (logspace (1, 3.3, 10));
%! x = randn (2^17, 1);
%! assert (slopes (n, dfa (x, n)), 0.5, 0.05);
%! assert (slopes (n, dfa (cumsum (x), n, 2)), 1.5, 0.05);
%! f = (1:2^16)';                                  # 1/f noise: amplitude 1/sqrt(f)
%! X = [0; exp(2i * pi * rand (2^16, 1)) ./ sqrt(f)];
%! pink = real (ifft ([X; conj(X(end - 1:-1:2))]));
%! assert (slopes (n, dfa (pink, n)), 1, 0.1);
%! h = slopes (n, dfa (x, n, 1, [-3 -1 0 1 2 3]));   # monofractal: flat h(q)
%! assert (max (h) - min (h) < 0.1);
%! t = (1:5000)' / 1000;
%! x = 0.25 + 3 * t - 2 * t .^ 2;                 # degree 3 in the profile
%! Y = cumsum (x - sum (x) / numel (x));
%! assert (dfa (x, [5 100 5000], 3) < 2e-12 * max (abs (Y)));

%!test
%! fail ("dfa (randn (30, 1))", "x and n must be given");
%! fail ("dfa (randn (30, 1), 10, 1, 2, 0)", "At most four inputs: x, n, order and q");
%! fail ("dfa (randn (30, 1), int8 (10))", "Input 2 must be a real double array");
%! fail ("dfa (ones (5, 5), 3)", "x must be a vector");
%! fail ("dfa ([1 Inf 2], 3)", "x must not hold NaN or Inf");
%! fail ("dfa (randn (30, 1), 10, [])", "Input 3 must not be empty");
%! fail ("dfa (randn (30, 1), 10, 6)", "order must be a whole number from 0 to 5");
%! fail ("dfa (randn (30, 1), [10 2])", "n must hold whole numbers from order \\+ 2 = 3 to the length of x, 30");
%! fail ("dfa (randn (30, 1), 31, 0)", "n must hold whole numbers from order \\+ 2 = 2 to the length of x, 30");
%! fail ("dfa (randn (30, 1), 10, 1, NaN)", "q must not hold NaN or Inf");
