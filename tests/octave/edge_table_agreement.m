% Compares lamina_edge_table with the C++ builder's tables written by
% edge_table_dump: they must be identical, row for row.
%   octave-cli --eval "dir = '...'; run('edge_table_agreement.m')"
files = dir(fullfile(dump_dir, '*.faces.txt'));
assert(numel(files) > 0, 'no meshes in %s', dump_dir);
for k = 1:numel(files)
  name = strrep(files(k).name, '.faces.txt', '');
  F = load(fullfile(dump_dir, files(k).name));
  expected = load(fullfile(dump_dir, [name '.edges.txt']));
  E = lamina_edge_table(F);
  assert(isequal(E, expected), 'edge tables of %s differ', name);
  printf('%s: %d faces, %d edge rows, identical\n', name, size(F, 1), size(E, 1));
end
