function ok = oct_matches_mex(oct_dir, mex_dir)
%OCT_MATCHES_MEX  The oct-file lamina_work_hessian (in OCT_DIR) against its
%   MEX twin (in MEX_DIR, built by lamina_build(..., 'mex')): the same call
%   must give the same outputs to the bit (class, size, sparsity, values),
%   raise the same error (identifier and message) or issue the same warning,
%   for valid calls of every shape and option, coefficients of every numeric
%   class, and bad calls of every kind. Each difference is printed.
  addpath(oct_dir);   % for lamina_edge_table
  cases = valid_calls();
  bad = bad_calls();
  rmpath(oct_dir);
  cases = [cases; bad];
  with_oct = run_all(oct_dir, '.oct', cases);
  with_mex = run_all(mex_dir, '.mex', cases);
  differences = 0;
  for k = 1:rows(cases)
    if ~isequal(with_oct{k}, with_mex{k})
      differences = differences + 1;
      printf('DIFFERENT  %s\n  oct-file: %s\n  MEX file: %s\n', cases{k, 1}, ...
             describe(with_oct{k}), describe(with_mex{k}));
    end
  end
  errors = sum(cellfun(@(r) strcmp(r{1}, 'error'), with_mex));
  printf('%d calls (%d of them errors): %d differences\n', rows(cases), errors, differences);
  ok = differences == 0 && errors == rows(bad);
end

% Each case: label, number of outputs, arguments.
function c = valid_calls()
  [V, F, E, Q] = patch();
  [Vs, Fs, Es, Qs] = sheet();
  c = {};
  for p = {'none', 'clamp', 'abs'}
    c(end + 1, :) = {['sheet, ' p{1}], 3, {Qs, 1, 0.02, Fs, Vs, Es, 'Project', p{1}}};
  end
  c(end + 1, :) = {'sheet, no option', 3, {Qs, 1, 0.02, Fs, Vs, Es}};
  for n = 0:2
    c(end + 1, :) = {sprintf('%d outputs', n), n, {Q, 2, 3, F, V, E}};
  end
  c(end + 1, :) = {'options in any case, the last one wins', 3, {Q, 2, 3, F, V, E, 'PROJECT', 'Clamp', 'project', 'ABS'}};
  c(end + 1, :) = {'an unused vertex', 3, {[Q; 5 5 5], 2, 3, F, [V; 5 5 5], E}};
  c(end + 1, :) = {'no faces', 3, {Q, 2, 3, zeros(0, 3), V, E}};
  c(end + 1, :) = {'no edges', 3, {Q, 2, 3, F, V, []}};
  c(end + 1, :) = {'no vertices', 3, {zeros(0, 3), 2, 3, zeros(0, 3), zeros(0, 3), zeros(0, 4)}};
  c(end + 1, :) = {'4-by-1-by-3 deformed_v', 3, {reshape(Q, 4, 1, 3), 2, 3, F, V, E}};
  c(end + 1, :) = {'ranges and truncated indices', 3, {Q, 2, 3, F + 0.9, V, [E(:, 1:3) + 0.5, E(:, 4)]}};
  c(end + 1, :) = {'1-based faces that fit: a warning', 2, {[Q; 1 1 1], 2, 3, F + 1, [V; 1 1 1], E + 1}};
  coefficients = {int8(2), true, single(2.5), sparse([0 2]), sparse(1, 1), sparse(true), 2:4, ...
                  [5; 6], uint64(2)^60 + 1, NaN, -Inf};
  for k = 1:numel(coefficients)
    c(end + 1, :) = {['mu = ' disp_value(coefficients{k})], 3, {Q, coefficients{k}, 3, F, V, E}};
    c(end + 1, :) = {['eta = ' disp_value(coefficients{k})], 3, {Q, 2, coefficients{k}, F, V, E}};
  end
end

function c = bad_calls()
  [V, F, E, Q] = patch();
  good = {Q, 2, 3, F, V, E};
  c = {'no input', 3, {}; 'five inputs', 3, good(1:5); 'seven inputs', 3, [good, {'Project'}];
       'four outputs', 4, good};
  options = {{'Projection', 'clamp'}, {3, 'clamp'}, {{'Project'}, 'clamp'}, {'Project', 1}, ...
             {'Project', 'soft'}, {'Project', ''}, {'', 'none'}, {['Pr'; 'oj'], 'none'}, ...
             {repmat('Project', 1, 6), 'none'}, {'Project', repmat('clamp', 1, 8)}, ...
             {'Project', @sin}, {'Project', 'clamp', 'Project', true}};
  for k = 1:numel(options)
    c(end + 1, :) = {['options ' disp_value(options{k})], 3, [good, options{k}]};
  end
  for slot = 1:6
    x = good{slot};
    for w = {@sin, {x}, struct('v', x), x ~= 0, char(x + 48), int32(x), single(x), sparse(x), complex(x, 1), containers.Map()}
      if any(slot == [2 3]) && (isnumeric(w{1}) || islogical(w{1})) && isreal(w{1})
        continue;   % a coefficient of any real numeric class is taken: valid_calls has them
      end
      args = good;
      args{slot} = w{1};
      c(end + 1, :) = {sprintf('%s in argument %d', class(w{1}), slot), 3, args};
    end
  end
  c = [c; {'empty mu', 3, {Q, [], 3, F, V, E}; 'empty eta', 3, {Q, 2, zeros(1, 0), F, V, E};
           'deformed_v without 3 columns', 3, {Q(:, 1:2), 2, 3, F, V, E};
           'deformed_v with a row too few', 3, {Q(1:3, :), 2, 3, F, V, E};
           'faces with 4 columns', 3, {Q, 2, 3, [F, F(:, 1)], V, E};
           'edges with 3 columns', 3, {Q, 2, 3, F, V, E(:, 1:3)};
           '1-based faces', 3, {Q, 2, 3, F + 1, V, E};
           'a NaN face index', 3, {Q, 2, 3, [F(1, :); NaN 1 2], V, E};
           'a hinge index beyond the vertices', 3, {Q, 2, 3, F, V, [E; 0 1 2 9]};
           'a negative face index', 3, {Q, 2, 3, -F, V, E}}];
end

% Every case called with the lamina_work_hessian of FOLDER, which must be a
% file of the kind EXT: each result is {'returned', outputs..., warning} or
% {'error', identifier, message}, outputs as class, size, sparsity and bits.
function results = run_all(folder, ext, cases)
  addpath(folder);
  clear lamina_work_hessian;
  [~, ~, found] = fileparts(which('lamina_work_hessian'));
  assert(strcmp(found, ext), '%s holds no lamina_work_hessian%s', folder, ext);
  warning('off', 'lamina:oneBased');
  results = cell(rows(cases), 1);
  for k = 1:rows(cases)
    [~, n, args] = cases{k, :};
    lastwarn('');
    try
      if n == 0
        lamina_work_hessian(args{:});
        out = {ans};
      else
        out = cell(1, n);
        [out{:}] = lamina_work_hessian(args{:});
      end
      [text, id] = lastwarn();
      results{k} = [{'returned'}, cellfun(@bits, out, 'UniformOutput', false), {[id ': ' text]}];
    catch err
      results{k} = {'error', err.identifier, err.message};
    end
  end
  warning('on', 'lamina:oneBased');
  rmpath(folder);
end

function b = bits(x)
  b = {class(x), size(x), issparse(x)};
  if issparse(x)
    [i, j, v] = find(x);
    b = [b, {[i, j], typecast(v, 'uint64')}];
  else
    b = [b, {typecast(x(:), 'uint64')}];
  end
end

function s = describe(r)
  if strcmp(r{1}, 'error')
    s = sprintf('error %s: %s', r{2}, r{3});
  else
    s = sprintf('returned %d outputs, warning "%s"', numel(r) - 2, r{end});
  end
end

function s = disp_value(x)
  s = strtrim(disp(x));
  s = regexprep(s, '\s+', ' ');
  if numel(s) > 40
    s = [s(1:40) '...'];
  end
  s = [class(x) ' ' s];
end

function [V, F, E, Q] = patch()
  V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
  F = [0 1 2; 1 3 2];
  E = [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1];
  Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
end

% A bent, jittered 23-by-17 sheet with its vertices renumbered, large enough
% for every vector lane and remainder.
function [V, F, E, Q] = sheet()
  nx = 23;  ny = 17;
  [x, y] = ndgrid(linspace(0, 2, nx), linspace(0, 1.5, ny));
  V = [x(:), y(:), zeros(numel(x), 1)];
  id = reshape(0:numel(x) - 1, nx, ny);
  a = id(1:end - 1, 1:end - 1);  b = id(2:end, 1:end - 1);
  c = id(1:end - 1, 2:end);      d = id(2:end, 2:end);
  F = [a(:) b(:) c(:); b(:) d(:) c(:)];
  Q = [1.2 * V(:, 1), V(:, 2), 0.3 * sin(2 * V(:, 1)) .* cos(V(:, 2))] + ...
      1e-3 * sin(37 * (1:numel(x))' * [1 2 3]);
  p = mod((0:numel(x) - 1) * 101, numel(x)) + 1;   % a renumbering (101 is prime to 391)
  V(p, :) = V;
  Q(p, :) = Q;
  F = reshape(p(F + 1) - 1, [], 3);
  E = lamina_edge_table(F);
end
