function ok = doc_tests(plugin_dir, name)
%DOC_TESTS  Runs the %!test blocks kept in NAME's help file, with the
%   plug-ins of PLUGIN_DIR on the path; true when all passed and there was
%   at least one.
%     octave-cli --eval "addpath('tests/octave'); exit(~doc_tests('build/octave', 'lamina_work_deriv'))"
  addpath(plugin_dir);
  [n, m] = test(name);
  printf('%s: %d of %d Octave tests passed\n', name, n, m);
  ok = n == m && m > 0;
end
