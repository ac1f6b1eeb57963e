## Octave tests of the surrogate demo (demo/surrogates.m): on parcellfun's
## processes it gives what the plain loop gives, bit for bit, on series of
## even and odd length, and leaves the caller's generator and thread setting
## as they were; the Henon series is told apart from both kinds of surrogate.

%!test
%! xy = foldmap (3001, [-1.4 0.3 0 0]);
%! state = rand ("twister");
%! setenv ("OMP_NUM_THREADS", "3");
%! unwind_protect
%!   for n = [2000 1999]
%!     x = xy(end - n + 1:end, 1);
%!     r = 0.05 * std (x, 1);
%!     [c0, c, fourier] = surrogates (x, 9, r, 0);
%!     [c0_parallel, c_parallel, fourier_parallel] = surrogates (x, 9, r, 2);
%!     assert (c_parallel, c);
%!     assert (c0_parallel, c0);
%!     assert (fourier_parallel, fourier);
%!     assert (fourier, (1:9)' > 4);
%!     ## The same again: nothing depends on what ran before.
%!     [~, c_again] = surrogates (x, 9, r, 0);
%!     assert (c_again, c);
%!     ## One surrogate alone, as parcellfun's processes compute it.
%!     assert (surrogates ("one", 7, x, 9, r), c(7));
%!   endfor
%!   assert (rand ("twister"), state);
%!   assert (getenv ("OMP_NUM_THREADS"), "3");
%! unwind_protect_cleanup
%!   unsetenv ("OMP_NUM_THREADS");
%! end_unwind_protect

%!test
%! ## A deterministic map crowds its delay vectors onto a thin set: more
%! ## close pairs than in any surrogate of either kind.
%! x = foldmap (6000, [-1.4 0.3 0 0])(1001:end, 1);
%! [c0, c, fourier] = surrogates (x, 20, 0.05 * std (x, 1), 2);
%! assert (c0 > 3 * max (c));
%! ## Shuffles keep the uneven spread of the Henon x values (most of them
%! ## above 0), whose pairs lie close more often than those of a near-Gaussian
%! ## series of the same variance, as the Fourier surrogates are.
%! assert (max (c(fourier)) < min (c(! fourier)));
