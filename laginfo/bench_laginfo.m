## laginfo against what a user writes in one line per lag: a joint histogram
## of the binned pairs with accumarray, and the same sum over its occupied
## cells (in another order, so equal to rounding only). 2e5 rank values of a
## logistic-map orbit, lags 0 ... 20, 16 and 64 bins. laginfo runs on all its
## threads and on one; the three are timed in turn, the medians compared.
## Then threads alone on a large input: 10^6 rank values, lags 0 ... 50, bins
## [16 64] and [16 64 256 4096], one thread and all cores in turn. Run from the
## top folder with the built module on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('laginfo/bench_laginfo.m')"

L = 2e5;
T = 20;
sizes = [16 64];
repeats = 7;

## L rank values (0 ... L-1, over L) of a logistic-map orbit.
function r = logistic_ranks (L)
  x = zeros (L, 1);
  y = 0.3141592653589793;
  for t = 1:L
    y = 4 * y * (1 - y);
    x(t) = y;
  end
  [~, order] = sort (x);
  r = zeros (L, 1);
  r(order) = (0:L-1)' / L;
end

r = logistic_ranks (L);

function I = by_accumarray (r, T, sizes)
  L = numel (r);
  n = L - T;
  I = zeros (T + 1, numel (sizes));
  for p = 1:numel (sizes)
    b = sizes(p);
    bin = floor (b * r) + 1;
    h = accumarray (bin, 1, [b 1]) / L;
    hh = h * h';
    hh = hh(:);
    for tau = 0:T
      mu = accumarray (bin(1:n) + b * (bin(1+tau:n+tau) - 1), 1, [b * b, 1]) / n;
      k = mu > 0;
      I(tau + 1, p) = sum (mu(k) .* log (mu(k) ./ hh(k)) / 0.69314718055995);
    end
  end
end

## laginfo on every thread it may use, on one thread (OMP_NUM_THREADS=1 for
## that call), and the accumarray version, in turn.
threads = getenv ("OMP_NUM_THREADS");
t_module = t_one = t_accumarray = zeros (repeats, 1);
for k = 1:repeats
  tic;
  evalc ("I = laginfo (r, T, sizes);");
  t_module(k) = toc;
  setenv ("OMP_NUM_THREADS", "1");
  tic;
  evalc ("I1 = laginfo (r, T, sizes);");
  t_one(k) = toc;
  setenv ("OMP_NUM_THREADS", threads);
  tic;
  J = by_accumarray (r, T, sizes);
  t_accumarray(k) = toc;
end
if (isempty (threads))
  unsetenv ("OMP_NUM_THREADS");
end

assert (isequal (I, I1));
assert (I, J, 1e-12);
printf ("OMP_NUM_THREADS=%s, %d cores, medians of %d\n", threads, nproc ("all"), repeats);
printf ("laginfo             %8.2f ms\nlaginfo, 1 thread   %8.2f ms\naccumarray          %8.2f ms\n", ...
        1e3 * median (t_module), 1e3 * median (t_one), 1e3 * median (t_accumarray));
printf ("ratio accumarray / laginfo %.1f, accumarray / laginfo on 1 thread %.1f, 1 thread / laginfo %.2f\n", ...
        median (t_accumarray) / median (t_module), median (t_accumarray) / median (t_one), ...
        median (t_one) / median (t_module));

## Threads on a large input: one thread and all cores in turn.
r = logistic_ranks (1e6);
for sizes = {[16 64], [16 64 256 4096]}
  t = zeros (repeats, 2);
  for k = 1:repeats
    setenv ("OMP_NUM_THREADS", "1");
    tic;
    evalc ("I1 = laginfo (r, 50, sizes{1});");
    t(k, 1) = toc;
    setenv ("OMP_NUM_THREADS", threads);
    tic;
    evalc ("I = laginfo (r, 50, sizes{1});");
    t(k, 2) = toc;
  end
  assert (isequal (I, I1));
  printf ("1e6 values, lags 0..50, bins %-16s 1 thread %7.1f ms, laginfo %7.1f ms, ratio %.2f\n", ...
          mat2str (sizes{1}), 1e3 * median (t), median (t(:, 1) ./ t(:, 2)));
end
if (isempty (threads))
  unsetenv ("OMP_NUM_THREADS");
end
