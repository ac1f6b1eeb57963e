## gridmass against what a user would otherwise write, in one session: the
## occupied cells of every grid found with unique (..., 'rows'), once per
## partition size and per number k = 1 ... 6 of leading coordinates; and
## gridmass with all threads against gridmass with OMP_NUM_THREADS=1.
## Data: 2e5 points of the Henon orbit in 6 delay coordinates, sizes
## [4 16 64 256]; then, gridmass alone (threads only), a large input: 1e6
## points in 8 delay coordinates, sizes 2, 4, ..., 1024. The variants
## alternate, each timed `repeats` times; the medians are compared. Run from
## the top folder with the built module on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('gridmass/bench_gridmass.m')"

repeats = 5;
c = 0.69314718055995;

## M points of the Henon orbit in N delay coordinates, after 1000 steps.
function X = henon_points (M, N)
  x = zeros (M + N + 1000, 1);
  u = 0;  v = 0;
  for i = 1:numel (x)
    w = 1 - 1.4 * u^2 + v;  v = 0.3 * u;  u = w;  x(i) = u;
  end
  X = zeros (M, N);
  for k = 1:N
    X(:, k) = x(1000 + k : 999 + k + M);
  end
end

## The three sums of every size and k, from unique (..., 'rows').
function [H0, H1, H2] = by_unique (X, sizes, c)
  [M, N] = size (X);
  lo = min (X(:));  hi = max (X(:));
  H0 = H1 = H2 = zeros (numel (sizes), N);
  for p = 1:numel (sizes)
    s = (sizes(p) - 0.000001) / (hi - lo);
    cells = floor (s * X - s * lo);
    for k = 1:N
      [~, ~, j] = unique (cells(:, 1:k), "rows");
      mu = accumarray (j, 1) / M;
      H0(p, k) = -log (numel (mu)) / c;
      H1(p, k) = sum (log (mu) / c .* mu);
      H2(p, k) = log (sum (mu .^ 2)) / c;
    end
  end
end

threads = getenv ("OMP_NUM_THREADS");

X = henon_points (2e5, 6);
sizes = [4 16 64 256];
t = zeros (repeats, 3);
for r = 1:repeats
  unsetenv ("OMP_NUM_THREADS");
  tic;  [h0, h1, h2] = gridmass (X, sizes);  t(r, 1) = toc;
  setenv ("OMP_NUM_THREADS", "1");
  tic;  [g0, g1, g2] = gridmass (X, sizes);  t(r, 2) = toc;
  tic;  [u0, u1, u2] = by_unique (X, sizes, c);  t(r, 3) = toc;
end

## Same cells; the sums agree to rounding (unique orders the cells otherwise).
assert (isequal (h0, g0) && isequal (h1, g1) && isequal (h2, g2));
assert (h0, u0);
assert (h1, u1, -1e-12);
assert (h2, u2, -1e-12);

m = median (t);
printf ("2e5 x 6 points, sizes [4 16 64 256], medians of %d:\n", repeats);
printf ("gridmass, all threads       %8.1f ms\n", 1e3 * m(1));
printf ("gridmass, OMP_NUM_THREADS=1 %8.1f ms\n", 1e3 * m(2));
printf ("unique (..., 'rows') per k  %8.1f ms\n", 1e3 * m(3));
printf ("ratio unique / gridmass (1 thread)       %6.1f\n", m(3) / m(2));
printf ("ratio unique / gridmass (all threads)    %6.1f\n", m(3) / m(1));
printf ("ratio 1 thread / all threads             %6.2f\n", m(2) / m(1));

X = henon_points (1e6, 8);
sizes = 2 .^ (1:10);
t = zeros (repeats, 2);
for r = 1:repeats
  unsetenv ("OMP_NUM_THREADS");
  tic;  [h0, h1, h2] = gridmass (X, sizes);  t(r, 1) = toc;
  setenv ("OMP_NUM_THREADS", "1");
  tic;  [g0, g1, g2] = gridmass (X, sizes);  t(r, 2) = toc;
end
assert (isequal (h0, g0) && isequal (h1, g1) && isequal (h2, g2));

m = median (t);
printf ("\n1e6 x 8 points, sizes 2, 4, ..., 1024, medians of %d:\n", repeats);
printf ("gridmass, all threads       %8.1f ms\n", 1e3 * m(1));
printf ("gridmass, OMP_NUM_THREADS=1 %8.1f ms\n", 1e3 * m(2));
printf ("ratio 1 thread / all threads             %6.2f\n", m(2) / m(1));

if (isempty (threads))
  unsetenv ("OMP_NUM_THREADS");
else
  setenv ("OMP_NUM_THREADS", threads);
end
