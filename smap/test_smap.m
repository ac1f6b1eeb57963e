## Octave tests of smap in the real host: a global autoregression at
## theta = 0, any thread count, the logistic map; messages.

%!test
%! ## theta = 0: every row's fit is the global least-squares autoregression
%! ## over the library (rows apart from it, so that none is left out).
%! x = randn (300, 1);  x = filter (1, [1 -0.5], x);
%! lib = 2:200;  pred = [250:300 201];
%! [P, S, C] = smap (x, 2, 1, 1, 0, 0, lib, pred);
%! A = [ones(199, 1) x(lib) x(lib - 1)];
%! c = A \ x(lib + 1);
%! assert (C, repmat (c', numel (pred), 1), 1e-10);
%! assert (P(:, 2), [ones(numel (pred), 1) x(pred) x(pred - 1)] * c, 1e-10);

%!test
%! ## One and three threads; the logistic map gains from theta.
%! x = zeros (800, 1);  x(1) = 0.4;
%! for t = 1:799, x(t+1) = 4 * x(t) * (1 - x(t)); end
%! one = with_threads ("1", @() nthargout (1:3, @smap, x, 2, 1, 1, 2));
%! three = with_threads ("3", @() nthargout (1:3, @smap, x, 2, 1, 1, 2));
%! assert (three, one);
%! [~, S0] = smap (x, 2);  [~, S2] = smap (x, 2, 1, 1, 2);
%! assert (S2(1) > S0(1) + 0.05);

%!error <x and E must be given> smap (1:10)
%!error <theta must be a finite number, at least 0> smap (1:10, 2, 1, 1, -1)
%!error <Not enough candidates: prediction row 2 has 0 library rows more than w = 20 apart, fewer than 1> smap (1:10, 2, 1, 1, 0, 20)
