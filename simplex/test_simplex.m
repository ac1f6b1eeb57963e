## Octave tests of simplex in the real host: forecasts as the definition
## gives them, rows from 1, any thread count; known answers; messages.

## The forecast of row t from every library row, by hand.
%!function yhat = by_hand (x, E, tau, Tp, w, lib, k, t)
%!  lib = lib(abs (lib - t) > w);
%!  d = zeros (numel (lib), 1);
%!  for i = 1:numel (lib)
%!    s = 0;
%!    for c = 0:E-1
%!      s = s + (x(t - c * tau) - x(lib(i) - c * tau))^2;
%!    endfor
%!    d(i) = sqrt (s);
%!  endfor
%!  [~, order] = sortrows ([d lib(:)]);
%!  d = d(order(1:k));  s = lib(order(1:k));
%!  if (d(1) > 0)
%!    u = exp (-d / d(1));
%!  else
%!    u = double (d == 0);
%!  endif
%!  num = 0;  den = 0;
%!  for i = 1:k
%!    num = num + u(i) * x(s(i) + Tp);  den = den + u(i);
%!  endfor
%!  yhat = num / den;
%!endfunction

%!test
%! ## A Henon series with ties, library and prediction rows given.
%! xy = foldmap (400, [-1.4 0.3 0 0]);
%! x = round (xy(:, 1) * 20) / 20;
%! lib = [5:2:300 301:390];  pred = [398 5 17 17 250 400];
%! P = simplex (x, 3, 2, 2, 3, lib, pred, 4);
%! assert (size (P), [6 2]);
%! for r = 1:numel (pred)
%!   assert (P(r, 2), by_hand (x, 3, 2, 2, 3, lib, 4, pred(r)));
%! endfor
%! assert (P(1:5, 1), x(pred(1:5) + 2));
%! assert (isnan (P(6, 1)));

%!test
%! ## The same on one and on three threads; skill of a sine near 1.
%! xy = foldmap (20000, [-1.4 0.3 0 0]);
%! one = with_threads ("1", @() nthargout (1:2, @simplex, xy(:, 1), 2));
%! three = with_threads ("3", @() nthargout (1:2, @simplex, xy(:, 1), 2));
%! assert (three, one);
%! [~, S] = simplex (sin (0.1 * (1:1000)'), 2);
%! assert (S(1) > 0.999);
%! [~, S] = simplex (randn (2000, 1), 2);
%! assert (abs (S(1)) < 0.1);

%!error <x and E must be given> simplex (1:10)
%!error <x must not hold NaN or Inf> simplex ([1 NaN 3], 1)
%!error <lib row 1 has no embedding: rows start at 2 for E = 2 and tau = 1> simplex (1:10, 2, 1, 1, 0, [1 2])
%!error <lib row 10 has no observed target: its target lies past the end of x for Tp = 1> simplex (1:10, 2, 1, 1, 0, [3 10])
%!error <Not enough candidates: prediction row 2 has 0 library rows more than w = 100 apart, fewer than k = 3> simplex (1:10, 2, 1, 1, 100)
