## histinfo in one session: the indexed search against the same greedy
## classing vectorised in m-code, on distinct columns, and on one thread
## against every core. Run by hand from the top folder with the built module
## on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('histinfo/bench_histinfo.m')"

1;

## The greedy classing in m-code: every round compares its reference (the
## first column left) with every column left at once.
function H = greedy_entropy (A)
  N = columns (A);
  pending = 1:N;
  H = 0;
  while (! isempty (pending))
    match = all (abs (A(:, pending) - A(:, pending(1))) < 1, 1);
    match(1) = true;             # a NaN reference still makes its own class
    p = sum (match) / N;
    H = H - p * log (p);
    pending = pending(! match);
  endwhile
endfunction

## Seconds per call, the best of `repeats`.
function t = timed (f, repeats)
  t = Inf;
  for k = 1:repeats
    tic; f (); t = min (t, toc);
  endfor
endfunction

function t = timed_with_threads (f, threads, repeats)
  setenv ("OMP_NUM_THREADS", threads);
  t = timed (f, repeats);
  unsetenv ("OMP_NUM_THREADS");
endfunction

rand ("seed", 1);

## 8 x 10^5 columns of 8 rows in about 300 classes: centres whose rows are
## the base-3 digits of the class number times 10, jitter below 0.5.
N = 8e5;
class = floor (rand (1, N) * 300);
A = zeros (8, N);
for i = 1:8
  A(i, :) = 10 * mod (floor (class / 3 ^ (i - 1)), 3) + 0.4 * (rand (1, N) - 0.5);
endfor
t_module = timed (@() histinfo (A), 3);
t_mcode = timed (@() greedy_entropy (A), 1);
assert (histinfo (A), greedy_entropy (A), 1e-12);
printf ("8e5 columns, 300 classes: histinfo %8.1f ms, m-code %8.1f ms, ratio %.1f\n", ...
        1e3 * t_module, 1e3 * t_mcode, t_mcode / t_module);

## 10^6 distinct 3-row columns, spread out and on a dense integer lattice.
N = 1e6;
spread = rand (3, N) * 1e4;
[x, y, z] = ndgrid (0:99);
lattice = [x(:) y(:) z(:)]'(:, randperm (N));
t_spread = timed (@() histinfo (spread), 3);
t_lattice = timed (@() histinfo (lattice), 3);
assert (histinfo (lattice), log (N), 1e-9);
printf ("1e6 distinct 3-row columns: spread %8.1f ms, lattice %8.1f ms\n", ...
        1e3 * t_spread, 1e3 * t_lattice);

## Threads: every workload above and 4 x 10^6 columns whose rows all lie in
## [0, 2), so that no row splits them: all share one cell, and each of the
## first rounds compares millions. One thread and all cores take turns, best
## of 3 each, in 5 rounds; the median ratio is shown.
N = 4e6;
B = 2 * rand (3, N);
workloads = {"8e5 columns, 300 classes", A; "1e6 distinct, spread", spread;
             "1e6 distinct, lattice", lattice; "4e6 columns in one cell", B};
printf ("%-26s %12s %12s %8s\n", "", "1 thread", sprintf ("%d cores", nproc ()), "ratio");
for w = 1:rows (workloads)
  [name, data] = workloads{w, :};
  t = zeros (5, 2);
  for r = 1:5
    t(r, 1) = timed_with_threads (@() histinfo (data), "1", 3);
    t(r, 2) = timed (@() histinfo (data), 3);
  endfor
  printf ("%-26s %10.1fms %10.1fms %7.2fx\n", name, 1e3 * median (t), median (t(:, 1) ./ t(:, 2)));
endfor
