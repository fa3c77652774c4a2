function edges = lamina_edge_table(faces)
%LAMINA_EDGE_TABLE  The edge table of a triangle mesh, for the lamina plug-ins.
%   EDGES = LAMINA_EDGE_TABLE(FACES)
%
%   FACES is a #F by 3 matrix of 0-based vertex indices (pass F - 1 for
%   MATLAB's usual 1-based faces), each face listing its corners in the same
%   rotational sense as its neighbours. EDGES is a #E by 4 matrix with one row
%   [a b c d] per undirected edge:
%     a, b   the end vertices of the edge;
%     c      the vertex opposite the edge in the face where it runs from a to b;
%     d      the vertex opposite it in the face where it runs from b to a,
%            or -1 where there is no such face (a boundary edge).
%
%   Rows come in the order in which the edges are first met when the faces
%   are visited row by row, each face's edges in the order (1,2), (2,3),
%   (3,1); a and b are oriented as in that first face, so c is always
%   present. Non-integer indices are truncated toward zero, as the plug-ins
%   do. The table equals the one lamina::build_edge_table builds in C++.
%
%   FACES may be double or of an integer class (int32 and so on).
%
%   Errors (identifiers):
%     lamina:badType        FACES is not a real, full numeric matrix (char,
%                           cell, struct, logical, single, complex, sparse)
%     lamina:badSize        FACES does not have 3 columns
%     lamina:badIndex       an index whose truncation is negative (-1 or
%                           below), NaN, or not below 2^31
%     lamina:degenerate     a face repeats a vertex
%     lamina:orientation    a face runs along an edge in the direction in
%                           which an earlier face already does (neighbours
%                           oriented inconsistently)
%     lamina:nonManifold    a face is the third on an edge
%   When there are several faults, the faces are taken one by one in table
%   order, as if the mesh were built face by face, and the first face that
%   cannot be added is reported, with the first of its faults in this order:
%   a bad index (columns in order), a repeated vertex, then its edges (1,2),
%   (2,3), (3,1) in turn, each checked against the earlier faces only. The
%   C++ builder (lamina::build_edge_table) follows the same rule, so both
%   name the same category, face and edge. The message names the face rows
%   (1-based) and the edge (0-based vertices).
%
%   Warning lamina:oneBased: no face uses vertex 0, so the faces look 1-based
%   (MATLAB's usual numbering). lamina expects 0-based indices: pass F - 1.
%   1-based faces silently give a wrong energy when a vertex is left over.
%
%   Example:
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F)   % [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1]
%
%   See also LAMINA_WORK_DERIV, LAMINA_HINGE_MASK.

  if ~(isnumeric(faces) && isreal(faces) && ~issparse(faces)) || isa(faces, 'single')
    if iscomplex(faces)
      error('lamina:badType', 'faces must be real, but it is complex');
    elseif issparse(faces)
      error('lamina:badType', 'faces must be a full matrix, but it is sparse; use full(faces)');
    end
    error('lamina:badType', ...
          ['faces must be a real double matrix, but it is of class %s; convert it ' ...
           'with double(faces)'], class(faces));
  end
  if isempty(faces)
    edges = zeros(0, 4);
    return;
  end
  if size(faces, 2) ~= 3 || ndims(faces) ~= 2
    error('lamina:badSize', 'faces must have 3 columns, but it is %d by %d', ...
          size(faces, 1), size(faces, 2));
  end
  faces = fix(double(faces));
  nF = size(faces, 1);

  % The faces' own faults: the first face with a bad index or a repeated
  % vertex ends the prefix of faces whose edges are examined.
  bad_index = ~(faces >= 0 & faces < 2^31);   % NaN fails both tests
  repeated = faces(:, 1) == faces(:, 2) | faces(:, 2) == faces(:, 3) | ...
             faces(:, 3) == faces(:, 1);
  stop = find(any(bad_index, 2) | repeated, 1);
  if isempty(stop)
    stop = nF + 1;
    if ~any(faces(:) == 0)
      warning('lamina:oneBased', ...
              ['faces look 1-based: no face uses vertex 0. lamina expects 0-based ' ...
               'indices: pass F - 1']);
    end
  end

  % Half-edge h = 3 (f - 1) + k runs from corner k to corner k + 1 of face f,
  % with corner k + 2 opposite: the faces' edges in table order.
  P = faces(1:stop - 1, :);
  if isempty(P)   % the first face is at fault
    P = zeros(0, 3);
  end
  from = reshape(P.', [], 1);
  to = reshape(P(:, [2 3 1]).', [], 1);
  opposite = reshape(P(:, [3 1 2]).', [], 1);
  % Groups of half-edges on one undirected edge, numbered by first meeting
  % (unique's 'stable' order, spelt out: Octave 7 lacks its third output).
  [~, first, group] = unique([min(from, to), max(from, to)], 'rows', 'first');
  [first, order] = sort(first(:));
  rank = zeros(numel(order), 1);
  rank(order) = 1:numel(order);
  group = rank(group(:));
  % Each half-edge's place on its edge: 1 for the first face met, 2, 3, ...
  [sorted, by_group] = sort(group);          % stable: face order within a group
  place = zeros(numel(group), 1);
  place(by_group) = (1:numel(group)).' - first_in(sorted) + 1;
  % At fault: a second half-edge that runs as the first does, or a third.
  same_way = from == from(first(group));
  fault = find((place == 2 & same_way) | place == 3, 1);
  if ~isempty(fault)
    g = group(fault);
    h = first(g);
    u = from(h);
    v = to(h);
    if place(fault) == 2
      error('lamina:orientation', ...
            ['faces %d and %d both run along edge (%d, %d) from %d to %d; ' ...
             'neighbouring faces must be oriented consistently'], ...
            ceil(h / 3), ceil(fault / 3), u, v, u, v);
    end
    members = find(group == g);
    error('lamina:nonManifold', ...
          ['edge (%d, %d) belongs to 3 faces (rows %d, %d, %d of faces); row %d, the third, ' ...
           'makes the mesh not manifold there'], ...
          u, v, ceil(members(1:3) / 3), ceil(fault / 3));
  end
  if stop <= nF
    k = find(bad_index(stop, :), 1);
    if ~isempty(k)
      error('lamina:badIndex', ...
            'faces(%d,%d) is %g, which is not a vertex index (0-based, below 2^31)', ...
            stop, k, faces(stop, k));
    end
    error('lamina:degenerate', 'face %d repeats a vertex: [%d %d %d]', stop, faces(stop, :));
  end

  count = accumarray(group, 1);
  last = accumarray(group, (1:numel(group)).', [], @max);
  twins = find(count == 2);
  d = -ones(numel(first), 1);
  d(twins) = opposite(last(twins));
  edges = [from(first), to(first), opposite(first), d];
end

% For a sorted column, the position of the first element equal to each one.
function s = first_in(sorted)
  starts = [true; diff(sorted) ~= 0];
  idx = find(starts);
  s = idx(cumsum(starts));
end

%!assert(lamina_edge_table([0 1 2; 1 3 2]), [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1])
%!assert(size(lamina_edge_table(zeros(0, 3))), [0 4])
%!assert(lamina_edge_table([0.9 1.5 2.2]), [0 1 2 -1; 1 2 0 -1; 2 0 1 -1])

%!test  # a closed mesh: every edge once, both wings present
%! F = [0 2 1; 0 3 2; 4 5 6; 4 6 7; 0 1 5; 0 5 4; 1 2 6; 1 6 5; 2 3 7; 2 7 6; 3 0 4; 3 4 7];
%! E = lamina_edge_table(F);
%! assert(size(E), [18 4]);
%! assert(all(E(:, 4) >= 0));
%! assert(size(unique(sort(E(:, 1:2), 2), 'rows'), 1), 18);

%!test  # a rigidly moved cube has no energy
%! V = [0 0 0; 1 0 0; 1 1 0; 0 1 0; 0 0 1; 1 0 1; 1 1 1; 0 1 1];
%! F = [0 2 1; 0 3 2; 4 5 6; 4 6 7; 0 1 5; 0 5 4; 1 2 6; 1 6 5; 2 3 7; 2 7 6; 3 0 4; 3 4 7];
%! R = [cos(0.9) 0 -sin(0.9); 0 1 0; sin(0.9) 0 cos(0.9)];
%! Q = V * R.' + [3 -2 0.5];
%! [e, g] = lamina_work_deriv(Q, 1.3, 2.1, F, V, lamina_edge_table(F));
%! assert(abs(e) < 1e-13);
%! assert(max(abs(g(:))) < 1e-12);

%!error id=lamina:nonManifold lamina_edge_table([0 1 2; 1 0 3; 0 1 4])
%!error id=lamina:orientation lamina_edge_table([0 1 2; 0 1 3])
%!error id=lamina:degenerate lamina_edge_table([0 1 2; 3 3 1])
%!error id=lamina:badIndex lamina_edge_table([0 1 2; 1 -1 2])
%!error id=lamina:badIndex lamina_edge_table([0 1 NaN])
%!error id=lamina:badSize lamina_edge_table([0 1 2 3])
%!error <edge \(0, 1\) belongs to 3 faces \(rows 1, 2, 3 of faces\); row 3, the third> lamina_edge_table([0 1 2; 1 0 3; 0 1 4; 1 0 5])
%!error <faces\(2,2\) is -1, which is not a vertex index> lamina_edge_table([0 1 2; 1 -1 2])
%!error <faces\(1,3\) is 2.14748e\+09> lamina_edge_table([0 1 2^31])
%!error <face 1 repeats a vertex: \[0 1 1\]> lamina_edge_table([0 1 1.7])

## Which fault is reported: the first face that cannot be added, in table
## order; within it a bad index, a repeated vertex, then its edges in order.
%!error <face 2 repeats a vertex> lamina_edge_table([0 1 2; 4 4 5; 1 -3 2])
%!error <faces 1 and 2 both run along edge \(1, 2\) from 1 to 2> lamina_edge_table([0 1 2; 1 2 0])
%!error <faces 1 and 2 both run along edge \(0, 1\)> lamina_edge_table([0 1 2; 0 1 3; 1 0 4])
%!error <faces 3 and 4 both run along edge \(4, 5\)> lamina_edge_table([0 1 2; 1 0 3; 3 4 5; 4 5 6; 0 1 7])
%!error id=lamina:orientation lamina_edge_table([0 1 2; 0 1 3; NaN 1 2])
%!error id=lamina:badIndex lamina_edge_table([NaN 1 2; 0 1 2; 0 1 3])

## Classes: integer faces are exact and accepted; anything else that is not
## a real full double matrix is refused.
%!assert(lamina_edge_table(int32([0 1 2; 1 3 2])), [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1])
%!assert(lamina_edge_table(uint8([0 1 2])), [0 1 2 -1; 1 2 0 -1; 2 0 1 -1])
%!error <faces must be a real double matrix, but it is of class char; convert it with double\(faces\)> lamina_edge_table('012')
%!error <but it is of class cell> lamina_edge_table({0, 1, 2})
%!error <but it is of class struct> lamina_edge_table(struct('f', [0 1 2]))
%!error <but it is of class logical> lamina_edge_table(true(1, 3))
%!error <but it is of class single> lamina_edge_table(single([0 1 2]))
%!error <but it is of class function_handle> lamina_edge_table(@sin)
%!error <faces must be real, but it is complex> lamina_edge_table(complex([0 1 2], 1))
%!error <faces must be a full matrix, but it is sparse> lamina_edge_table(sparse([0 1 2]))
%!error id=lamina:badType lamina_edge_table('')

## 1-based faces are warned about; faces that use vertex 0 are not.
%!warning <faces look 1-based: no face uses vertex 0> lamina_edge_table([1 2 3; 2 4 3]);
%!warning id=lamina:oneBased lamina_edge_table(int32([1 2 3]));
%!test
%! lastwarn('');
%! lamina_edge_table([1 2 3; 2 -0.5 3]);   # -0.5 truncates to vertex 0
%! lamina_edge_table(zeros(0, 3));
%! assert(lastwarn(), '');
