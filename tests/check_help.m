function check_help ()
% Every module has help the host's own way: a help file beside the built
% module whose first line names it, with an example that runs.
  modules = {'gridmass', 'laginfo', 'qspectrum', 'delaymatrix', 'histinfo', ...
             'knotinterp', 'slopeinterp', 'smoothwin', 'gainrider', ...
             'foldmap', 'peakiter', 'baker', 'twistgen', 'termset', 'textmatrix', ...
             'neardist', 'corrsum', 'embeddim', 'lyapcurve', ...
             'permen', 'dfa', 'rqa', 'sampen', 'apen', 'simplex', 'smap', 'crossmap'};
  contents = get_help_text ('Contents');
  for k = 1:numel (modules)
    name = modules{k};
    assert (exist (name) == 3, '%s is not built', name);
    text = get_help_text (name);
    assert (strncmp (strtrim (text), upper (name), numel (name)), ...
            'help of %s does not start with its name', name);
    assert (! isempty (strfind (contents, name)), 'Contents does not list %s', name);
    example = example_of (text);
    assert (! isempty (example), 'help of %s has no example', name);
    run_example (example);
    printf ('%-12s help and example ok\n', name);
  end
end

% The lines after "Example:" up to the next blank line or "See also".
function code = example_of (text)
  lines = strsplit (text, "\n", "CollapseDelimiters", false);
  start = find (! cellfun ('isempty', regexp (lines, '^\s*Example:')), 1);
  code = '';
  for k = start + 1:numel (lines)
    if (isempty (strtrim (lines{k})) || ! isempty (regexp (lines{k}, '^\s*See also', 'once')))
      break;
    end
    code = [code lines{k} "\n"];
  end
end

% Runs in a function of its own, so the example's variables stay there.
function run_example (code)
  evalc (code);
end
