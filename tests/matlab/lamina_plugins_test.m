% The compiled plug-ins, as a MATLAB script-based test: runtests (and the
% matlab-actions/run-tests step of .github/workflows/matlab.yml) runs each
% %% section as one test, after the shared code above the first section.
% Put only the folder of the compiled plug-ins on the path (build/matlab).
%
% The file uses only what MATLAB and Octave share, so that Octave runs it
% too, as a plain script (the octave.matlab_unit_test CTest test), every
% section in turn.
V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
F = [0 1 2; 1 3 2];
E = [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1];
Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];

%% The plug-ins are compiled MEX files on the path, the builder an M-file
for name = {'lamina_work_deriv', 'lamina_work_total', 'lamina_hinge_mask', 'lamina_work_hessian'}
  assert(exist(name{1}, 'file') == 3, '%s is not a compiled MEX file on the path: %s', ...
         name{1}, which(name{1}));
end
assert(exist('lamina_edge_table', 'file') == 2, 'lamina_edge_table is not on the path');

%% The worked example, bit for bit
[e, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
assert(typecast(e, 'uint64') == typecast(0.529986954049356, 'uint64'), ...
       'energy %.17g, expected 0.529986954049356', e);
assert(isequal(size(g), [4 3]));

%% The energy-only plug-in returns the same bits
[e, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
t = lamina_work_total(Q, 2, 3, F, V, E);
assert(typecast(t, 'uint64') == typecast(e, 'uint64'), 'total %.17g, deriv %.17g', t, e);
assert(lamina_work_total(Q, 2, 0, F, V, E) + lamina_work_total(Q, 0, 3, F, V, E) > 0);

%% The gradient agrees with central differences
[~, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
h = 1e-6;
fd = zeros(size(Q));
for i = 1:numel(Q)
  Qp = Q;  Qp(i) = Qp(i) + h;
  Qm = Q;  Qm(i) = Qm(i) - h;
  fd(i) = (lamina_work_total(Qp, 2, 3, F, V, E) - lamina_work_total(Qm, 2, 3, F, V, E)) / (2 * h);
end
assert(max(abs(fd(:) - g(:))) / max(abs(g(:))) < 1e-7, 'gradient and differences disagree');

%% The Hessian plug-in: lamina_work_deriv's bits, a symmetric matrix, the gradient's derivative
[e, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
[eh, gh, H] = lamina_work_hessian(Q, 2, 3, F, V, E);
assert(typecast(eh, 'uint64') == typecast(e, 'uint64') && isequal(gh, g));
assert(issparse(H) && isequal(size(H), [12 12]) && isequal(H, H.'), 'H is not 12-by-12, sparse, symmetric');
d = reshape(sin(1:12), 4, 3);
h = 1e-6;
[~, gp] = lamina_work_deriv(Q + h * d, 2, 3, F, V, E);
[~, gm] = lamina_work_deriv(Q - h * d, 2, 3, F, V, E);
fd = (gp(:) - gm(:)) / (2 * h);
assert(norm(H * d(:) - fd) / norm(fd) < 1e-6, 'H times a direction disagrees with differences');
[~, ~, P] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', 'clamp');
assert(min(eig(full(P))) > -1e-12 * max(abs(eig(full(P)))), 'the clamped Hessian is not PSD');

%% The hinge mask marks the one interior edge
m = lamina_hinge_mask(Q, 2, 3, F, V, E);
assert(isequal(m, [0; 1; 0; 0; 0]), 'mask %s', mat2str(m));
flat = lamina_hinge_mask(V, 2, 3, F, V, [E(:, 1:3), -ones(5, 1)]);
assert(isequal(flat, zeros(5, 1)), 'boundary rows marked as hinges');

%% The edge table builder gives the table of the help example
assert(isequal(lamina_edge_table(F), E));

%% Errors carry their identifiers
calls = {@() lamina_work_deriv(Q, 2, 3, F, V), 'MATLAB:lamina_work_deriv'; ...
         @() lamina_work_deriv(Q, 2, 3, int32(F), V, E), 'lamina:badType'; ...
         @() lamina_work_total(Q(:, 1:2), 2, 3, F, V, E), 'lamina:badSize'; ...
         @() lamina_work_deriv(Q, 2, 3, F + 1, V, E), 'lamina:badIndex'; ...
         @() lamina_hinge_mask(Q, 2, 3, F, V, E(:, 1:3)), 'lamina:badSize'};
for i = 1:size(calls, 1)
  raised = '';
  try
    calls{i, 1}();
  catch err
    raised = err.identifier;
  end
  assert(strcmp(raised, calls{i, 2}), 'call %d raised "%s", expected %s', i, raised, calls{i, 2});
end
