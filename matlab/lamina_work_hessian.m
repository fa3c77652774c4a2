function varargout = lamina_work_hessian(varargin)
%LAMINA_WORK_HESSIAN  Elastic energy of a deformed thin shell, its gradient and Hessian.
%   [ENERGY, GRADIENT, HESSIAN] = LAMINA_WORK_HESSIAN(DEFORMED_V, MU, ETA,
%                                     SOURCE_FACES, SOURCE_VERTICES, EDGES)
%   [ENERGY, GRADIENT, HESSIAN] = LAMINA_WORK_HESSIAN(..., Name, Value)
%
%   The energy and gradient of LAMINA_WORK_DERIV (bit for bit the same
%   values), and the matrix of second derivatives of the energy, for
%   Newton-type solvers. The inputs, their checks and their errors are those
%   of LAMINA_WORK_DERIV.
%
%   Outputs:
%     ENERGY    1 by 1          the total energy, membrane plus bending
%     GRADIENT  #V by 3         dENERGY/dDEFORMED_V
%     HESSIAN   3#V by 3#V      sparse, symmetric: HESSIAN(i + k*#V, j + l*#V)
%                               (1-based i, j; 0-based k, l) is the second
%                               derivative with respect to DEFORMED_V(i, k+1)
%                               and DEFORMED_V(j, l+1): rows and columns are
%                               ordered like GRADIENT(:)
%   The Hessian (its sparsity pattern included) is computed only when it is
%   asked for: with two outputs this is a (threaded) energy and gradient.
%
%   The option 'Project' says what happens to the Hessian block of each face
%   (9 by 9) and of each hinge (12 by 12) before they are added up:
%     'none'   (default) nothing: the exact second derivative of the energy
%     'clamp'  negative eigenvalues of each block set to 0
%     'abs'    eigenvalues of each block replaced by their absolute values
%   With 'clamp' or 'abs' the HESSIAN is positive semi-definite, as projected
%   Newton methods need; ENERGY and GRADIENT never change. Results are the
%   same to the last bit on every machine and run.
%
%   Further options (names and words ignore case):
%     'Bending'  the bending model: 'cosine' (default; the model of
%                LAMINA_WORK_DERIV, whose bits ENERGY and GRADIENT then are)
%                or 'dihedral', eta w (theta - theta_rest)^2 in the signed
%                dihedral angle theta of each hinge, with the same weight w;
%                it converges under mesh refinement and is stiff out of the
%                plane when flat
%     'Threads'  a whole number N >= 0: 0 (default) uses all cores, and
%                one thread on meshes of fewer than 16384 faces and edge
%                rows; N >= 1 at most N threads. Every count gives the same
%                bits.
%
%   The Hessian is the exact second derivative of the energy as the plug-ins
%   evaluate it, in both branches of the membrane term's logarithm; hinges
%   the bending term skips (see LAMINA_HINGE_MASK) add nothing. On a face
%   whose deformed area is below about 5e-16 the gradient leaves out the
%   area term's derivative; the Hessian there is still the exact second
%   derivative of the energy. Its sparsity pattern depends only on
%   SOURCE_FACES and EDGES (the 3 by 3 block of every pair of vertices that
%   share a face or a hinge row is stored, zeros included), so every call on
%   one mesh gives the same pattern. Vertices that no face or hinge touches
%   have empty rows and columns.
%
%   Errors (identifiers), besides those of LAMINA_WORK_DERIV:
%     MATLAB:lamina_work_hessian  fewer than six inputs, or an option name
%                                 without its value
%     lamina:badOption            an option other than 'Project', 'Bending'
%                                 and 'Threads', or a bad value: 'Project'
%                                 other than 'none', 'clamp' and 'abs';
%                                 'Bending' other than 'cosine' and
%                                 'dihedral'; 'Threads' not a whole number
%                                 from 0 to 2147483647 (negative,
%                                 fractional, NaN, Inf, not a real scalar)
%     lamina:tooManyOutputs       more than three outputs requested
%   and, as LAMINA_WORK_DERIV, the warning lamina:oneBased when no index of
%   SOURCE_FACES is 0 (faces that look 1-based: pass F - 1).
%
%   In Octave this plug-in is an oct-file, lamina_work_hessian.oct, written
%   to Octave's own interface so that the sparse HESSIAN is built in place
%   rather than copied out of a MEX array; it takes the same inputs and
%   options, raises the same errors and returns the same bits as the MEX
%   file, which MATLAB uses. Where one folder holds both, Octave runs the
%   .oct file.
%
%   Example: one projected Newton step of a stretched two-triangle patch,
%   vertex 1 held in place. Rows and columns of HESSIAN are ordered like
%   GRADIENT(:), so a mask of the size of DEFORMED_V picks the free ones.
%     V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F);
%     Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
%     [e, g, H] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', 'clamp');
%     fixed = false(size(Q));
%     fixed(1, :) = true;                 % x, y and z of vertex 1
%     free = find(~fixed);                % entries 2-4, 6-8, 10-12 of Q(:)
%     step = -(H(free, free) + 1e-9 * speye(numel(free))) \ g(free);
%     Qn = Q;
%     Qn(free) = Qn(free) + step;
%     Qn(1, :)                            % [0 0 0.1]: vertex 1 has not moved
%     lamina_work_total(Qn, 2, 3, F, V, E)   % 0.026705, down from e = 0.52999
%
%   Example: the dihedral model on two threads. The patch folded about its
%   diagonal hinge bends in either model; the membrane part is the same.
%     V = [0 0 0; 1 0 0; 0 1 0; 1 1 0];
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F);
%     Q = [0 0 0; 1 0 0; 0 1 0; 1 1 0.5];
%     [ec, gc] = lamina_work_hessian(Q, 2, 3, F, V, E);
%     [ed, gd, Hd] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', 'dihedral', 'Threads', 2);
%     assert(ed > 0 && ec > 0 && ed ~= ec);
%     assert(isequal(Hd, Hd.') && isequal(size(gd), [4 3]));
%
%   See also LAMINA_WORK_DERIV, LAMINA_HINGE_MASK, LAMINA_EDGE_TABLE.

  error('lamina:notCompiled', ...
        ['%s is not compiled for this host (%s holds only its help file): run ' ...
         'lamina_build, in lamina''s matlab folder, and add the folder it builds into ' ...
         'to the path (build/octave in Octave, build/matlab in MATLAB); or build ' ...
         'the project with CMake'], mfilename(), fileparts(mfilename('fullpath')));

%!shared V, F, E, Q
%! V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%! F = [0 1 2; 1 3 2];
%! E = [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1];
%! Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];

%!test  # energy and gradient are those of lamina_work_deriv, whatever the projection
%! [e0, g0] = lamina_work_deriv(Q, 2, 3, F, V, E);
%! for p = {'none', 'clamp', 'abs', 'CLAMP'}
%!   [e, g, H] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', p{1});
%!   assert(typecast(e, 'uint64'), typecast(e0, 'uint64'));
%!   assert(typecast(g(:), 'uint64'), typecast(g0(:), 'uint64'));
%!   assert(issparse(H) && isequal(size(H), [12 12]));
%!   assert(full(H), full(H).');
%! end

%!test  # the Hessian against central differences of the gradient
%! [~, ~, H] = lamina_work_hessian(Q, 2, 3, F, V, E);
%! h = 1e-6;
%! fd = zeros(12);
%! for i = 1:12
%!   Qp = Q;  Qp(i) = Qp(i) + h;
%!   Qm = Q;  Qm(i) = Qm(i) - h;
%!   [~, gp] = lamina_work_deriv(Qp, 2, 3, F, V, E);
%!   [~, gm] = lamina_work_deriv(Qm, 2, 3, F, V, E);
%!   fd(:, i) = (gp(:) - gm(:)) / (2 * h);
%! end
%! assert(max(abs(fd(:) - H(:))) / max(abs(H(:))) < 1e-7);

%!test  # 'clamp' and 'abs' are positive semi-definite; 'abs' dominates 'clamp'
%! [~, ~, H] = lamina_work_hessian(Q, 2, 3, F, V, E);
%! [~, ~, C] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', 'clamp');
%! [~, ~, A] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', 'abs');
%! assert(min(eig(full(H))) < -1e-3);     # this deformation is not convex
%! assert(min(eig(full(C))) > -1e-12 * norm(full(C)));
%! assert(min(eig(full(A - C))) > -1e-12 * norm(full(A)));

%!test  # a vertex no face or hinge touches has empty rows and columns
%! [~, ~, H] = lamina_work_hessian([Q; 5 5 5], 2, 3, F, [V; 5 5 5], E, 'project', 'none');
%! assert(size(H), [15 15]);
%! assert(nnz(H(:, [5 10 15])) + nnz(H([5 10 15], :)), 0);

%!test  # fewer outputs: no Hessian, the same energy
%! [e, g] = lamina_work_hessian(Q, 2, 3, F, V, E);
%! assert(typecast(e, 'uint64'), typecast(lamina_work_deriv(Q, 2, 3, F, V, E), 'uint64'));

%!test  # 'Bending': cosine is the default; dihedral against central differences
%! [e0, g0] = lamina_work_deriv(Q, 2, 3, F, V, E);
%! [e, g] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', 'COSINE');
%! assert(isequal(e, e0) && isequal(g, g0));
%! [e, g, H] = lamina_work_hessian(Q, 2, 3, F, V, E, 'bending', 'dihedral');
%! assert(e ~= e0);
%! h = 1e-6;
%! fd = zeros(12);
%! for i = 1:12
%!   Qp = Q;  Qp(i) = Qp(i) + h;
%!   Qm = Q;  Qm(i) = Qm(i) - h;
%!   [ep, gp] = lamina_work_hessian(Qp, 2, 3, F, V, E, 'Bending', 'dihedral');
%!   [em, gm] = lamina_work_hessian(Qm, 2, 3, F, V, E, 'Bending', 'dihedral');
%!   assert(abs((ep - em) / (2 * h) - g(i)) < 1e-6 * max(abs(g(:))));
%!   fd(:, i) = (gp(:) - gm(:)) / (2 * h);
%! end
%! assert(max(abs(fd(:) - H(:))) / max(abs(H(:))) < 1e-7);

%!test  # 'Threads': the same bits for every count, on a mesh big enough to be cut into chunks
%! n = 100;                                  # 2 (n-1)^2 = 19602 faces: above the one-thread size
%! [x, y] = meshgrid(linspace(0, 1, n));
%! V = [x(:), y(:), zeros(n * n, 1)];
%! k = reshape(0:n * n - 1, n, n);
%! a = k(1:end-1, 1:end-1);  b = k(2:end, 1:end-1);  c = k(1:end-1, 2:end);  d = k(2:end, 2:end);
%! F = [a(:) b(:) d(:); a(:) d(:) c(:)];
%! E = lamina_edge_table(F);
%! Q = V + [0.01 * sin(3 * V(:, 2)), 0.02 * V(:, 1).^2, 0.1 * sin(2 * V(:, 1) + V(:, 2))];
%! for model = {'cosine', 'dihedral'}
%!   [e1, g1, H1] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', model{1}, 'Threads', 1);
%!   for t = [2 3 0]
%!     [e, g, H] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', model{1}, 'Threads', t);
%!     assert(isequal(e, e1) && isequal(g, g1) && isequal(H, H1));
%!     [e, g] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', model{1}, 'Threads', t);
%!     assert(isequal(e, e1) && isequal(g, g1));
%!   end
%! end

%!error <'Bending' must be 'cosine' or 'dihedral', but it is 'bent'> lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', 'bent')
%!error id=lamina:badOption lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', 1)
%!error <'Threads' must be a whole number from 0 to 2147483647, but it is -1> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', -1)
%!error <but it is 1.5> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', 1.5)
%!error <but it is NaN> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', NaN)
%!error <but it is Inf> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', Inf)
%!error <but it is 1-by-2> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', [1 2])
%!error <but it is of class char> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', '2')
%!error <but it is complex> lamina_work_hessian(Q, 2, 3, F, V, E, 'Threads', 1i)
%!error id=lamina:badOption lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', 'soft')
%!error id=lamina:badOption lamina_work_hessian(Q, 2, 3, F, V, E, 'Projection', 'clamp')
%!error id=lamina:badOption lamina_work_hessian(Q, 2, 3, F, V, E, 3, 'clamp')
%!error id=lamina:badOption lamina_work_hessian(Q, 2, 3, F, V, E, 'Project', 1)
%!error id=MATLAB:lamina_work_hessian lamina_work_hessian(Q, 2, 3, F, V, E, 'Project')
%!error id=MATLAB:lamina_work_hessian lamina_work_hessian(Q, 2, 3, F, V)
%!error id=lamina:tooManyOutputs [a, b, c, d] = lamina_work_hessian(Q, 2, 3, F, V, E)
%!error <there is no option 'Projection'> lamina_work_hessian(Q, 2, 3, F, V, E, 'Projection', 'clamp')
