## Octave tests of sampen in the real host: counts as a comparison of every
## pair of templates gives them, at every scale and thread count; the
## defaults; messages.

%!function [se, A, B] = by_hand (x, m, r, tau, w, scales)
%!  se = A = B = zeros (numel (scales), 1);
%!  for k = 1:numel (scales)
%!    s = scales(k);
%!    n = floor (numel (x) / s);
%!    y = zeros (n, 1);
%!    for j = 1:n
%!      acc = 0;
%!      for i = 1:s
%!        acc += x((j - 1) * s + i);
%!      endfor
%!      y(j) = acc / s;
%!    endfor
%!    T = n - m * tau;
%!    for i = 1:T
%!      for j = i + w + 1:T
%!        d = max (abs (y(i + (0:m - 1) * tau) - y(j + (0:m - 1) * tau)));
%!        if (d <= r)
%!          B(k) += 1;
%!          A(k) += abs (y(i + m * tau) - y(j + m * tau)) <= r;
%!        endif
%!      endfor
%!    endfor
%!    se(k) = -log (A(k) / B(k)) + 0;
%!  endfor
%!endfunction

%!test
%! ## Whole numbers: differences of exactly r count.
%! x = randi ([0 6], 300, 1);
%! [se, A, B] = sampen (x, 2, 1, 2, 3, [1 2]);
%! [se0, A0, B0] = by_hand (x, 2, 1, 2, 3, [1 2]);
%! assert ([A B], [A0 B0]);
%! assert (se, se0);

%!test
%! ## The defaults: m = 2, r = 0.2 sigma, tau = 1, w = 0, one scale; an empty
%! ## r is the default too; the same on 1 and 3 threads.
%! x = foldmap (20000, [-1.4 0.3 0 0])(:, 1);
%! sigma = sqrt (sum ((x - sum (x) / numel (x)) .^ 2) / numel (x));
%! [se, A, B] = sampen (x);
%! one = with_threads ("1", @() nthargout (1:3, @sampen, x));
%! three = with_threads ("3", @() nthargout (1:3, @sampen, x, 2, [], 1, 0, 1));
%! assert (one, {se, A, B});
%! assert (three, {se, A, B});
%! [se2, A2, B2] = sampen (x, 2, 0.2 * sigma);
%! assert ([se2 A2 B2], [se A B]);
%! assert (se, 0.46, 0.03);

%!test
%! ## White noise falls with scale; a constant series has A = B, SE = 0; a
%! ## window longer than the series leaves no pair.
%! se = sampen (randn (20000, 1), 2, 0.15, 1, 0, [1 5 10]);
%! assert (all (diff (se) < 0));
%! [se, A, B] = sampen (ones (50, 1));
%! assert ([se A B], [0 48*47/2 48*47/2]);
%! assert (isnan (sampen (rand (50, 1), 2, 0.2, 1, 100)));

%!error <x must be given> sampen ()
%!error <At most six inputs: x, m, r, tau, w and scales> sampen (ones (9, 1), 2, 1, 1, 0, 1, 1)
%!error <Input 2 must be a real double array> sampen (ones (9, 1), int32 (2))
%!error <x must be a vector> sampen (ones (3, 3))
%!error <x must not hold NaN or Inf> sampen ([1; NaN; 3; 4])
%!error <m must be a whole number, at least 1> sampen (ones (9, 1), 0)
%!error <r must be a number, at least 0> sampen (ones (9, 1), 2, -1)
%!error <tau must be a whole number, at least 1> sampen (ones (9, 1), 2, 1, 0.5)
%!error <w must be a whole number, at least 0> sampen (ones (9, 1), 2, 1, 1, -1)
%!error <scales must hold whole numbers, at least 1> sampen (ones (9, 1), 2, 1, 1, 0, [1 0])
%!error <x is too short at scale 3: m = 2 and tau = 1 need at least 4 samples there, it has 3> sampen (ones (9, 1), 2, 1, 1, 0, [1 3])
