function post_install(desc)
% Run by "pkg install" once the package is in place. Moves the help file of
% each plug-in (lamina_work_deriv.m and so on, which also raise
% lamina:notCompiled when called) from the package folder into the folder
% of its MEX file or oct-file. There Octave prefers the compiled file to the
% .m file of the same name, and "help" finds the help text beside it (an
% oct-file of lamina's reads it from there when it is loaded); left in the
% package folder, the .m file would be a second function of the same name,
% and "pkg test" would call the plug-ins from that folder, where the .m file
% wins.
  mex_files = [dir(fullfile(desc.archprefix, '*', '*.mex')); ...
               dir(fullfile(desc.archprefix, '*', '*.oct'))];
  if isempty(mex_files)
    error('lamina:install', 'post_install: no plug-in was built below %s', desc.archprefix);
  end
  for k = 1:numel(mex_files)
    [~, name] = fileparts(mex_files(k).name);
    help_file = fullfile(desc.dir, [name '.m']);
    if exist(help_file, 'file')
      [ok, msg] = movefile(help_file, mex_files(k).folder);
      if ~ok
        error('lamina:install', 'post_install: cannot move %s beside %s: %s', ...
              help_file, mex_files(k).name, msg);
      end
    end
  end
end
