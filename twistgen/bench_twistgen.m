## Numbers per second of twistgen against Octave's rand (N, 1), drawing the
## same counts, best of several runs each, in one session. Run by hand from
## the top folder with the built module on the path:
##   octave-cli --eval "addpath ('build/toolbox'); source ('twistgen/bench_twistgen.m')"
## (source, not run: run changes into this folder, whose help file would
## then shadow the module).
twistgen (1); rand (1);   # load and warm up
printf ("%10s %14s %14s %8s\n", "N", "twistgen M/s", "rand M/s", "ratio");
for N = [1e3 1e5 1e6 1e7]
  repeat = max (1, round (1e6 / N));   # about 10^6 numbers per timing
  best = inf (1, 2);
  for r = 1:5
    t = tic (); for k = 1:repeat, x = twistgen (N); endfor; best(1) = min (best(1), toc (t));
    t = tic (); for k = 1:repeat, y = rand (N, 1); endfor; best(2) = min (best(2), toc (t));
  endfor
  rate = N * repeat ./ best / 1e6;
  printf ("%10d %14.1f %14.1f %8.2f\n", N, rate(1), rate(2), rate(1) / rate(2));
endfor
