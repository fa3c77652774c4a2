function ok = not_compiled(matlab_dir)
%NOT_COMPILED  Where only the help file of a plug-in is on the path (its MEX
%   file was never built), calling it raises lamina:notCompiled with a
%   message that says how to build it.
  d = tempname();
  mkdir(d);
  cleanup = onCleanup(@() rmdir(d, 's'));
  copyfile(fullfile(matlab_dir, 'lamina_work_deriv.m'), d);
  addpath(d);
  try
    lamina_work_deriv(1);
    ok = false;
    disp('no error raised');
  catch err
    disp(err.message);
    ok = strcmp(err.identifier, 'lamina:notCompiled') && ...
         ~isempty(strfind(err.message, 'lamina_build'));
  end
  rmpath(d);
end
