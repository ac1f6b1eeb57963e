function make_toolbox (outdir)
%MAKE_TOOLBOX  Build every module of the toolbox with the host's mex command.
%   MAKE_TOOLBOX compiles each module into the folder 'toolbox' beside this
%   file and copies its help file there; addpath that folder to use them.
%   MAKE_TOOLBOX (OUTDIR) builds into OUTDIR instead.
%
%   It works in MATLAB (with a configured C++ compiler, see 'mex -setup C++')
%   and in GNU Octave (which needs its development files, e.g. the Debian
%   package liboctave-dev).

  root = fileparts (mfilename ('fullpath'));
  if (nargin < 1)
    outdir = fullfile (root, 'toolbox');
  end
  modules = {'gridmass', 'laginfo', 'qspectrum', 'delaymatrix', 'histinfo', ...
             'knotinterp', 'slopeinterp', 'smoothwin', 'gainrider', ...
             'foldmap', 'peakiter', 'baker', 'twistgen', 'termset', 'textmatrix', ...
             'neardist', 'corrsum', 'embeddim', 'lyapcurve', 'simplex', 'crossmap'};
  % Results are compared bit for bit: no fused multiply-add, no fast math.
  flags = '-std=c++17 -O2 -ffp-contract=off -Wall -Wextra';
  in_octave = exist ('OCTAVE_VERSION', 'builtin') ~= 0;

  if (~exist (outdir, 'dir'))
    mkdir (outdir);
  end
  for k = 1:numel (modules)
    name = modules{k};
    source = fullfile (root, name, [name '.cpp']);
    if (~exist (source, 'file'))
      continue;
    end
    fprintf ('building %s\n', name);
    if (in_octave)
      old_flags = getenv ('CXXFLAGS');
      setenv ('CXXFLAGS', flags);
      status = mex (['-I' root], '-o', fullfile (outdir, [name '.' mexext()]), source);
      setenv ('CXXFLAGS', old_flags);
      if (status ~= 0)
        error ('make_toolbox: building %s failed', name);
      end
    else
      mex (['CXXFLAGS=$CXXFLAGS ' flags], ['-I' root], '-outdir', outdir, source);
    end
    help_file = fullfile (root, name, [name '.m']);
    if (exist (help_file, 'file'))
      copyfile (help_file, outdir);
    end
  end
  if (exist (fullfile (root, 'Contents.m'), 'file'))
    copyfile (fullfile (root, 'Contents.m'), outdir);
  end
end
