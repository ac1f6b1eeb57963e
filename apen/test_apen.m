## Octave tests of apen in the real host: the definition, with every
## template compared to every other, on any thread count; the defaults;
## messages.

%!function ae = by_hand (x, m, r, tau)
%!  phi = zeros (2, 1);
%!  for L = m:m + 1
%!    n = numel (x) - (L - 1) * tau;
%!    acc = 0;
%!    for i = 1:n
%!      c = 0;
%!      for j = 1:n
%!        c += max (abs (x(i + (0:L - 1) * tau) - x(j + (0:L - 1) * tau))) <= r;
%!      endfor
%!      acc += log (c / n);
%!    endfor
%!    phi(L - m + 1) = acc / n;
%!  endfor
%!  ae = phi(1) - phi(2);
%!endfunction

%!test
%! x = randi ([0 5], 200, 1);
%! assert (apen (x, 2, 1, 2), by_hand (x, 2, 1, 2));
%! x = rand (150, 1);
%! assert (apen (x, 1, 0.1), by_hand (x, 1, 0.1, 1));

%!test
%! ## The defaults (an empty r too), on 1 and 3 threads.
%! x = foldmap (20000, [-1.4 0.3 0 0])(:, 1);
%! sigma = sqrt (sum ((x - sum (x) / numel (x)) .^ 2) / numel (x));
%! ae = with_threads ("1", @() apen (x));
%! assert (with_threads ("3", @() apen (x, 2, [], 1)), ae);
%! assert (apen (x, 2, 0.2 * sigma, 1), ae);
%! assert (apen (ones (40, 1)), 0);

%!error <x must be given> apen ()
%!error <At most four inputs: x, m, r and tau> apen (ones (9, 1), 2, 1, 1, 1)
%!error <Input 3 must be a real double array> apen (ones (9, 1), 2, "a")
%!error <x must not hold NaN or Inf> apen ([1; Inf; 3])
%!error <m must be a whole number, at least 1> apen (ones (9, 1), 1.5)
%!error <r must be a number, at least 0> apen (ones (9, 1), 2, NaN)
%!error <tau must be a whole number, at least 1> apen (ones (9, 1), 2, 1, 0)
%!error <x is too short: m = 2 and tau = 5 need at least 11 samples> apen (ones (9, 1), 2, 1, 5)
