function [args, nout] = valid_arguments(name)
%VALID_ARGUMENTS  A valid argument list for plug-in NAME, on the worked
%   example (two faces, one hinge): six inputs for the energy plug-ins and
%   lamina_solve, followed by every option the plug-in takes with a valid
%   value (lamina_work_hessian's three, lamina_work_rest_deriv's two,
%   lamina_solve's eleven), so that the
%   wrong-class tests reach every slot; (source_faces, edges) for
%   lamina_check_edge_table; and NOUT, the number of outputs such a call may
%   ask for (1, or 0 for lamina_check_edge_table, which returns nothing).
  V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
  F = [0 1 2; 1 3 2];
  E = [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1];
  Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
  if strcmp(name, 'lamina_check_edge_table')
    args = {F, E};
    nout = 0;
  else
    args = {Q, 2, 3, F, V, E};
    switch name
      case 'lamina_work_hessian'
        args = [args, {'Project', 'clamp', 'Bending', 'dihedral', 'Threads', 2}];
      case 'lamina_work_rest_deriv'
        args = [args, {'Bending', 'dihedral', 'Threads', 2}];
      case 'lamina_solve'
        args = [args, {'Fixed', false(4, 3), 'Forces', zeros(4, 3), 'Mass', ones(4, 1), ...
                       'Target', Q, 'TimeStep', 0.1, 'Tolerance', 1e-8, 'MaxIterations', 5, ...
                       'Project', 'clamp', 'Verbose', false, 'Bending', 'dihedral', ...
                       'Threads', 2}];
    end
    nout = 1;
  end
end
