## qspectrum on one thread against every core, in one session: 10^5
## reference points x 64 neighbour orders of a two-dimensional Poisson
## process (the k-th neighbour distance is the square root of a sum of k unit
## exponentials), 11 orders gamma = -4 ... 6, kmin 1 ... 8, kmax 64. Run by
## hand from the top folder with the built module on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('qspectrum/bench_qspectrum.m')"

1;

## Seconds per call, the best of `repeats`.
function t = timed (f, repeats)
  t = Inf;
  for k = 1:repeats
    tic; f (); t = min (t, toc);
  endfor
endfunction

rand ("seed", 11);
d = 0.01 * sqrt (cumsum (-log (rand (1e5, 64)), 2));
gammas = -4:6;
call = @() qspectrum (d, gammas, 1, 8, 64);

setenv ("OMP_NUM_THREADS", "1");
[D1, m1, model1] = call ();
t_one = timed (call, 3);
unsetenv ("OMP_NUM_THREADS");
[D, m, model] = call ();
t_all = timed (call, 3);

assert (isequal (D, D1) && isequal (m, m1) && isequal (model, model1));
printf ("qspectrum: 1 thread %8.1f ms, all cores (%d) %8.1f ms, ratio %.2f\n", ...
        1e3 * t_one, nproc (), 1e3 * t_all, t_one / t_all);
printf ("D between %.3f and %.3f (near 2)\n", min (D(:)), max (D(:)));
