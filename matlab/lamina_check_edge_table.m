function varargout = lamina_check_edge_table(varargin)
%LAMINA_CHECK_EDGE_TABLE  Check that an edge table belongs to its faces.
%   LAMINA_CHECK_EDGE_TABLE(SOURCE_FACES, EDGES) returns nothing when every
%   row of EDGES belongs to the faces SOURCE_FACES, and raises
%   lamina:edgeMismatch naming the first row that does not. The energy
%   plug-ins take any edge table (an index check alone keeps them inside the
%   arrays), so a table of another mesh gives another energy, silently;
%   run this once on a table you built yourself. LAMINA_EDGE_TABLE's tables
%   always pass.
%
%   Inputs:
%     SOURCE_FACES  #F by 3   corner indices of each face (0-based)
%     EDGES         #E by 4   the edge table: one row [a b c d] per edge
%
%   A row [a b c d] belongs to the faces when c is the vertex opposite the
%   edge in a face that runs from a to b (a face [a b c], [b c a] or
%   [c a b]), d the vertex opposite it in a face that runs from b to a, and
%   no face side is the wing of two rows (a repeated row would count its
%   bending term twice). A c or d whose truncation is negative (-1 or
%   below, NaN, or beyond 2^31) marks a missing face; a row with both
%   missing must still be an edge of a face. Indices are 0-based doubles,
%   truncated toward zero.
%
%   Errors (identifiers):
%     MATLAB:lamina_check_edge_table  not exactly two inputs
%     lamina:tooManyOutputs  an output was requested (there is none)
%     lamina:badType       SOURCE_FACES or EDGES is not a real, full double matrix
%     lamina:badSize       wrong column count
%     lamina:tooLarge      more rows than 32-bit counts allow
%     lamina:badIndex      a face index below 0 or beyond 2^31 - 1, or NaN
%     lamina:edgeMismatch  a row that does not belong to the faces
%     lamina:outOfMemory   no memory for the check's lookup table
%     lamina:notCompiled   the MEX file has not been built (run lamina_build)
%
%   No warning lamina:oneBased: 1-based faces with the table built from them
%   belong together. The energy plug-ins and LAMINA_EDGE_TABLE warn.
%
%   Example: a square cut along one diagonal, and the table of the other cut.
%     F = [0 1 3; 0 3 2];
%     lamina_check_edge_table(F, lamina_edge_table(F))       % passes, silently
%     try
%       lamina_check_edge_table(F, lamina_edge_table([0 1 2; 1 3 2]))
%     catch err
%       assert(strcmp(err.identifier, 'lamina:edgeMismatch'))
%     end
%
%   See also LAMINA_EDGE_TABLE, LAMINA_WORK_DERIV.

  error('lamina:notCompiled', ...
        ['%s is not compiled for this host (%s holds only its help file): run ' ...
         'lamina_build, in lamina''s matlab folder, and add the folder it builds into ' ...
         'to the path (build/octave in Octave, build/matlab in MATLAB); or build ' ...
         'the project with CMake'], mfilename(), fileparts(mfilename('fullpath')));

%!shared F, E
%! F = [0 1 3; 0 3 2];
%! E = lamina_edge_table(F);

%!test  # the builder's table passes, in any row order, with missing wings of every kind
%! lamina_check_edge_table(F, E);
%! lamina_check_edge_table(F, E(end:-1:1, :));
%! for missing = [-1 -3e9 3e9 NaN]
%!   hinge = E(E(:, 4) >= 0, :);
%!   hinge(4) = missing;
%!   lamina_check_edge_table(F, hinge);
%! end
%! lamina_check_edge_table(F, zeros(0, 4));

%!test  # the table of the other diagonal: its first row names a face this mesh lacks
%! try
%!   lamina_check_edge_table(F, lamina_edge_table([0 1 2; 1 3 2]));
%!   error('lamina:test', 'no error raised');
%! catch err
%!   assert(err.identifier, 'lamina:edgeMismatch');
%!   assert(regexprep(err.message, '^lamina_check_edge_table: ', ''), ['edges(1,:) is (0, 1, 2, -1), which does not belong to source_faces: ' ...
%!                        'no face is (0, 1, 2) or a rotation of it; c must be the vertex ' ...
%!                        'opposite the edge in a face that runs from a to b']);
%! end

%!test  # c and d swapped (the other orientation), a repeated row, an edge of no face
%! hinge = E(E(:, 4) >= 0, :);
%! cases = {hinge(:, [1 2 4 3]), 'no face is'; [E; hinge], 'is already the wing of'; ...
%!          [1 2 -1 -1], 'no face has the edge (1, 2)'; [0 1 -0.5 -1], 'no face is (0, 1, 0)'};
%! for k = 1:rows(cases)
%!   try
%!     lamina_check_edge_table(F, cases{k, 1});
%!     error('lamina:test', 'case %d: no error raised', k);
%!   catch err
%!     assert(err.identifier, 'lamina:edgeMismatch');
%!     assert(~isempty(strfind(err.message, cases{k, 2})), err.message);
%!   end
%! end

%!error id=lamina:badIndex lamina_check_edge_table([0 1 -1], E)
%!error id=lamina:badType lamina_check_edge_table(int32(F), E)
%!error id=lamina:badSize lamina_check_edge_table(F, E(:, 1:3))
%!error id=lamina:tooManyOutputs ok = lamina_check_edge_table(F, E)
%!error id=MATLAB:lamina_check_edge_table lamina_check_edge_table(F)
