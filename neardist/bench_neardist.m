## neardist and corrsum in one session against what the tour did before them:
## the neighbour distances of a Henon orbit by blocks of a dense distance
## matrix in m-code, and the correlation sum by the same blocks; and each on
## one thread against every core. Run by hand from the top folder with the
## built modules on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('neardist/bench_neardist.m')"

1;

## Distances from each reference to its k nearest among the points, the
## reference itself (at distance 0) left out: 200 references at a time
## against every point.
function d = blockwise_neighbours (references, points, k)
  d = zeros (rows (references), k);
  block = 200;
  for first = 1:block:rows (references)
    last = min (first + block - 1, rows (references));
    r = references(first:last, :);
    squared = sumsq (r, 2) + sumsq (points, 2)' - 2 * r * points';
    sorted = sort (max (squared, 0), 2);
    d(first:last, :) = sqrt (sorted(:, 2:k + 1));
  endfor
endfunction

## The pairs i < j below each radius, 500 rows at a time against the rows after.
function n = blockwise_pairs (points, radii)
  n = zeros (numel (radii), 1);
  N = rows (points);
  block = 500;
  for first = 1:block:N
    last = min (first + block - 1, N);
    later = points(first + 1:end, :);
    d = sqrt (max (sumsq (points(first:last, :), 2) + sumsq (later, 2)' ...
                   - 2 * points(first:last, :) * later', 0));
    d(tril (true (size (d)), -1)) = Inf;   # only j > i
    for m = 1:numel (radii)
      n(m) += sum (d(:) < radii(m));
    endfor
  endfor
endfunction

## Seconds per call, the median of `repeats`, each call alternating with the
## other of its pair.
function [a, b] = side_by_side (f, g, repeats)
  ta = tb = zeros (1, repeats);
  for k = 1:repeats
    tic; f (); ta(k) = toc;
    tic; g (); tb(k) = toc;
  endfor
  a = median (ta); b = median (tb);
endfunction

function t = with_threads_timed (f, threads)
  setenv ("OMP_NUM_THREADS", threads);
  tic; f (); t = toc;
  unsetenv ("OMP_NUM_THREADS");
endfunction

xy = foldmap (1001000, [-1.4 0.3 0 0])(1001:end, :);
X = delaymatrix (xy(:, 1), 2, 1);

## The tour's former case: 25000 points, 2500 references, k = 32.
points = X(1:40:end, :);
references = 1:10:rows (points);
[t_module, t_mcode] = side_by_side (@() neardist (points, 32, 0, references), ...
                                    @() blockwise_neighbours (points(references, :), points, 32), 3);
printf ("neardist, 25000 points, 2500 references, k = 32: %.4f s, blockwise m-code %.3f s: %.0fx (goal >= 100x)\n", ...
        t_module, t_mcode, t_mcode / t_module);

## Every point a reference: 25000 points, k = 32.
[t_module, t_mcode] = side_by_side (@() neardist (points, 32), ...
                                    @() blockwise_neighbours (points, points, 32), 1);
printf ("neardist, 25000 points, all references, k = 32:   %.4f s, blockwise m-code %.3f s: %.0fx (goal >= 100x)\n", ...
        t_module, t_mcode, t_mcode / t_module);

## corrsum against the blockwise count, 20000 points.
few = xy(1:20000, :);
radii = 2 .^ (-10:-4);
[t_module, t_mcode] = side_by_side (@() corrsum (few, radii), @() blockwise_pairs (few, radii), 3);
printf ("corrsum, 20000 points, 7 radii:                   %.4f s, blockwise m-code %.3f s: %.0fx\n", ...
        t_module, t_mcode, t_mcode / t_module);

## One thread against every core, on the whole orbit, alternating.
one = all = zeros (1, 3);
for k = 1:3
  one(k) = with_threads_timed (@() neardist (X, 16), "1");
  tic; neardist (X, 16); all(k) = toc;
endfor
printf ("neardist, 10^6 points, k = 16: one thread %.3f s, every core %.3f s: %.2fx\n", ...
        median (one), median (all), median (one) / median (all));
