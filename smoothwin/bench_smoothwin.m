## Times smoothwin against Octave's own filters on one 10^6 x 4 matrix, in
## one session: conv2 with a centred window ("same", the window flipped so
## that it weighs samples as smoothwin does) and movmean. Run by hand from
## the build folder: octave-cli --eval "addpath('../smoothwin'); addpath('toolbox'); bench_smoothwin"
function bench_smoothwin ()
  randn ("seed", 3);
  x = randn (1e6, 4);
  printf ("%-22s %10s %10s %10s %12s\n", "window", "smoothwin", "conv2", "movmean", "max |diff|");
  for n = [3 31 1001]
    t_own = best_of (3, @() smoothwin (x, n));
    t_conv = best_of (3, @() conv2 (x, ones (n, 1) / n, "same"));
    t_mov = best_of (1, @() movmean (x, [floor((n - 1) / 2), n - 1 - floor((n - 1) / 2)], "Endpoints", 0));
    d = max (abs (smoothwin (x, n)(:) - conv2 (x, flipud (ones (n, 1)) / n, "same")(:)));
    printf ("%-22s %9.1fms %9.1fms %9.1fms %12.2g\n", sprintf ("length %d", n), ...
            1e3 * t_own, 1e3 * t_conv, 1e3 * t_mov, d);
  endfor
  w = 16 - abs ((0:30) - 15);
  t_own = best_of (3, @() smoothwin (x, w));
  t_conv = best_of (3, @() conv2 (x, flipud (w(:)) / sum (w), "same"));
  d = max (abs (smoothwin (x, w)(:) - conv2 (x, flipud (w(:)) / sum (w), "same")(:)));
  printf ("%-22s %9.1fms %9.1fms %10s %12.2g\n", "31 weights", 1e3 * t_own, 1e3 * t_conv, "-", d);
endfunction

## The shortest of some runs, to keep out the noise of a shared machine.
## movmean is run once: with long windows it takes about a minute.
function t = best_of (runs, f)
  t = Inf;
  for r = 1:runs
    tic;
    f ();
    t = min (t, toc);
  endfor
endfunction
