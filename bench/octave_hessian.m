function octave_hessian(timer, oct_dir, mex_dir, faces, rounds, project)
%OCTAVE_HESSIAN  lamina_work_hessian in Octave against the stateless C++ call.
%   OCTAVE_HESSIAN(TIMER, OCT_DIR, MEX_DIR) times lamina_work_hessian with
%   three outputs on a bent, stretched sheet of about 2e5 faces (vertices in
%   grid order, then shuffled): the oct-file in OCT_DIR and the MEX file in
%   MEX_DIR, both called from this Octave, and the stateless C++ call
%   (TIMER, the lamina_hessian_call_timer program of bench/) on the same
%   mesh. The three take turns, round after round, so that all meet the same
%   machine; it prints the median of each and its ratio to the C++ call's.
%   OCTAVE_HESSIAN(..., FACES, ROUNDS, PROJECT) sets the size (default 2e5),
%   the number of rounds (default 7) and the option 'Project' (default
%   'none'). For example, after a release build:
%     octave-cli --eval "addpath('bench'); octave_hessian('build/release/bench/lamina_hessian_call_timer', ...
%                        'build/release/octave', 'build/release/octave_mex')"
  if nargin < 4, faces = 2e5; end
  if nargin < 5, rounds = 7; end
  if nargin < 6, project = 'none'; end
  problem = [tempname() '.bin'];
  cleanup = onCleanup(@() delete(problem));
  for shuffled = [false, true]
    [Q, V, F, E] = sheet(faces, shuffled, oct_dir);
    write_problem(problem, Q, V, F, E);
    t = zeros(3, rounds);   % C++, oct-file, MEX file
    for r = 1:rounds
      [status, out] = system(sprintf('"%s" "%s" 1 %s', timer, problem, project));
      if status ~= 0
        error('octave_hessian: %s failed: %s', timer, out);
      end
      t(1, r) = str2double(out);
      t(2, r) = octave_call(oct_dir, '.oct', Q, V, F, E, project);
      t(3, r) = octave_call(mex_dir, '.mex', Q, V, F, E, project);
    end
    m = median(t, 2);
    printf('\nlamina_work_hessian, %d faces, %d vertices (%s), ''Project'' ''%s'': median of %d rounds\n', ...
           rows(F), rows(V), ifelse(shuffled, 'shuffled', 'grid order'), project, rounds);
    printf('  %-32s %8.3f s\n', 'C++, stateless call (baseline)', m(1));
    printf('  %-32s %8.3f s   %5.2f x the C++ call\n', 'Octave, oct-file', m(2), m(2) / m(1));
    printf('  %-32s %8.3f s   %5.2f x the C++ call\n', 'Octave, MEX file', m(3), m(3) / m(1));
  end
end

% One call from the folder given, checked to be the kind of file expected.
function seconds = octave_call(folder, ext, Q, V, F, E, project)
  addpath(folder);
  clear lamina_work_hessian;
  [~, ~, found] = fileparts(which('lamina_work_hessian'));
  if ~strcmp(found, ext)
    error('octave_hessian: %s holds no lamina_work_hessian%s', folder, ext);
  end
  start = tic();
  [~, ~, H] = lamina_work_hessian(Q, 1, 0.02, F, V, E, 'Project', project);
  seconds = toc(start);
  clear H;
  rmpath(folder);
end

% An n-by-n grid on the unit square, two triangles per cell, bent and
% stretched; the vertices optionally renumbered at random (seeded).
function [Q, V, F, E] = sheet(faces, shuffled, oct_dir)
  n = 2;
  while 2 * (n - 1)^2 < faces
    n = n + 1;
  end
  [x, y] = ndgrid(linspace(0, 1, n), linspace(0, 1, n));
  V = [x(:), y(:), zeros(n * n, 1)];
  id = reshape(0:n * n - 1, n, n);
  a = id(1:end - 1, 1:end - 1);  b = id(2:end, 1:end - 1);
  c = id(1:end - 1, 2:end);      d = id(2:end, 2:end);
  F = [a(:) b(:) c(:); b(:) d(:) c(:)];
  Q = [1.1 * V(:, 1), 0.95 * V(:, 2), 0.2 * sin(3 * V(:, 1))];
  if shuffled
    rand('seed', 7);
    p = randperm(n * n);           % vertex i becomes vertex p(i)
    V(p, :) = V;
    Q(p, :) = Q;
    F = p(F + 1) - 1;
    F = reshape(F, [], 3);
  end
  addpath(oct_dir);   % lamina_edge_table is beside the plug-ins
  E = lamina_edge_table(F);
  rmpath(oct_dir);
end

function write_problem(file, Q, V, F, E)
  fid = fopen(file, 'w');
  fwrite(fid, [rows(V), rows(F), rows(E)], 'int32');
  fwrite(fid, [1, 0.02], 'double');
  fwrite(fid, Q, 'double');
  fwrite(fid, V, 'double');
  fwrite(fid, F, 'double');
  fwrite(fid, E, 'double');
  fclose(fid);
end

function v = ifelse(c, a, b)
  if c, v = a; else, v = b; end
end
