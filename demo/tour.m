function tour (figure_file)
% A tour of the toolbox: the analysis of a chaotic system end to end.
%
%   tour                 prints the estimates and writes tour.png
%   tour (FIGURE_FILE)   writes the figure there instead
%
% demo/tour.py is the same tour in Python: the same steps on the same data,
% summed in the same order, so that its table is this one, bit for bit. With
% the environment variable ORBITKIT_TOUR_EXACT set, each row of the table
% ends with its numbers to 17 digits, for comparing the two.
%
% 1. Orbits of three maps: Henon (foldmap), a bent tent map (peakiter) and a
%    generalized baker map (baker).
% 2. The embedding delay from the first minimum of the auto mutual
%    information (laginfo) of the rank-scaled Henon series.
% 3. The delay embedding (delaymatrix) and its generalized dimensions from
%    the slopes of the box-counting partition sums (gridmass), from the
%    growth of the nearest-neighbour distances (neardist on the whole orbit,
%    with a Theiler window; qspectrum), and from the correlation sum
%    (corrsum).
% 4. The embedding dimension from the false nearest neighbours and from how
%    neighbour distances grow with the dimension (embeddim); the largest
%    Lyapunov exponent from how neighbouring trajectories part (lyapcurve),
%    of the Henon map and of the logistic map at 4.
% 5. Smoothing (smoothwin) and interpolation (knotinterp, slopeinterp) of a
%    noisy series; a data file written and read back (textmatrix).
% 6. Complexity: the permutation entropy of the Henon x series and of white
%    noise over the order m (permen); the sample and approximate entropy of
%    the Henon x series and of white noise, and the multiscale entropy of
%    white and of 1/f noise (sampen, apen); detrended fluctuation analysis of
%    white noise and of a random walk (dfa).
% 7. Recurrences: the recurrence plot of 1000 Henon points from the pairs
%    within r that neardist lists, the same count as rqa's, and the
%    determinism and laminarity of 20000 points (rqa).
% 8. Prediction: simplex forecast skill of the Henon x series against the
%    embedding dimension E and the horizon Tp (simplex) and the best E; S-map
%    skill against theta, of the Henon x series and of AR(1) noise (smap);
%    convergent cross mapping in both directions between two coupled
%    logistic maps against the library size (crossmap).
% 9. A table of the estimates beside the published values (one list of
%    rows, printed in one format), and a figure.

  if (nargin < 1)
    figure_file = 'tour.png';
  end
  tic;

  % ---- 1. orbits --------------------------------------------------------
  n = 1000000;
  transient = 1000;
  henon = foldmap (n + transient, [-1.4 0.3 0 0]);   % x' = 1 - 1.4 x^2 + 0.3 y
  henon = henon(transient + 1:end, :);
  x = henon(:, 1);
  tent = peakiter (n / 10, [0.5 1.5 0.999 0.3]);
  eta = 0.4; l1 = 0.3; l2 = 0.4;
  bake = baker (n / 2 + transient, [eta l1 l2 0.1 0.2]);
  bake = bake(transient + 1:end, :);

  % ---- 2. delay from the mutual information -----------------------------
  ranks = zeros (n, 1);
  [~, order] = sort (x);
  ranks(order) = (0:n - 1)' / n;     % rank-scaled into [0, 1)
  maxlag = 12;
  [~, mi] = evalc ('laginfo (ranks, maxlag, 16)');   % progress lines kept quiet
  [delay, found] = first_minimum (mi);

  % ---- 3. embedding and dimensions --------------------------------------
  embedded = delaymatrix (x, 2, delay);
  bins = 2 .^ (2:11);
  [h0, h1, h2] = gridmass (embedded, bins);
  fine = 5:numel (bins);             % the scaling range: 64 ... 2048 bins
  d_box = -slope (log2 (bins(fine)), h0(fine, end));
  d_info = -slope (log2 (bins(fine)), h1(fine, end));
  d_corr = -slope (log2 (bins(fine)), h2(fine, end));
  % The baker set is denser: its boxes fill up to 512 bins. Its Cantor
  % direction makes the local slopes swing around the mean.
  coarse = 3:8;
  [bh0, ~, bh2] = gridmass (bake, bins);
  baker_box = -slope (log2 (bins(coarse)), bh0(coarse, end));
  baker_corr = -slope (log2 (bins(coarse)), bh2(coarse, end));
  [th0, ~, ~] = gridmass (tent, bins);
  tent_box = -slope (log2 (bins(fine)), th0(fine, end));

  % Neighbours of every tenth point among all of them, leaving out the 10
  % points before and after each in time.
  window = 10;
  distances = neardist (embedded, 32, window, 1:10:rows (embedded));
  gammas = [-1.2 0 1];
  dims = qspectrum (distances, gammas, 4, 6, 32);
  q_dims = in_order_sum (dims')' / columns (dims);   % the mean over kmin
  % The correlation sum of the first 200000 points: C(r) ~ r^D2.
  radii = 2 .^ (-11:0.5:-7);
  C = corrsum (embedded(1:200000, :), radii, window);
  d_corrsum = slope (log2 (radii), log2 (C));

  % ---- 4. embedding dimension and largest exponent ----------------------
  % A neighbour that parts when one more delay coordinate is added was near
  % only in projection; the dimension is the first m with almost none left.
  mmax = 6;
  [fnn, e1, e2] = embeddim (x(1:100000), mmax, delay, window);
  d_embed = find (fnn < 0.01, 1);
  if (isempty (d_embed))              % not reached by mmax
    d_embed = NaN;
  end
  % Neighbours part as exp(lambda * step) until they lie as far apart as the
  % attractor is wide; below that, the mean log distance S grows linearly.
  steps = 30;
  growth = (1:8)';                    % the steps fitted; S(1) is step 0
  S = lyapcurve (embedded(1:50000, :), steps, 1, window);
  lambda_fit = line_fit (growth, S(growth + 1));
  % The logistic map at 4, u -> 4 u (1 - u), in the coordinate x = 2 u - 1
  % is x -> 1 - 2 x^2: the quadratic map with a = -2 and b = 0.
  logistic = foldmap (20000 + transient, [-2 0 0.3 0]);
  logistic = logistic(transient + 1:end, 1);
  S_logistic = lyapcurve (logistic, steps, 1, window);
  lambda_logistic = slope (growth, S_logistic(growth + 1));

  % ---- 5. smoothing, interpolation, a file ------------------------------
  t = (0:200)' * 0.05;
  clean = sin (t) + 0.3 * sin (3 * t);
  noisy = clean + 0.1 * randn_fixed (numel (t));
  smooth = smoothwin (noisy, 7);
  inner = 4:numel (t) - 3;            % the ends are pulled toward zero
  knots = t(1:10:end);
  fine_t = (0:1000)' * 0.01;
  truth = sin (fine_t) + 0.3 * sin (3 * fine_t);
  spline_fit = knotinterp (knots, clean(1:10:end), fine_t);
  akima_fit = slopeinterp (knots, clean(1:10:end), fine_t);
  file = [tempname() '.txt'];
  fid = fopen (file, 'w');
  fprintf (fid, '# Henon orbit, first 1000 points\n');
  fprintf (fid, '%.17g, %.17g\n', henon(1:1000, :)');
  fclose (fid);
  back = textmatrix (file);
  delete (file);
  round_trip = isequal (back, reshape (henon(1:1000, :)', [], 1));

  % ---- 6. complexity: order patterns and fluctuations -------------------
  % One pool of reproducible Gaussian noise; its parts are independent.
  pool = randn_fixed (2 ^ 18);
  noise = pool(1:2 ^ 17);
  % The order patterns of the Henon x series: a deterministic orbit never
  % shows most of the m! patterns, noise shows them all about equally.
  orders = (2:7)';
  pe_henon = zeros (size (orders));
  pe_noise = zeros (size (orders));
  for o = 1:numel (orders)
    [~, pe_henon(o)] = permen (x, orders(o));
    [~, pe_noise(o)] = permen (noise, orders(o));
  end
  [~, ~, pe_counts] = permen (x, 5);
  pe_seen = sum (pe_counts > 0);      % of 5! = 120
  % Detrended fluctuation analysis (DFA1): F(n) ~ n^alpha, alpha 0.5 for
  % white noise and 1.5 for its running sum, a random walk.
  walk = cumsum (noise);
  sizes = 2 .^ (4:12)';
  F_noise = dfa (noise, sizes);
  F_walk = dfa (walk, sizes);
  alpha_noise = line_fit (log2 (sizes), log2 (F_noise));
  alpha_walk = line_fit (log2 (sizes), log2 (F_walk));
  % Sample entropy (m = 2, r = 0.2 sigma of each series): a chaotic orbit
  % repeats itself, noise does not. Over coarse-grained scales white noise
  % loses its entropy, while 1/f noise, with structure on every scale, keeps
  % it (Costa 2002).
  se_length = 2 ^ 14;
  se_henon = sampen (x(1:se_length));
  ae_henon = apen (x(1:se_length));
  scales = (1:20)';
  mse_noise = sampen (noise(1:se_length), 2, [], 1, 0, scales);
  pink = pink_noise (pool(2 ^ 17 + 1:end), se_length, 15);
  mse_pink = sampen (pink, 2, [], 1, 0, scales);

  % ---- 7. recurrences ---------------------------------------------------
  % The recurrence plot of the first 1000 points at r = 0.02, maximum norm,
  % leaving out |i - j| <= 1 as rqa does: neardist lists each point's 32
  % nearest neighbours, enough here, since every 32nd lies beyond r.
  r_rec = 0.02;
  [D, I] = neardist (henon(1:1000, :), 32, 1, 1:1000, Inf);
  [rec_i, rec_k] = find (D <= r_rec);
  rec_j = I(sub2ind (size (I), rec_i, rec_k));
  n_plotted = numel (rec_i);
  if (any (D(:, end) <= r_rec))       % some recurrence may lie beyond the 32nd
    n_plotted = NaN;
  end
  M1000 = rqa (henon(1:1000, :), r_rec);
  % Determinism (share of recurrences on diagonal lines) and laminarity (on
  % vertical lines) of 20000 points.
  M = rqa (henon(1:20000, :), r_rec);

  % ---- 8. prediction -----------------------------------------------------
  % Simplex projection of the Henon x series from its own past, every point
  % forecast from its neighbours among the others (leave one out): the skill
  % rho falls with the horizon Tp, and one step ahead it peaks at the best
  % embedding dimension E.
  forecast_x = x(1:1000);
  Es = (1:6)';
  horizons = (1:10)';
  rho_simplex = zeros (numel (Es), numel (horizons));
  for e = 1:numel (Es)
    for h = 1:numel (horizons)
      [~, skill] = simplex (forecast_x, Es(e), 1, horizons(h));
      rho_simplex(e, h) = skill(1);
    end
  end
  [~, best_E] = max (rho_simplex(:, 1));      % the first of equal maxima
  % S-map: local linear maps, the nearer library points weighted more as
  % theta grows. A nonlinear map gains skill with theta; a linear stochastic
  % series, AR(1) noise y(t) = 0.7 y(t-1) + e(t), does not.
  thetas = [0 0.25 0.5 1 1.5 2 3 4 6 8]';
  innovations = pool(end - 499:end);   % the pool's last, unused part
  ar = zeros (500, 1);
  ar(1) = innovations(1);
  for k = 2:500
    ar(k) = 0.7 * ar(k - 1) + innovations(k);
  end
  rho_smap = zeros (numel (thetas), 2);
  for k = 1:numel (thetas)
    [~, skill] = smap (x(1:500), best_E, 1, 1, thetas(k));
    rho_smap(k, 1) = skill(1);
    [~, skill] = smap (ar, best_E, 1, 1, thetas(k));
    rho_smap(k, 2) = skill(1);
  end
  % Convergent cross mapping on two coupled logistic maps (Sugihara 2012),
  % x driving y more strongly (0.1) than y drives x (0.02): y's past holds
  % x, so x cross-mapped from y's manifold reaches a higher plateau than y
  % from x's, as the library grows.
  cx = zeros (1000, 1);
  cy = zeros (1000, 1);
  cx(1) = 0.4;
  cy(1) = 0.2;
  for k = 1:1000 - 1
    cx(k + 1) = cx(k) * (3.8 - 3.8 * cx(k) - 0.02 * cy(k));
    cy(k + 1) = cy(k) * (3.5 - 3.5 * cy(k) - 0.1 * cx(k));
  end
  libraries = [10 20 40 70 100 200 400 700 999]';   % 999: all rows, t = 2 ... 1000
  samples = 20;
  rho_x_from_y = in_order_sum (crossmap (cy, cx, 2, 1, libraries, samples)')' / samples;
  rho_y_from_x = in_order_sum (crossmap (cx, cy, 2, 1, libraries, samples)')' / samples;

  % ---- 9. report --------------------------------------------------------
  baker_d0 = 1 + bisect (@(d) l1 ^ d + l2 ^ d - 1, 0.1, 1);
  baker_d2 = corr_baker (eta, l1, l2);
  printf ('Henon map (a = -1.4, b = 0.3), %d points, embedded in 2 dimensions with\n', n);
  if (found)
    printf ('delay %d, the first minimum of the mutual information (16 bins).\n\n', delay);
  else
    printf ('delay %d: the mutual information (16 bins) falls without a minimum up to lag %d.\n\n', ...
            delay, maxlag);
  end
  rms_noisy = rms (noisy(inner) - clean(inner));
  rms_smooth = rms (smooth(inner) - clean(inner));
  spline_error = max (abs (spline_fit(:) - truth));
  akima_error = max (abs (akima_fit(:) - truth));
  ln2 = log (2);
  trip = yes_no (round_trip);
  % One row per estimate: its label, its value, the value's format and the
  % reference (text, or a number in the value's format). Inside the braces a
  % call needs no blank before its parentheses.
  table = {
    'Henon D0, box counting (gridmass)',            d_box,           '%.3f', '1.26'
    'Henon D1, information (gridmass)',             d_info,          '%.3f', 'D2 ... D0'
    'Henon D2, correlation (gridmass)',             d_corr,          '%.3f', '1.22'
    'Henon D2, correlation sum (corrsum)',          d_corrsum,       '%.3f', '1.22'
    'Henon D, gamma = -1.2, about D2 (qspectrum)',  q_dims(1),       '%.3f', '1.22'
    'Henon D, gamma = 0, D1 (qspectrum)',           q_dims(2),       '%.3f', 'D2 ... D0'
    'Henon D, gamma = 1, toward D0 (qspectrum)',    q_dims(3),       '%.3f', '1.26'
    'Henon embedding dimension, F < 1% (embeddim)', d_embed,         '%d',   '2'
    'Henon largest exponent per step (lyapcurve)',  lambda_fit(1),   '%.3f', '0.419'
    'baker map D0 (gridmass; theory)',              baker_box,       '%.3f', baker_d0
    'baker map D2 (gridmass; theory)',              baker_corr,      '%.3f', baker_d2
    'bent tent map D0 (gridmass)',                  tent_box,        '%.3f', '1'
    'logistic map 4x(1-x), exponent (lyapcurve)',   lambda_logistic, '%.3f', ln2
    'rms error, noisy; smoothed (smoothwin)',       rms_noisy,       '%.4f', rms_smooth
    'max error, cubic spline (knotinterp)',         spline_error,    '%.2e', ''
    'max error, Akima (slopeinterp)',               akima_error,     '%.2e', ''
    'text file round trip (textmatrix)',            trip,            '%s',   'exact'
    'Henon x PermEn, m = 5, normalized (permen)',   pe_henon(orders == 5), '%.3f', 'noise: 1'
    'Henon x SampEn; ApEn, m = 2 (sampen; apen)',   se_henon,        '%.3f', ae_henon
    'white noise SampEn, m = 2, 0.2 sd (sampen)',   mse_noise(1),    '%.3f', '2.185'
    'white noise, DFA alpha (dfa)',                 alpha_noise(1),  '%.3f', '0.5'
    'random walk, DFA alpha (dfa)',                 alpha_walk(1),   '%.3f', '1.5'
    'Henon x best E, simplex one step (simplex)',   best_E,          '%d',   '2 or 3'
    'x from y, y from x, largest L (crossmap)',     rho_x_from_y(end), '%.3f', rho_y_from_x(end)
    'Henon recurrences of 1000 (neardist; rqa)',    n_plotted,       '%d',   M1000(9)
    'Henon DET; LAM, r = 0.02 (rqa)',               M(2),            '%.4f', M(6)
  };
  print_table (table, ! isempty (getenv ('ORBITKIT_TOUR_EXACT')));

  draw (figure_file, henon, mi, delay, bins, h0, h1, h2, fine, radii, C, distances, ...
        fnn, e1, e2, S, growth, lambda_fit, t, noisy, smooth, knots, clean(1:10:end), ...
        fine_t, akima_fit, orders, pe_henon, pe_noise, pe_seen, sizes, F_noise, F_walk, ...
        alpha_noise, alpha_walk, rec_i, rec_j, scales, mse_noise, mse_pink, Es, horizons, ...
        rho_simplex, best_E, thetas, rho_smap, libraries, rho_x_from_y, rho_y_from_x);
  printf ('\nfigure: %s (%.1f s in all)\n', figure_file, toc);
end

function d = corr_baker (eta, l1, l2)
  % Correlation dimension of the baker map's Cantor direction: the d with
  % eta^2 l1^-d + (1-eta)^2 l2^-d = 1, plus 1 for the stretched direction.
  d = 1 + bisect (@(d) eta ^ 2 * l1 ^ -d + (1 - eta) ^ 2 * l2 ^ -d - 1, 0.05, 1);
end

% Prints the rows: the label, the value in the row's format, the reference
% (text, or a number in the same format), and in exact mode every number of
% the row to 17 digits. demo/tour.py prints its rows so too.
function print_table (table, exact)
  printf ('%-44s %9s %12s\n', 'estimate', 'value', 'reference');
  for r = 1:rows (table)
    [label, value, format, reference] = table{r, :};
    numbers = [];
    if (isnumeric (value))
      numbers = value;
      value = sprintf (format, value);
    end
    if (isnumeric (reference))
      numbers(end + 1) = reference;
      reference = sprintf (format, reference);
    end
    printf ('%-44s %9s %12s', label, value, reference);
    if (exact && ! isempty (numbers))
      printf (' %.17g', numbers);
    end
    printf ('\n');
  end
end

% Sums the columns' elements in order, as Python's tour does.
function s = in_order_sum (v)
  s = zeros (1, columns (v));
  for i = 1:rows (v)
    s = s + v(i, :);
  end
end

function r = rms (v)
  r = sqrt (in_order_sum (v(:) .^ 2) / numel (v));
end

% The least-squares line v = p(1) u + p(2), its sums taken in order, as
% Python's tour takes them: the two print the same bits.
function p = line_fit (u, v)
  u = u(:);
  v = v(:);
  n = numel (u);
  mu = in_order_sum (u) / n;
  mv = in_order_sum (v) / n;
  du = u - mu;
  a = in_order_sum (du .* (v - mv)) / in_order_sum (du .* du);
  p = [a, mv - a * mu];
end

% The root of f between a and b, where f changes sign, to the last bit: the
% interval halved until no double lies inside it.
function x = bisect (f, a, b)
  below = f (a) < 0;
  while (true)
    m = (a + b) / 2;
    if (m <= a || m >= b)
      break;
    end
    if ((f (m) < 0) == below)
      a = m;
    else
      b = m;
    end
  end
  x = a;
end

% The first lag after which the information grows again; a map's orbit
% forgets itself at once, so without a minimum the delay is 1.
function [lag, found] = first_minimum (mi)
  lag = find (diff (mi(2:end)) > 0, 1);   % mi(1) is lag 0
  found = ! isempty (lag);
  if (! found)
    lag = 1;
  end
end

function s = slope (u, v)
  p = line_fit (u, v);
  s = p(1);
end

function v = randn_fixed (count)
  % Reproducible noise from the toolbox's own generator (Box-Muller).
  u = twistgen (2 * count);
  u = min (max (u, eps), 1 - eps);
  v = sqrt (-2 * log (u(1:count))) .* cos (2 * pi * u(count + 1:end));
end

% 1/f noise by summing Gaussian values of which the k-th is drawn afresh
% every 2^k samples, k = 0 ... octaves - 1 (Voss), the terms added in order:
% its spectrum falls as 1/f over that many octaves. g holds the values, used
% from its start.
function y = pink_noise (g, count, octaves)
  y = zeros (count, 1);
  t = (0:count - 1)';
  used = 0;
  for k = 0:octaves - 1
    held = floor (t / 2 ^ k);
    y = y + g(used + 1 + held);
    used = used + held(end) + 1;
  end
end

function s = yes_no (flag)
  if (flag)
    s = 'exact';
  else
    s = 'DIFFERS';
  end
end

function draw (file, henon, mi, delay, bins, h0, h1, h2, fine, radii, C, distances, ...
               fnn, e1, e2, S, growth, lambda_fit, t, noisy, smooth, knots, knot_values, ...
               fine_t, akima_fit, orders, pe_henon, pe_noise, pe_seen, sizes, F_noise, ...
               F_walk, alpha_noise, alpha_walk, rec_i, rec_j, scales, mse_noise, mse_pink, ...
               Es, horizons, rho_simplex, best_E, thetas, rho_smap, libraries, ...
               rho_x_from_y, rho_y_from_x)
  warning ('off', 'Octave:gnuplot-graphics');   % the headless toolkit is meant
  graphics_toolkit ('gnuplot');
  f = figure ('visible', 'off', 'position', [0 0 2250 1200]);
  % Three rows of five: the geometry of the attractor; its dimension and
  % dynamics; complexity, recurrences and filtering.
  subplot (3, 5, 1);
  plot (henon(1:20000, 1), henon(1:20000, 2), 'k.', 'markersize', 1);
  title ('Henon attractor (foldmap)'); xlabel ('x_n'); ylabel ('x_{n-1}');
  subplot (3, 5, 2);
  plot (0:numel (mi) - 1, mi, 'o-', delay, mi(delay + 1), 'r*', 'markersize', 10);
  title ('auto mutual information (laginfo), delay *'); xlabel ('lag'); ylabel ('bits');
  subplot (3, 5, 3);
  lb = log2 (bins(:));
  plot (lb, h0(:, end), 'o', lb, h1(:, end), 's', lb, h2(:, end), 'd');
  hold on;
  for h = {h0, h1, h2}
    p = line_fit (lb(fine), h{1}(fine, end));
    plot (lb(fine), polyval (p, lb(fine)), 'k-');
  end
  hold off;
  legend ('-log2 B', 'sum mu log2 mu', 'log2 sum mu^2', 'location', 'southwest');
  title ('partition sums (gridmass) and fitted slopes'); xlabel ('log2 bins'); ylabel ('bits');
  subplot (3, 5, 4);
  lr = log2 (radii(:));
  p = line_fit (lr, log2 (C));
  plot (lr, log2 (C), 'o', lr, polyval (p, lr), 'k-');
  title (sprintf ('correlation sum (corrsum), slope %.3f', p(1)));
  xlabel ('log2 r'); ylabel ('log2 C(r)');
  subplot (3, 5, 5);
  k = (1:columns (distances))';
  plot (log2 (k), mean (log2 (distances))', 'o');
  title ('k-th neighbour distances (neardist), geometric mean');
  xlabel ('log2 k'); ylabel ('log2 distance');
  subplot (3, 5, 6);
  m = 1:numel (fnn);
  plot (m, fnn, 'o-', m, e1, 's-', m, e2, 'd-');
  ylim ([0 2.1]);
  legend ('F, false neighbours', 'E1', 'E2', 'location', 'northeast');
  title ('embedding dimension (embeddim)'); xlabel ('dimension m');
  subplot (3, 5, 7);
  steps = (0:numel (S) - 1)';
  % The fitted line, drawn on past the steps it was fitted to, over them.
  drawn = (0:12)';
  plot (steps, S, 'o', drawn, polyval (lambda_fit, drawn), 'r-', 'linewidth', 2);
  legend ('S, mean ln distance', sprintf ('fit over steps %d ... %d', growth([1 end])), ...
          'location', 'southeast');
  title (sprintf ('neighbours parting (lyapcurve), slope %.3f', lambda_fit(1)));
  xlabel ('step'); ylabel ('mean ln distance');
  subplot (3, 5, 8);
  plot (horizons, rho_simplex', 'o-');
  legend (arrayfun (@(e) sprintf ('E = %d', e), Es, 'uniformoutput', false), ...
          'location', 'southwest');
  title (sprintf ('simplex skill, Henon x (simplex); best E = %d', best_E));
  xlabel ('horizon Tp'); ylabel ('rho');
  subplot (3, 5, 9);
  plot (thetas, rho_smap(:, 1), 'o-', thetas, rho_smap(:, 2), 's-');
  legend ('Henon x', 'AR(1) noise', 'location', 'southeast');
  title (sprintf ('S-map skill one step ahead, E = %d (smap)', best_E));
  xlabel ('theta'); ylabel ('rho');
  subplot (3, 5, 10);
  semilogx (libraries, rho_x_from_y, 'o-', libraries, rho_y_from_x, 's-');
  legend ('x from y (x drives y, 0.1)', 'y from x (y drives x, 0.02)', 'location', 'southeast');
  title ('cross mapping, coupled logistic maps (crossmap)');
  xlabel ('library size L'); ylabel ('rho, mean over draws');
  subplot (3, 5, 11);
  plot (orders, pe_henon, 'o-', orders, pe_noise, 's-');
  axis ([orders(1) orders(end) 0.4 1.05]);
  legend ('Henon x', 'white noise', 'location', 'southwest');
  title (sprintf ('permutation entropy (permen); Henon: %d of 5! patterns', pe_seen));
  xlabel ('order m'); ylabel ('H / ln m!');
  subplot (3, 5, 12);
  plot (scales, mse_noise, 'o-', scales, mse_pink, 's-');
  axis ([0 scales(end) 0 2.5]);
  legend ('white noise', '1/f noise', 'location', 'southwest');
  title ('multiscale entropy (sampen), m = 2, r = 0.2 sd');
  xlabel ('scale'); ylabel ('SampEn');
  subplot (3, 5, 13);
  ls = log2 (sizes);
  h = plot (ls, log2 (F_noise), 'o', ls, polyval (alpha_noise, ls), 'k-', ...
            ls, log2 (F_walk), 's', ls, polyval (alpha_walk, ls), 'k-');
  legend (h([1 3]), sprintf ('white noise, alpha %.3f', alpha_noise(1)), ...
          sprintf ('random walk, alpha %.3f', alpha_walk(1)), 'location', 'northwest');
  title ('detrended fluctuations (dfa)'); xlabel ('log2 n'); ylabel ('log2 F(n)');
  subplot (3, 5, 14);
  plot (rec_i, rec_j, 'k.', 'markersize', 1);
  axis ([1 1000 1 1000], 'square');
  title ('recurrence plot, r = 0.02, max norm (neardist)'); xlabel ('i'); ylabel ('j');
  subplot (3, 5, 15);
  plot (t, noisy, '.', t, smooth, '-', fine_t, akima_fit, '--', knots, knot_values, 'ko');
  legend ('noisy', 'smoothwin', 'slopeinterp', 'knots', 'location', 'southwest');
  title ('smoothing and interpolation'); xlabel ('t');
  print (f, '-dpng', '-r80', file);
  close (f);
end
