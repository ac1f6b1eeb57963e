## delaymatrix against the same matrix built by indexing, in one session:
## 3 series of 10^6 samples, dimensions [8 4 2], delays [3 1 5], no shifts.
## Run by hand with the built module on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('delaymatrix/bench_delaymatrix.m')"

M = 1e6;
X = rand (M, 3);
d = [8 4 2];
tau = [3 1 5];
repeats = 5;

tic;
for k = 1:repeats
  [E, p] = delaymatrix (X, d, tau);
end
t_module = toc / repeats;

## What a user would write: one column per lagged copy, by index ranges.
tic;
for k = 1:repeats
  pmax = max ((d - 1) .* tau + 1);
  t = (pmax:M-1)';
  F = zeros (numel (t), sum (d));
  c = 0;
  for i = 1:numel (d)
    for m = 0:d(i)-1
      c += 1;
      F(:, c) = X(t - m * tau(i), i);
    end
  end
end
t_indexing = toc / repeats;

assert (isequal (E, F) && p == pmax);
printf ("delaymatrix %8.1f ms\nindexing    %8.1f ms\nratio (indexing / delaymatrix) %.2f\n", ...
        1e3 * t_module, 1e3 * t_indexing, t_indexing / t_module);
