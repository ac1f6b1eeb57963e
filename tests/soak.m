function soak (seconds)
% Calls every module many thousands of times with random valid and invalid
% inputs and fails when the process's resident memory keeps growing, or when
% a call ends in anything but a result or a clear error. Also checks that a
% failed twistgen call leaves its seed chain as it was.
  if (nargin < 1)
    seconds = 60;
  end
  rand ('seed', 42);
  randn ('seed', 42);
  check_twistgen_chain ();

  calls = valid_calls ();
  names = fieldnames (calls);
  file = [tempname() '.txt'];
  fid = fopen (file, 'w');
  fprintf (fid, '# soak\n1 2 3\n4,5;6\n');
  fclose (fid);
  cleanup = onCleanup (@() delete (file));

  phases = 4;
  rss = zeros (1, phases + 1);
  count = 0;
  errors = 0;
  for phase = 0:phases
    stop = time () + seconds / (phases + 1);
    while (time () < stop)
      for k = 1:numel (names)
        name = names{k};
        if (rand () < 0.5)
          args = calls.(name) (file);
        else
          args = hostile_arguments ();
        end
        nout = randi ([0 3]);
        try
          if (nout == 0)
            evalc ('feval (name, args{:});');
          else
            out = cell (1, nout);
            evalc ('[out{:}] = feval (name, args{:});');
          end
        catch err
          errors++;
          check_message (name, err);
        end
        count++;
      end
    end
    rss(phase + 1) = resident_kb ();
  end
  growth = diff (rss(2:end));  % phase 0 warms up
  printf ('soak: %d calls (%d ended with an error), resident memory %s kB\n', ...
          count, errors, mat2str (rss));
  assert (! all (growth > 1024), 'resident memory keeps growing: %s kB', mat2str (rss));
  assert (rss(end) - rss(2) < 20 * 1024, 'resident memory grew by %d kB', rss(end) - rss(2));
end

% A clear error: a message of its own, not the host's complaint about an
% output the module did not set or an internal failure.
function check_message (name, err)
  msg = err.message;
  assert (! isempty (msg) || strcmp (name, 'textmatrix'), '%s failed without a message', name);
  bad = {'segmentation', 'std::', 'unknown exception', 'panic'};
  for k = 1:numel (bad)
    assert (isempty (strfind (lower (msg), bad{k})), '%s: %s', name, msg);
  end
end

function kb = resident_kb ()
  text = fileread ('/proc/self/status');
  kb = str2double (regexp (text, 'VmRSS:\s*(\d+)', 'tokens', 'once'){1});
end

function check_twistgen_chain ()
  clear twistgen;
  first = twistgen (3);
  try, twistgen (); catch, end
  try, twistgen (int32 (4)); catch, end
  try, twistgen ([]); catch, end
  second = twistgen (2);
  clear twistgen;
  assert (twistgen (3), first);
  assert (twistgen (2), second, 'a failed twistgen call moved the seed chain');
end

function calls = valid_calls ()
  calls.gridmass = @(f) {rand(randi(200), randi(4)), 2 .^ randi(6, 1, randi(3))};
  calls.laginfo = @(f) {rand(1, 200), randi([0 10]), 2 .^ randi(6, 1, randi(2))};
  calls.qspectrum = @(f) {cumsum(rand(50, 8), 2), [-1 0 1 2], 1, 2, 6};
  calls.delaymatrix = @(f) {rand(100, 2), [3 2], [1 2], 0};
  calls.histinfo = @(f) {round(3 * rand(2, 100))};
  calls.knotinterp = @(f) {1:20, rand(1, 20), 30 * rand(1, 50) - 5};
  calls.slopeinterp = @(f) {1:20, rand(1, 20), 30 * rand(1, 50) - 5};
  calls.smoothwin = @(f) {rand(100, 2), randi([2 20])};
  calls.gainrider = @(f) {randn(100, 2), [1 10], 3, 0.1};
  calls.foldmap = @(f) {randi(500), [-1.4 0.3 0 0]};
  calls.peakiter = @(f) {randi(500), [0 1 1 rand()]};
  calls.baker = @(f) {randi(500), [0.5 0.25 0.4 rand() rand()]};
  calls.twistgen = @(f) {randi([-5 500])};
  calls.termset = @(f) {randi(4), randi([0 4])};
  calls.textmatrix = @(f) {f};
  calls.neardist = @(f) {rand(randi(300), randi(3)), randi(4), randi([0 3]), randi(10, 1, randi(5)), 2};
  calls.corrsum = @(f) {rand(randi([10 300]), randi(3)), rand(1, randi(4)), randi([0 3]), Inf};
  calls.embeddim = @(f) {rand(randi([30 300]), 1), randi(3), randi(2), randi([0 3]), 10, 2};
  calls.permen = @(f) {randn(randi([30 300]), 1), randi([2 5]), randi(3), rand() < 0.5};
  calls.dfa = @(f) {randn(randi([30 300]), 1), randi([7 30], 1, randi(4)), randi([0 5]), randn(1, randi(3))};
  calls.rqa = @(f) {rand(randi([2 300]), randi(3)), rand() / 2, randi([0 3]), randi(3), randi(3), Inf};
  calls.lyapcurve = @(f) {rand(randi([20 300]), randi(3)), randi([0 5]), randi(3), randi([0 3]), randi(10, 1, randi(5)), Inf};
  calls.sampen = @(f) {randi(9, randi([30 300]), 1), randi(3), [], randi(2), randi([0 3]), randi(3, 1, randi(3))};
  calls.apen = @(f) {rand(randi([10 300]), 1), randi(3), rand() / 4, randi(2)};
  calls.simplex = @(f) {rand(randi([30 300]), 1), randi(3), randi(2), randi([0 3]), randi([0 3]), [], randi([7 25], 1, randi(5)), randi(3)};
  calls.smap = @(f) {rand(randi([30 200]), 1), randi(3), randi(2), randi([0 3]), 4 * rand(), randi([0 3]), [], randi([7 25], 1, randi(5))};
  calls.crossmap = @(f) {rand(200, 1), rand(200, 1), randi(3), randi(2), randi([20 190], 1, randi(3)), randi(4), randi(100), randi([0 3]), randi([0 2])};
end

% What a user might have at hand: empty and oddly shaped arrays, NaN, Inf,
% huge counts, other classes, too many or too few arguments.
function args = hostile_arguments ()
  args = cell (1, randi ([0 6]) );
  for k = 1:numel (args)
    args{k} = hostile_value ();
  end
end

function v = hostile_value ()
  specials = [NaN Inf -Inf -0 0 realmin/4 1e308 -1e308 2^31 -2^31-1 1e6+1 0.5 2 3 -1];
  shapes = {[0 0], [0 5], [5 0], [1 1], [1, randi(9)], [randi(9), 1], [randi(5), randi(5)], [2 2 2]};
  shape = shapes{randi (numel (shapes))};
  n = prod (shape);
  if (rand () < 0.5)
    v = specials(randi (numel (specials), 1, n));
  else
    v = round (20 * randn (1, n)) / (1 + 3 * (rand () < 0.5));
  end
  v = reshape (v, shape);
  switch (randi (8))
    case 1, v = single (v);
    case 2, v(isnan (v)) = 0; v = int32 (v);
    case 3, v = logical (v != 0 & ! isnan (v));
    case 4, v = char (mod (abs (v(isfinite (v))), 95) + 32);
    case 5, v = complex (v, 1);
    case 6, v(isnan (v)) = 0; v = sparse (double (v(:, :, 1)));
  end
end
