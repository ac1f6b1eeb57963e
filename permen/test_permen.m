## Octave tests of permen in the real host: counts and entropies as the
## definition gives them (patterns by a stable sort, numbered in
## lexicographic order), on any thread count; the known answers; messages.

%!function [H, Hn, c] = by_hand (x, m, tau, weighted)
%!  x = x(:);
%!  T = numel (x) - (m - 1) * tau;
%!  P = perms (1:m)(end:-1:1, :);                  # lexicographic order
%!  c = zeros (rows (P), 1);
%!  for t = 1:T
%!    v = x(t + (0:m - 1) * tau)';
%!    [~, order] = sort (v);                        # stable: ties in time order
%!    k = find (all (P == order, 2));
%!    if (weighted)
%!      w = sum ((v - sum (v) / m) .^ 2) / m;
%!    else
%!      w = 1;
%!    endif
%!    c(k) = c(k) + w;
%!  endfor
%!  p = c(c > 0) / sum (c);
%!  H = -sum (p .* log (p));
%!  Hn = H / log (factorial (m));
%!endfunction

%!test
%! x = randi ([0 3], 300, 1);                      # many ties
%! for m = 2:5
%!   for weighted = [false true]
%!     assert (nthargout (1:3, @permen, x, m, 2, weighted), nthargout (1:3, @by_hand, x, m, 2, weighted));
%!   endfor
%! endfor
%! x = randn (1, 200);
%! assert (nthargout (1:3, @permen, x), nthargout (1:3, @by_hand, x, 3, 1, false));
%! assert (nthargout (1:3, @permen, x, 4, 1, 1), nthargout (1:3, @by_hand, x, 4, 1, true));

%!test
%! x = randn (6e5, 1);
%! one = with_threads ("1", @() nthargout (1:3, @permen, x, 5, 1, true));
%! three = with_threads ("3", @() nthargout (1:3, @permen, x, 5, 1, true));
%! assert (three, one);
%! assert (one{2} > 0.999);                        # white noise: Hn near 1
%! [H, Hn, c] = permen ((1:100)', 4);               # monotone: one pattern
%! assert ([H, Hn, c(1)], [0, 0, 97]);
%! [~, ~, c] = permen ([1 1 0]);                    # ties: positions 3, 1, 2
%! assert (find (c), 5);

%!test
%! fail ("permen ()", "x must be given");
%! fail ("permen (1:9, 3, 1, 0, 1)", "At most four inputs: x, m, tau and weighted");
%! fail ("permen (single (1:9))", "Input 1 must be a real double array");
%! fail ("permen (1:9, 3, 1, 'y')", "Input 4 must be a real double array");
%! fail ("permen (ones (3))", "x must be a vector");
%! fail ("permen ([1 NaN 2 3])", "x must not hold NaN or Inf");
%! fail ("permen (1:9, [])", "Input 2 must not be empty");
%! fail ("permen (1:20, 11)", "m must be a whole number from 2 to 10");
%! fail ("permen (1:9, 3, 0)", "tau must be a whole number, at least 1");
%! fail ("permen (1:9, 3, 1, 2)", "weighted must be true or false \\(1 or 0\\)");
%! fail ("permen (1:27, 10, 3)", "x is too short: m = 10 and tau = 3 need at least 28 samples");
