function varargout = lamina_work_deriv(varargin)
%LAMINA_WORK_DERIV  Elastic energy of a deformed thin shell, and its gradient.
%   [ENERGY, GRADIENT] = LAMINA_WORK_DERIV(DEFORMED_V, MU, ETA, SOURCE_FACES,
%                                          SOURCE_VERTICES, EDGES)
%
%   Compares the rest mesh (SOURCE_VERTICES, SOURCE_FACES) with its deformed
%   copy DEFORMED_V (the same vertices, in the same order, at new positions)
%   and returns the total elastic energy, a membrane (stretching) term over
%   the faces with stiffness MU plus a bending term over the interior edges
%   with stiffness ETA, and its derivative with respect to every coordinate
%   of DEFORMED_V.
%
%   Inputs, all real double matrices:
%     DEFORMED_V       #V by 3   deformed vertex positions, one vertex per row
%     MU               scalar    membrane stiffness (only the first element is used)
%     ETA              scalar    bending stiffness (only the first element is used)
%     SOURCE_FACES     #F by 3   the three corner indices of each face
%     SOURCE_VERTICES  #V by 3   rest vertex positions
%     EDGES            #E by 4   the edge table: one row [a b c d] per edge
%
%   Outputs:
%     ENERGY           1 by 1    the total energy, membrane plus bending
%     GRADIENT         #V by 3   dENERGY/dDEFORMED_V, in the layout of DEFORMED_V
%
%   Indices are 0-based doubles: row i of a vertex matrix is vertex i-1, so
%   MATLAB's usual 1-based faces are passed as F - 1. Non-integer indices are
%   truncated toward zero. The columns of a row [a b c d] of EDGES are:
%     a, b   the two end vertices of the edge;
%     c      the vertex opposite the edge in the face where it runs from a to b;
%     d      the vertex opposite the edge in the face where it runs from b to a.
%   A c or d whose truncation is negative (-1 or below, NaN, or beyond 2^31)
%   marks a missing face: the row is a boundary edge and carries no bending
%   term (-0.5 truncates to 0 and means vertex 0). Hinges with a deformed
%   wing whose normal, twice the wing's area, is shorter than 1e-10 are
%   skipped too; the threshold is absolute (a wing of area below 5e-11 in
%   the units of DEFORMED_V), so scale meshes to about unit size and check
%   sum(LAMINA_HINGE_MASK(...)). LAMINA_EDGE_TABLE builds EDGES from the faces.
%
%   Errors (identifiers):
%     MATLAB:lamina_work_deriv   not exactly six inputs
%     lamina:badType    an array is not a real, full double matrix (int32 faces,
%                       single vertices, sparse or complex data), or MU or ETA
%                       is not a real numeric scalar
%     lamina:badSize    wrong column count, DEFORMED_V without one row per row
%                       of SOURCE_VERTICES, or an empty MU or ETA (a table with
%                       no rows, such as [], is accepted)
%     lamina:tooLarge   more rows than 32-bit counts allow
%     lamina:badIndex   a face index, or an index of an edge row with both c and
%                       d present, that is not a row 0 ... #V-1 of the vertex
%                       matrices (the message names the entry and its value)
%     lamina:notCompiled  only this help file was found, not the compiled plug-in:
%                       build it with lamina_build.m, in the matlab folder of
%                       the lamina sources (or with CMake), and add the folder
%                       it names to the path
%
%   Warning lamina:oneBased: no index of SOURCE_FACES is 0, so the faces look
%   1-based (MATLAB's usual numbering, passed as it is). lamina's indices are
%   0-based: pass F - 1. 1-based faces that still fit (a vertex no face uses
%   comes last) would silently give the energy of another mesh.
%
%   Example: lift one corner of a two-triangle patch.
%     V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F)   % [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1]
%     Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
%     [energy, gradient] = lamina_work_deriv(Q, 2, 3, F, V, E)   % energy = 0.52999
%
%   See also LAMINA_WORK_TOTAL, LAMINA_HINGE_MASK, LAMINA_EDGE_TABLE.

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

%!assert(lamina_edge_table(F), E)   # the example's table is the builder's

%!test  # the worked example, bit for bit
%! [e, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
%! assert(typecast(e, 'uint64'), typecast(0.529986954049356, 'uint64'));
%! assert(size(g), [4 3]);

%!test  # one output: the same energy
%! e = lamina_work_deriv(Q, 2, 3, F, V, E);
%! assert(typecast(e, 'uint64'), typecast(0.529986954049356, 'uint64'));

%!test  # the gradient against central differences
%! [~, g] = lamina_work_deriv(Q, 2, 3, F, V, E);
%! h = 1e-6;
%! fd = zeros(size(Q));
%! for i = 1:numel(Q)
%!   Qp = Q;  Qp(i) = Qp(i) + h;
%!   Qm = Q;  Qm(i) = Qm(i) - h;
%!   fd(i) = (lamina_work_deriv(Qp, 2, 3, F, V, E) - lamina_work_deriv(Qm, 2, 3, F, V, E)) / (2 * h);
%! end
%! assert(max(abs(fd(:) - g(:))) / max(abs(g(:))) < 1e-7);

%!test  # wrong input counts: the usage error, text after Octave's name prefix
%! t = [' ' repmat(char(9), 1, 16) ' '];
%! usage = ['6 inputs required: [energy, gradient] = lamina_work_deriv(deformed_v,' t ...
%!          'mu, eta, source_faces, source_vertices, edges), where edges is an index matrix with 4 columns,' t ...
%!          'first 2 columns are the indices of the vertices that comprise the edge,' t ...
%!          '3rd is the index of the opposite vertex in the face with the same orientation,' t ...
%!          '4th the opposite vertex in the face with the opposite orientation'];
%! args = {Q, 2, 3, F, V, E, E};
%! for n = [0 5 7]
%!   try
%!     lamina_work_deriv(args{1:n});
%!     error('lamina:test', 'no error raised with %d inputs', n);
%!   catch err
%!     assert(err.identifier, 'MATLAB:lamina_work_deriv');
%!     assert(regexprep(err.message, '^lamina_work_deriv: ', ''), usage);
%!   end
%! end

%!error id=MATLAB:lamina_work_deriv lamina_work_deriv()

%!error id=lamina:badType lamina_work_deriv(Q, 2, 3, int32(F), V, E)
%!error id=lamina:badType lamina_work_deriv(single(Q), 2, 3, F, V, E)
%!error id=lamina:badType lamina_work_deriv(Q, 2, 3, F, V, sparse(E))
%!error id=lamina:badSize lamina_work_deriv(Q(:, 1:2), 2, 3, F, V, E)
%!error id=lamina:badSize lamina_work_deriv(Q, [], 3, F, V, E)
%!error <source_faces\(2,2\) is 4.*1-based> lamina_work_deriv(Q, 2, 3, F + 1, V, E)
%!assert(lamina_work_deriv(Q, 2, 3, zeros(0, 3), V, []), 0)
