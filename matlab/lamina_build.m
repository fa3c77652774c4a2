function lamina_build(outdir, extra_flags, selection, twin_dir)
%LAMINA_BUILD  Compile the lamina plug-ins for this MATLAB or Octave.
%   LAMINA_BUILD compiles the plug-ins that manifest.txt lists
%   (lamina_work_deriv, lamina_work_total, lamina_hinge_mask,
%   lamina_work_hessian, lamina_check_edge_table and lamina_solve) into
%   build/octave (in Octave) or build/matlab (in MATLAB) of the lamina
%   folder, and copies their help files and LAMINA_EDGE_TABLE beside them. That folder is the one to add to the path;
%   LAMINA_BUILD prints the addpath command.
%
%   Example (not run): in Octave, with the lamina sources in /home/me/lamina.
%     run /home/me/lamina/matlab/lamina_build.m
%     addpath('/home/me/lamina/build/octave')
%
%   Add only that folder: the matlab folder holds help files of the same
%   names, which would hide the compiled plug-ins if it came first.
%
%   LAMINA_BUILD(OUTDIR) compiles into OUTDIR instead. LAMINA_BUILD(OUTDIR,
%   EXTRA_FLAGS) adds EXTRA_FLAGS (a char row, e.g. '-Wall -Wextra') to the
%   compiler flags. LAMINA_BUILD(OUTDIR, EXTRA_FLAGS, NAMES) compiles only
%   the plug-ins named in the cell array NAMES. LAMINA_BUILD(OUTDIR,
%   EXTRA_FLAGS, 'mex') builds, in Octave, only the plug-ins that are
%   oct-files, as MEX files: the twins the tests and benchmarks compare the
%   oct-files with. LAMINA_BUILD(OUTDIR, EXTRA_FLAGS, NAMES, TWIN_DIR) also
%   builds those twins, into TWIN_DIR, from the same compiled objects.
%
%   In MATLAB the plug-ins are MEX files, built with "mex -R2017b" (the
%   separate-complex API that the gateways are written for). In Octave they
%   are MEX files built with "mkoctfile --mex", except those that
%   manifest.txt also lists as oct-files (lamina_work_hessian): these are
%   built with "mkoctfile" against Octave's own interface, which hands a
%   large sparse result to Octave without copying it. Octave runs NAME.oct
%   rather than NAME.mex of the same folder (and either rather than NAME.m),
%   so LAMINA_BUILD deletes the .mex file of a plug-in it builds as an
%   oct-file, and the .oct file of one it builds as a MEX file: no file of an
%   earlier build is left to shadow the new one. Either way the compiler is
%   told not to contract floating-point operations into fused multiply-adds:
%   the results are fixed to the last bit, and contraction would change them.
%
%   lamina_solve links CHOLMOD from SuiteSparse (Debian: libsuitesparse-dev;
%   the headers in suitesparse/ of the compiler's include path, the library
%   on the linker's), as manifest.txt says; Octave's own CHOLMOD is the same
%   library. MATLAB ships its CHOLMOD for its own use only: its
%   documentation offers no CHOLMOD to link against (it does for BLAS and
%   LAPACK), so the MEX file links the system's.
%
%   Requires a C++17 compiler: in MATLAB, one selected with "mex -setup C++".
%
%   See also LAMINA_WORK_DERIV, LAMINA_WORK_TOTAL, LAMINA_HINGE_MASK,
%   LAMINA_WORK_HESSIAN, LAMINA_CHECK_EDGE_TABLE, LAMINA_SOLVE.

  here = fileparts(mfilename('fullpath'));
  root = fileparts(here);
  is_octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  if nargin < 1 || isempty(outdir)
    if is_octave
      outdir = fullfile(root, 'build', 'octave');
    else
      outdir = fullfile(root, 'build', 'matlab');
    end
  end
  if nargin < 2
    extra_flags = '';
  end
  if ~exist(outdir, 'dir')
    mkdir(outdir);
  end

  m = read_manifest(fullfile(root, 'manifest.txt'));
  if nargin < 3
    selection = m.plugin_names;
  end
  % What to build: a plug-in's name, whether it is a twin (a plug-in Octave
  % gets as an oct-file, built as a MEX file) and its folder.
  jobs = cell(0, 3);
  if ischar(selection) && strcmp(selection, 'mex')
    jobs = twin_jobs(m, outdir);
  else
    for k = 1:numel(m.plugin_names)
      if any(strcmp(m.plugin_names{k}, selection))
        jobs(end + 1, :) = {m.plugin_names{k}, false, outdir};
      end
    end
  end
  if nargin >= 4 && is_octave
    if ~exist(twin_dir, 'dir')
      mkdir(twin_dir);
    end
    jobs = [jobs; twin_jobs(m, twin_dir)];
  end
  in_root = @(files) cellfun(@(f) fullfile(root, f), files, 'UniformOutput', false);
  includes = strcat('-I', in_root(m.include));
  % The plug-ins run their threads on std::thread, not oneTBB: a MEX file
  % imports nothing but its host and the C library (MATLAB ships a oneTBB of
  % its own). mex and mkoctfile both take -D among their arguments.
  includes{end + 1} = '-DLAMINA_PLAIN_THREADS=1';
  flags = [strjoin(m.flags_gnu, ' ') ' ' extra_flags];

  % In Octave each source compiles once, into an object the plug-ins that
  % list it share (the shell's sources go into several): a map from source
  % to object, in a folder removed at the end.
  objects = containers.Map();
  object_dir = tempname();
  remove_objects = onCleanup(@() remove_folder(object_dir));
  built = cell(0, 2);
  for j = 1:size(jobs, 1)
    [name, twin, folder] = jobs{j, :};
    k = find(strcmp(m.plugin_names, name));
    o = find(strcmp(m.oct_names, name));
    % A plug-in Octave gets as an oct-file: its oct gateway and the
    % oct-files' glue instead of the MEX gateway and glue.
    as_oct = is_octave && ~isempty(o) && ~twin;
    if as_oct
      sources = [m.oct_sources(o), m.kernels, m.checks, m.octgateway];
      groups = m.oct_groups{o};
    else
      sources = [m.plugin_sources(k), m.kernels, m.checks, m.gateway];
      groups = m.plugin_groups{k};
    end
    libraries = {};
    cxx_library = false;
    for group = groups
      sources = [sources, m.(group{1})];
      % A links_<group> line names the libraries the group needs.
      if isfield(m, ['links_' group{1}])
        libraries = [libraries, strcat('-l', m.(['links_' group{1}]))];
      end
      cxx_library = cxx_library || any(strcmp(group{1}, {'shell', 'solver'}));
    end
    sources = in_root(sources);
    if as_oct
      fprintf('lamina_build: %s (oct-file)\n', name);
      build_octave(name, sources, includes, libraries, folder, flags, root, '.oct', objects, ...
                   object_dir);
    elseif is_octave
      fprintf('lamina_build: %s\n', name);
      build_octave(name, sources, includes, libraries, folder, flags, root, '.mex', objects, ...
                   object_dir);
    else
      fprintf('lamina_build: %s\n', name);
      build_matlab(name, sources, includes, libraries, cxx_library, folder, extra_flags, m);
    end
    built(end + 1, :) = {name, folder};
  end
  % The help files, and the edge table builder that goes with the plug-ins.
  dirs = unique(built(:, 2));
  for d = 1:numel(dirs)
    if ~strcmp(dirs{d}, here)
      names = [built(strcmp(built(:, 2), dirs{d}), 1); {'lamina_edge_table'}];
      for n = 1:numel(names)
        copyfile(fullfile(here, [names{n} '.m']), dirs{d});
      end
    end
  end
  fprintf('lamina_build: done; to use the plug-ins:\n  addpath(''%s'')\n', absolute(outdir));
end

% The jobs that build the twins (see above) into FOLDER.
function jobs = twin_jobs(m, folder)
  jobs = cell(numel(m.oct_names), 3);
  for k = 1:numel(m.oct_names)
    jobs(k, :) = {m.oct_names{k}, true, folder};
  end
end

% The absolute form of an existing folder.
function p = absolute(d)
  old = pwd();
  cd(d);
  p = pwd();
  cd(old);
end

% Builds NAME.mex (EXT '.mex', "mkoctfile --mex") or NAME.oct (EXT '.oct',
% Octave's own interface), and deletes the file of the other kind an earlier
% build may have left: Octave would run NAME.oct rather than NAME.mex.
function build_octave(name, sources, includes, libraries, outdir, flags, root, ext, objects, ...
                      object_dir)
  % mkoctfile takes its optimisation and language flags from CXXFLAGS.
  flags = ['-O3 -std=c++17 ' flags];
  old_flags = getenv('CXXFLAGS');
  setenv('CXXFLAGS', flags);
  cleanup = onCleanup(@() setenv('CXXFLAGS', old_flags));
  % Export only the entry points: the two of a MEX file, as MATLAB's own
  % linker map does, or an oct-file's installer.
  mex_file = strcmp(ext, '.mex');
  exports = {};
  if isunix() && ~ismac()
    map = fullfile(root, ifelse(mex_file, 'mex', 'oct'), 'exports.map');
    exports = {['-Wl,--version-script=' map]};
  end
  kind = ifelse(mex_file, {'--mex'}, {});
  % Sources to objects, each once per lamina_build call (a MEX file's and an
  % oct-file's objects compile alike, as the Octave package's Makefile has
  % them; only the link differs).
  if ~exist(object_dir, 'dir')
    mkdir(object_dir);
  end
  linked = cell(size(sources));
  for s = 1:numel(sources)
    if ~isKey(objects, sources{s})
      object = fullfile(object_dir, sprintf('%d.o', objects.Count + 1));
      [output, status] = mkoctfile('-c', includes{:}, sources{s}, '-o', object);
      if status ~= 0
        error('lamina:buildFailed', 'mkoctfile failed for %s:\n%s', sources{s}, output);
      end
      objects(sources{s}) = object;
    end
    linked{s} = objects(sources{s});
  end
  out = fullfile(outdir, [name ext]);
  [output, status] = mkoctfile(kind{:}, '-o', out, exports{:}, linked{:}, libraries{:});
  if status ~= 0
    error('lamina:buildFailed', 'mkoctfile failed for %s:\n%s', name, output);
  end
  other = fullfile(outdir, [name ifelse(mex_file, '.oct', '.mex')]);
  if exist(other, 'file')
    delete(other);
  end
end

% Removes folder D and what it holds, if it exists, without asking.
function remove_folder(d)
  if exist(d, 'dir')
    if exist('OCTAVE_VERSION', 'builtin')
      confirm_recursive_rmdir(false, 'local');
    end
    rmdir(d, 's');
  end
end

function v = ifelse(c, a, b)
  if c, v = a; else, v = b; end
end

function build_matlab(name, sources, includes, libraries, cxx_library, outdir, extra_flags, m)
  cc = mex.getCompilerConfigurations('C++', 'Selected');
  if isempty(cc)
    error('lamina:buildFailed', 'no C++ compiler selected: run "mex -setup C++" first');
  end
  if strcmp(cc.Manufacturer, 'Microsoft')
    % MSVC: /fp:precise does not contract; /fp:fast must be avoided.
    flags = {['COMPFLAGS=$COMPFLAGS /std:c++17 ' strjoin(m.flags_msvc, ' ') ' ' extra_flags]};
  else
    % GCC, MinGW and clang (Xcode): clang contracts by default, GCC under
    % -march=native; manifest.txt explains each flag.
    flags = {['CXXFLAGS=$CXXFLAGS -std=c++17 ' strjoin(m.flags_gnu, ' ') ' ' extra_flags], ...
             'CXXOPTIMFLAGS=-O3 -DNDEBUG'};
    % A plug-in built from the C++ library's parts carries the C++ runtime
    % in itself: MATLAB runs MEX files with the runtime it ships, older than
    % a current GCC's (GCC on Linux; Xcode's clang links libc++, which macOS
    % provides).
    if cxx_library && isunix() && ~ismac()
      flags{end + 1} = 'LDFLAGS=$LDFLAGS -static-libstdc++ -static-libgcc';
    end
  end
  mex('-R2017b', flags{:}, includes{:}, '-outdir', outdir, '-output', name, sources{:}, ...
      libraries{:});
end

function m = read_manifest(file)
  % The lines of manifest.txt, the one list of what lamina builds: a key
  % word, then the values ('#' starts a comment).
  m = struct('plugin_names', {{}}, 'plugin_sources', {{}}, 'plugin_groups', {{}}, ...
             'oct_names', {{}}, 'oct_sources', {{}}, 'oct_groups', {{}});
  lines = strsplit(fileread(file), {'\r\n', '\n'});
  for i = 1:numel(lines)
    line = strtrim(regexprep(lines{i}, '#.*', ''));
    if isempty(line)
      continue;
    end
    words = strsplit(line);
    if any(strcmp(words{1}, {'plugin', 'oct'}))
      m.([words{1} '_names']){end + 1} = words{2};
      m.([words{1} '_sources']){end + 1} = words{3};
      m.([words{1} '_groups']){end + 1} = words(4:end);
    else
      m.(words{1}) = words(2:end);
    end
  end
end
