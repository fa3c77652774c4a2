function ok = octave_package_check(version, cmake_plugin_dir, plugins, octfiles)
%OCTAVE_PACKAGE_CHECK  Checks the installed lamina Octave package (pkg's
%   prefix and lists already set by the caller): that pkg load puts each
%   plug-in's MEX file, or its oct-file for those OCTFILES names, first with
%   its help file beside it, that help prints the help text, that the worked
%   example gives its energy bit for bit, and that on a bent sheet every
%   plug-in gives the very bits of the plug-ins CMake built into
%   CMAKE_PLUGIN_DIR. PLUGINS and OCTFILES name the plug-ins and oct-files
%   (manifest.txt's). True when all hold; each failure is printed.
  f = {};  % the failures
  pkg('load', 'lamina');
  list = pkg('list', 'lamina');
  f = check(f, numel(list) == 1, 'pkg list shows %d lamina packages', numel(list));
  desc = list{1};
  f = check(f, strcmp(desc.version, version), 'package version %s, expected %s', ...
            desc.version, version);

  for k = 1:numel(plugins)
    name = plugins{k};
    w = which(name);
    [folder, ~, ext] = fileparts(w);
    expected = '.mex';
    if any(strcmp(name, octfiles))
      expected = '.oct';
    end
    f = check(f, strcmp(ext, expected), '%s resolves to %s, not a %s file', name, w, expected);
    f = check(f, strncmp(folder, desc.dir, numel(desc.dir)), ...
              '%s resolves outside the package: %s', name, w);
    f = check(f, exist(fullfile(folder, [name '.m']), 'file') == 2, 'no help file beside %s', w);
    f = check(f, exist(fullfile(desc.dir, [name '.m']), 'file') == 0, ...
              '%s.m left in %s, where it would shadow the MEX file', name, desc.dir);
    text = evalc(['help ' name]);
    f = check(f, ~isempty(strfind(text, upper(name))) && ~isempty(strfind(text, ' by 3')), ...
              'help %s does not print its help text:\n%s', name, text);
    f = check(f, isempty(strfind(text, '%!')), 'help %s prints test blocks', name);
  end
  f = check(f, strcmp(fileparts(which('lamina_edge_table')), desc.dir), ...
            'lamina_edge_table resolves to %s', which('lamina_edge_table'));

  % The worked example of lamina_work_deriv's help, bit for bit.
  V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
  F = [0 1 2; 1 3 2];
  Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
  E = lamina_edge_table(F);
  [e, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
  f = check(f, typecast(e, 'uint64') == typecast(0.529986954049356, 'uint64'), ...
            'worked example: energy %.17g, expected 0.529986954049356', e);
  f = check(f, isequal(size(g), [4 3]), 'worked example: gradient of size %s', ...
            mat2str(size(g)));

  % A bent, stretched, jittered sheet, large enough for every vector lane
  % and remainder: the package's plug-ins against CMake's, bit for bit.
  [sheet, deformed, faces, edges] = bent_sheet(23, 17);
  from_package = evaluate(deformed, faces, sheet, edges);
  pkg('unload', 'lamina');
  addpath(cmake_plugin_dir);
  clear(plugins{:});
  folder = fileparts(which('lamina_work_deriv'));
  f = check(f, strcmp(folder, cmake_plugin_dir), 'after unloading, lamina_work_deriv is %s', ...
            which('lamina_work_deriv'));
  from_cmake = evaluate(deformed, faces, sheet, edges);
  rmpath(cmake_plugin_dir);
  fields = fieldnames(from_cmake);
  for k = 1:numel(fields)
    a = from_package.(fields{k});
    b = from_cmake.(fields{k});
    same = isequal(size(a), size(b)) && isequal(typecast(a(:), 'uint64'), typecast(b(:), 'uint64'));
    f = check(f, same, '%s: the package and CMake give different bits', fields{k});
  end
  f = check(f, from_cmake.hinges > 0 && from_cmake.energy > 0 && ~isempty(from_cmake.hessian), ...
            'the sheet has no energy, no hinges or no Hessian');

  ok = isempty(f);
  printf('octave_package_check: %d failures\n', numel(f));
end

% Adds a failure, printed, when COND is false.
function f = check(f, cond, varargin)
  if ~cond
    f{end + 1} = sprintf(varargin{:});
    printf('FAIL: %s\n', f{end});
  end
end

% A grid of nx by ny vertices over [0, 2] x [0, 1.5], its faces (0-based)
% and edge table, and a deformed copy: stretched, bent and jittered.
function [rest, deformed, faces, edges] = bent_sheet(nx, ny)
  [x, y] = ndgrid(linspace(0, 2, nx), linspace(0, 1.5, ny));
  rest = [x(:), y(:), zeros(numel(x), 1)];
  id = reshape(0:numel(x) - 1, nx, ny);
  a = id(1:end - 1, 1:end - 1);  b = id(2:end, 1:end - 1);
  c = id(1:end - 1, 2:end);      d = id(2:end, 2:end);
  faces = [a(:) b(:) c(:); b(:) d(:) c(:)];
  edges = lamina_edge_table(faces);
  jitter = 1e-3 * sin(37 * (1:numel(x))' * [1 2 3]);
  deformed = [1.2 * rest(:, 1), rest(:, 2), 0.3 * sin(2 * rest(:, 1)) .* cos(rest(:, 2))] + jitter;
end

function r = evaluate(deformed, faces, rest, edges)
  [r.energy, r.gradient] = lamina_work_deriv(deformed, 1, 0.02, faces, rest, edges);
  r.total = lamina_work_total(deformed, 1, 0.02, faces, rest, edges);
  r.mask = lamina_hinge_mask(deformed, 1, 0.02, faces, rest, edges);
  r.hinges = sum(r.mask);
  % The sparse Hessians, exact and projected, as (row, column, value) lists.
  [~, ~, H] = lamina_work_hessian(deformed, 1, 0.02, faces, rest, edges);
  [i, j, r.hessian] = find(H);
  r.hessian_entries = [i, j];
  [~, ~, H] = lamina_work_hessian(deformed, 1, 0.02, faces, rest, edges, 'Project', 'clamp');
  [i, j, r.hessian_clamped] = find(H);
  r.hessian_clamped_entries = [i, j];
end
