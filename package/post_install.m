function post_install (desc)
% Moves each module's help file beside the compiled module. The host reads
% a module's help from the file of its name in the module's own folder, and
% a help file in another folder of the path would hide the module itself.
  modules = dir (fullfile (desc.archprefix, '*', '*.mex'));
  for k = 1:numel (modules)
    help_file = fullfile (desc.dir, [modules(k).name(1:end - 4) '.m']);
    if (exist (help_file, 'file'))
      movefile (help_file, modules(k).folder);
    end
  end
end
