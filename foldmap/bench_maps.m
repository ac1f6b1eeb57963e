## Samples per second of the three map generators against the same iteration
## written as an Octave loop, timed in one session with tic/toc. Run by hand
## from the build folder with the built modules on the path; source it rather
## than run it, since run would change into this folder, where the help file
## foldmap.m would hide the module:
##   octave-cli --eval "addpath('toolbox'); source('../foldmap/bench_maps.m')"
## The loops are short (the shared machine has two cores); the modules run
## ten times as many samples, repeated, so that their times are measurable.

1;

function rate = best_rate (f, samples, repeats)
  best = Inf;
  for r = 1:repeats
    t = tic ();
    f ();
    best = min (best, toc (t));
  endfor
  rate = samples / best;
endfunction

function y = foldmap_loop (n, p)
  a = p(1); b = p(2); x = p(3); yy = p(4);
  y = zeros (n, 2);
  for k = 1:n
    v = a * x * x + 1 + b * yy;
    if (abs (v) > 1e6)
      warning ("Values exceed threshold of 1000000, limiting values");
      v = 1e6;
    endif
    y(k, 1) = v;
    y(k, 2) = x;
    yy = x;
    x = v;
  endfor
endfunction

function y = peakiter_loop (n, p)
  h = p(1); e = p(2); s = p(3); x = p(4);
  c = h + h;
  y = zeros (n, 1);
  for k = 1:n
    u = abs (2 * x - 1);
    x = (1 - ((c + u)^e - c^e) / ((c + 1)^e - c^e)) * s;
    y(k) = x;
  endfor
endfunction

function y = baker_loop (n, p)
  eta = p(1); l1 = p(2); l2 = p(3); x = p(4); yy = p(5);
  y = zeros (n, 2);
  for k = 1:n
    if (yy < eta)
      x = l1 * x;
      yy = yy / eta;
    else
      x = l2 * x + 0.5;
      yy = (yy - eta) / (1 - eta);
    endif
    y(k, 1) = x;
    y(k, 2) = yy;
  endfor
endfunction

loop_n = 100000;
module_n = 1000000;
cases = {
  "foldmap",  @foldmap,  @foldmap_loop,  [-1.4 0.3 0 0];
  "peakiter", @peakiter, @peakiter_loop, [0.15 1.7 0.97 0.31];
  "baker",    @baker,    @baker_loop,    [0.37 0.33 0.45 0.123 0.789]};

printf ("%-9s %16s %16s %9s\n", "map", "module [1/s]", "loop [1/s]", "ratio");
for i = 1:rows (cases)
  [name, module, loop, p] = cases{i, :};
  if (! isequal (module (1000, p), loop (1000, p)))
    warning ("%s: module and loop differ", name);
  endif
  module_rate = best_rate (@() module (module_n, p), module_n, 5);
  loop_rate = best_rate (@() loop (loop_n, p), loop_n, 1);
  printf ("%-9s %16.4g %16.4g %9.0f\n", name, module_rate, loop_rate,
          module_rate / loop_rate);
endfor
