function make_toolbox (outdir, names)
%MAKE_TOOLBOX  Build every module of the toolbox with the host's mex command.
%   MAKE_TOOLBOX compiles each module into the folder 'toolbox' beside this
%   file and copies its help file there; addpath that folder to use them.
%   MAKE_TOOLBOX (OUTDIR) builds into OUTDIR instead.
%   MAKE_TOOLBOX (OUTDIR, NAMES) builds only the modules named in the cell
%   array NAMES, e.g. MAKE_TOOLBOX ('toolbox', {'gridmass', 'smap'}).
%
%   It works in MATLAB (with a configured C++ compiler, see 'mex -setup C++')
%   and in GNU Octave (which needs its development files, e.g. the Debian
%   package liboctave-dev).
%
%   smap needs Eigen's headers (header-only, MPL2): on Debian the package
%   libeigen3-dev puts them in /usr/include/eigen3, found here. Elsewhere,
%   set the environment variable EIGEN3_INCLUDE_DIR to the folder that holds
%   Eigen/ (Homebrew: $(brew --prefix eigen)/include/eigen3; Windows: where
%   the Eigen archive was unpacked) before calling MAKE_TOOLBOX.

  root = fileparts (mfilename ('fullpath'));
  if (nargin < 1)
    outdir = fullfile (root, 'toolbox');
  end
  modules = {'gridmass', 'laginfo', 'qspectrum', 'delaymatrix', 'histinfo', ...
             'knotinterp', 'slopeinterp', 'smoothwin', 'gainrider', ...
             'foldmap', 'peakiter', 'baker', 'twistgen', 'termset', 'textmatrix', ...
             'neardist', 'corrsum', 'embeddim', 'lyapcurve', ...
             'permen', 'dfa', 'rqa', 'sampen', 'apen', 'simplex', 'smap', 'crossmap'};
  if (nargin > 1)
    unknown = setdiff (names, modules);
    if (~isempty (unknown))
      error ('make_toolbox: no module named %s', unknown{1});
    end
    modules = names;
  end
  % Results are compared bit for bit: no fused multiply-add, no fast math.
  flags = '-std=c++17 -O2 -ffp-contract=off -Wall -Wextra';
  in_octave = exist ('OCTAVE_VERSION', 'builtin') ~= 0;
  eigen = getenv ('EIGEN3_INCLUDE_DIR');
  if (isempty (eigen))
    eigen = '/usr/include/eigen3';
  end

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
    includes = {['-I' root]};
    if (strcmp (name, 'smap'))
      if (~exist (fullfile (eigen, 'Eigen', 'SVD'), 'file'))
        error ('make_toolbox: smap needs Eigen''s headers, not found in %s: install libeigen3-dev (Debian) or set EIGEN3_INCLUDE_DIR', eigen);
      end
      includes{end + 1} = ['-I' eigen];
    end
    if (in_octave)
      old_flags = getenv ('CXXFLAGS');
      setenv ('CXXFLAGS', flags);
      status = mex (includes{:}, '-o', fullfile (outdir, [name '.' mexext()]), source);
      setenv ('CXXFLAGS', old_flags);
      if (status ~= 0)
        error ('make_toolbox: building %s failed', name);
      end
    else
      mex (['CXXFLAGS=$CXXFLAGS ' flags], includes{:}, '-outdir', outdir, source);
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
