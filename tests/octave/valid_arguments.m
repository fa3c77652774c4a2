function args = valid_arguments(name)
%VALID_ARGUMENTS  The arguments of a valid call of plug-in NAME: the six
%   inputs of the two-triangle patch, and for lamina_work_hessian an option
%   pair as well, so that the wrong-class tests reach every slot.
  V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
  F = [0 1 2; 1 3 2];
  E = [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1];
  Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
  args = {Q, 2, 3, F, V, E};
  if strcmp(name, 'lamina_work_hessian')
    args = [args, {'Project', 'clamp'}];
  end
end
