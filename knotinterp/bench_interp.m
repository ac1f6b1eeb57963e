## Times knotinterp and slopeinterp against Octave's own interpolation on the
## same data in one session: 10^3 and 10^5 knots, 10^6 queries sorted and
## shuffled. Run by hand with the built modules on the path, e.g.
##   octave-cli --eval "addpath('build/toolbox'); addpath('knotinterp'); bench_interp"
## Each figure is the best of a few runs, in seconds.

function bench_interp (repeats = 3)
  toolbox = fileparts (file_in_loadpath ("knotinterp.mex"));
  addpath (toolbox);   # the built modules before their help files
  rand ("seed", 1);
  queries = 1e6;
  printf ("%7s %9s %12s %12s %12s %12s %12s\n", "knots", "queries", "knotinterp",
          "slopeinterp", "interp1 spl", "spline", "interp1 pchip");
  for knots = [1e3 1e5]
    x = cumsum (0.5 + rand (1, knots));
    y = sin (0.1 * x);
    xx = x(1) - 1 + (x(end) - x(1) + 2) * rand (1, queries);
    for order = {"sorted", "shuffled"}
      if (strcmp (order{1}, "sorted"))
        q = sort (xx);
      else
        q = xx;
      endif
      t = zeros (1, 5);
      t(1) = best_of (repeats, @() knotinterp (x, y, q));
      t(2) = best_of (repeats, @() slopeinterp (x, y, q));
      t(3) = best_of (repeats, @() interp1 (x, y, q, "spline"));
      t(4) = best_of (repeats, @() spline (x, y, q));
      t(5) = best_of (repeats, @() interp1 (x, y, q, "pchip"));
      printf ("%7d %9s %12.4f %12.4f %12.4f %12.4f %12.4f\n", knots, order{1}, t);
      printf ("%7s %9s %12s %12s %12.1fx %11.1fx %11.1fx   (peer / knotinterp)\n", "", "", "", "",
              t(3:5) / t(1));
      printf ("%7s %9s %12s %12s %12.1fx %11.1fx %11.1fx   (peer / slopeinterp)\n", "", "", "", "",
              t(3:5) / t(2));
    endfor
    ## Both splines reproduce cubics; elsewhere they differ only by their end
    ## conditions, so the inner values agree closely.
    inner = q > x(5) & q < x(end - 4);
    printf ("%7s max |knotinterp - spline| inside: %.2g\n", "",
            max (abs (knotinterp (x, y, q)(inner) - spline (x, y, q)(inner))));
  endfor
endfunction

function t = best_of (repeats, f)
  t = Inf;
  for r = 1:repeats
    tic;
    f ();
    t = min (t, toc);
  endfor
endfunction
