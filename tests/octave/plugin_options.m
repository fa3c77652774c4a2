function opts = plugin_options(name, Q)
%PLUGIN_OPTIONS  The name-value options plug-in NAME takes, each with a
%   valid value for the worked example (deformed positions Q), as rows
%   {name, value} of a cell array; empty for a plug-in without options.
%   WRONG_CLASSES passes every wrong class in the name's slot and in each
%   value's.
  nV = rows(Q);
  switch name
    case 'lamina_work_hessian'
      opts = {'Project', 'clamp'};
    case 'lamina_solve'
      opts = {'Fixed', false(nV, 3); 'Forces', zeros(nV, 3); 'Mass', ones(nV, 1);
              'Target', Q; 'TimeStep', 0.1; 'Tolerance', 1e-8; 'MaxIterations', 5;
              'Project', 'clamp'; 'Verbose', false};
    otherwise
      opts = cell(0, 2);
  end
end
