## Octave tests of rqa in the real host: the measures and line histograms as
## the whole recurrence matrix gives them, on any thread count; the
## recurrences as corrsum counts them; a periodic series; messages.

%!function [M, Dl, Vl] = by_hand (X, r, w, lmin, vmin, p)
%!  N = rows (X);
%!  R = false (N);
%!  for i = 1:N
%!    R(:, i) = distances_by_hand (X, i, (1:N)', p) <= r;
%!  endfor
%!  [I, J] = ndgrid (1:N);
%!  R &= abs (I - J) > w;
%!  Dl = zeros (N, 1);  Vl = zeros (N, 1);
%!  for k = [-(N - 1):-1, 1:N - 1]
%!    Dl += runs (diag (R, k), N);
%!  endfor
%!  for j = 1:N
%!    Vl += runs (R(:, j), N);
%!  endfor
%!  n = sum (R(:));
%!  P = sum (abs (I(:) - J(:)) > w);
%!  l = (1:N)';
%!  dl = sum (l(lmin:end) .* Dl(lmin:end));  dc = sum (Dl(lmin:end));
%!  vl = sum (l(vmin:end) .* Vl(vmin:end));  vc = sum (Vl(vmin:end));
%!  q = Dl(lmin:end)(Dl(lmin:end) > 0) / dc;
%!  entr = 0;
%!  for m = 1:numel (q)
%!    entr += q(m) * log (q(m));
%!  endfor
%!  dmax = max ([0; find(Dl)]);  vmax = max ([0; find(Vl)]);
%!  M = [n / P, dl / n, dl / dc, dmax, -entr, vl / n, vl / vc, vmax, n];
%!  M(isinf (M)) = NaN;
%!  if (dc == 0) M(5) = NaN; endif
%!endfunction

%!function h = runs (v, N)
%!  h = zeros (N, 1);
%!  d = diff ([0; v(:); 0]);
%!  for len = (find (d == -1) - find (d == 1))'
%!    h(len) += 1;
%!  endfor
%!endfunction

%!test
%! ## A quantised walk: ties at the radius, lines of every length.
%! rand ("seed", 7);
%! X = abs (cumsum (randi ([-1 1], 150, 2)));
%! for p = [Inf 2]
%!   for w = [0 1 5]
%!     [M, Dl, Vl] = rqa (X, 1, w, 2, 3, p);
%!     [M0, Dl0, Vl0] = by_hand (X, 1, w, 2, 3, p);
%!     assert (Dl, Dl0);
%!     assert (Vl, Vl0);
%!     assert (M, M0);
%!   endfor
%! endfor

%!test
%! ## Henon: the same on 1 and 3 threads; the recurrences as corrsum counts
%! ## them at the radius nudged up an ulp, twice; DET high.
%! xy = foldmap (20000, [-1.4 0.3 0 0]);
%! r = 0.02;
%! one = with_threads ("1", @() nthargout (1:3, @rqa, xy, r, 3));
%! three = with_threads ("3", @() nthargout (1:3, @rqa, xy, r, 3));
%! assert (three, one);
%! M1 = one{1};
%! [~, n] = corrsum (xy, r + eps (r), 3, Inf);
%! assert (M1(9), 2 * n);
%! assert (M1(1), 2 * n / ((20000 - 4) * (20000 - 3)));
%! assert (M1(2) > 0.75);

%!test
%! ## A period of 20 samples: whole diagonals 20 apart, DET = 1, LAM = 0.
%! t = (0:999)';
%! X = [sin(2 * pi * mod (t, 20) / 20), cos(2 * pi * mod (t, 20) / 20)];
%! [M, Dl] = rqa (X, 1e-9);
%! assert (M([2 6]), [1 0]);
%! assert (find (Dl), (1000 - 980:20:1000 - 20)');
%! assert (Dl(find (Dl)), 2 * ones (49, 1));

%!test
%! ## No pair takes part.
%! [M, Dl, Vl] = rqa (rand (10, 2), 1, 9);
%! assert (M, [NaN NaN NaN 0 NaN NaN NaN 0 0]);
%! assert ([Dl Vl], zeros (10, 2));

%!error <X and r must be given> rqa (ones (3, 1))
%!error <At most six inputs: X, r, w, lmin, vmin and p> rqa (ones (3, 1), 1, 1, 2, 2, 2, 0)
%!error <Input 2 must be a real double array> rqa (ones (3, 1), single (1))
%!error <X must not hold NaN or Inf> rqa ([1; NaN], 1)
%!error <r must be a number, at least 0> rqa (ones (3, 1), -1)
%!error <r must be a number, at least 0> rqa (ones (3, 1), NaN)
%!error <w must be a whole number, at least 0> rqa (ones (3, 1), 1, 1.5)
%!error <lmin must be a whole number, at least 1> rqa (ones (3, 1), 1, 1, 0)
%!error <vmin must be a whole number, at least 1> rqa (ones (3, 1), 1, 1, 2, Inf)
%!error <p must be 2 or Inf> rqa (ones (3, 1), 1, 1, 2, 2, 1)
