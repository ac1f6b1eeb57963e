## Times knotinterp and slopeinterp against Octave's own interpolation on the
## same data in one session: 10^3 and 10^5 knots, 10^6 queries sorted and
## shuffled, ours on one thread and on the default count; then each module on
## one thread (OMP_NUM_THREADS=1) against two, on 10^6 and 10^7 queries.
## Run from the top folder with the built modules on the path, e.g.
##   octave-cli --eval "addpath('build/toolbox'); addpath('knotinterp'); bench_interp"
## The contenders of one comparison run in turn, round after round, so that
## the load of a shared machine falls on all alike; each figure is the median
## over the rounds, in seconds, and each ratio the median of the per-round
## ratios. Each result is kept until the same contender runs again, as in a
## script that assigns it: a result dropped at once lets the C library hand
## its memory back to the system, and every call then pays for fresh pages,
## the same for any function returning that much. bench_interp (rounds, true)
## times that way instead.

function bench_interp (rounds = 7, fresh_pages = false)
  toolbox = fileparts (file_in_loadpath ("knotinterp.mex"));
  addpath (toolbox);   # the built modules before their help files
  rand ("seed", 1);
  queries = 1e6;
  threads = getenv ("OMP_NUM_THREADS");
  budget = "default";
  if (! isempty (threads))
    budget = threads;
  endif
  printf ("Our modules on one thread and on the default count (OMP_NUM_THREADS %s),\n", budget);
  printf ("in turn with Octave's own; median seconds, and the median ratio peer / ours.\n");
  for knots = [1e3 1e5]
    x = cumsum (0.5 + rand (1, knots));
    y = sin (0.1 * x);
    xx = x(1) - 1 + (x(end) - x(1) + 2) * rand (1, queries);
    for order = {"sorted", "shuffled"}
      q = in_order (xx, order{1});
      t = in_turn (rounds, fresh_pages, {@() on_threads("1", @knotinterp, x, y, q), ...
                            @() on_threads(threads, @knotinterp, x, y, q), ...
                            @() on_threads("1", @slopeinterp, x, y, q), ...
                            @() on_threads(threads, @slopeinterp, x, y, q), ...
                            @() interp1(x, y, q, "spline"), @() spline(x, y, q), ...
                            @() interp1(x, y, q, "pchip")});
      printf ("\n%d knots, %d queries %s\n", knots, queries, order{1});
      printf ("  knotinterp %.4f (1 thread) %.4f (default)   slopeinterp %.4f (1 thread) %.4f (default)\n",
              median (t(:, 1:4), 1));
      printf ("  interp1 spline %.4f: %5.1fx %5.1fx   spline %.4f: %5.1fx %5.1fx   (over knotinterp)\n",
              median (t(:, 5)), median (t(:, 5) ./ t(:, 1:2), 1), median (t(:, 6)),
              median (t(:, 6) ./ t(:, 1:2), 1));
      printf ("  interp1 pchip %.4f: %5.1fx %5.1fx   (over slopeinterp)\n", median (t(:, 7)),
              median (t(:, 7) ./ t(:, 3:4), 1));
    endfor
    ## Both splines reproduce cubics; elsewhere they differ only by their end
    ## conditions, so the inner values agree closely.
    inner = q > x(5) & q < x(end - 4);
    printf ("  max |knotinterp - spline| inside: %.2g\n",
            max (abs (knotinterp (x, y, q)(inner) - spline (x, y, q)(inner))));
  endfor

  ## Threads: the same call with one thread and with two, in turn.
  printf ("\n%7s %9s %9s %12s %12s %9s\n", "knots", "queries", "order", "1 thread", "2 threads",
          "speed-up");
  x = cumsum (0.5 + rand (1, 1e5));
  y = sin (0.1 * x);
  for n = [1e6 1e7]
    xx = x(1) - 1 + (x(end) - x(1) + 2) * rand (1, n);
    for order = {"sorted", "shuffled"}
      q = in_order (xx, order{1});
      for f = {@knotinterp, @slopeinterp}
        t = in_turn (rounds, fresh_pages, {@() on_threads("1", f{1}, x, y, q), ...
                              @() on_threads("2", f{1}, x, y, q)});
        printf ("%7d %9d %9s %12.4f %12.4f %8.2fx   %s\n", numel (x), n, order{1}, median (t, 1),
                median (t(:, 1) ./ t(:, 2)), func2str (f{1}));
      endfor
    endfor
  endfor
  restore (threads);
endfunction

## The queries xx sorted, or as drawn.
function q = in_order (xx, order)
  if (strcmp (order, "sorted"))
    q = sort (xx);
  else
    q = xx;
  endif
endfunction

## t(r, c): the time of contender c in round r; the contenders take turns.
function t = in_turn (rounds, fresh_pages, contenders)
  t = zeros (rounds, numel (contenders));
  results = cell (size (contenders));
  for r = 1:rounds
    for c = 1:numel (contenders)
      tic;
      result = contenders{c} ();
      t(r, c) = toc;
      if (fresh_pages)
        clear result;
      else
        results{c} = result;   # the one it replaces is freed untimed
      endif
    endfor
  endfor
endfunction

## The modules read OMP_NUM_THREADS at every call; an empty count leaves it
## unset (one thread per core).
function yy = on_threads (count, f, x, y, q)
  restore (count);
  yy = f (x, y, q);
endfunction

function restore (count)
  if (isempty (count))
    unsetenv ("OMP_NUM_THREADS");
  else
    setenv ("OMP_NUM_THREADS", count);
  endif
endfunction
