function lamina_build(outdir, extra_flags, names)
%LAMINA_BUILD  Compile the lamina MEX plug-ins for this MATLAB or Octave.
%   LAMINA_BUILD compiles the plug-ins manifest.txt lists (lamina_work_deriv,
%   lamina_work_total, lamina_hinge_mask, lamina_work_hessian, lamina_solve)
%   into build/octave (in Octave) or build/matlab (in MATLAB) of the lamina
%   folder, and copies their help files and LAMINA_EDGE_TABLE beside them. That folder is the one to add to the path;
%   LAMINA_BUILD prints the addpath command. For example, in Octave:
%
%     run /home/me/lamina/matlab/lamina_build.m
%     addpath('/home/me/lamina/build/octave')
%
%   Add only that folder: the matlab folder holds help files of the same
%   names, which would hide the compiled plug-ins if it came first.
%
%   LAMINA_BUILD(OUTDIR) compiles into OUTDIR instead. LAMINA_BUILD(OUTDIR,
%   EXTRA_FLAGS) adds EXTRA_FLAGS (a char row, e.g. '-Wall -Wextra') to the
%   compiler flags. LAMINA_BUILD(OUTDIR, EXTRA_FLAGS, NAMES) compiles only
%   the plug-ins named in the cell array NAMES.
%
%   In Octave the plug-ins are built with "mkoctfile --mex"; in MATLAB with
%   "mex -R2017b" (the separate-complex API that the gateways are written
%   for). Either way the compiler is told not to contract floating-point
%   operations into fused multiply-adds: the results are fixed to the last
%   bit, and contraction would change them.
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
%   See also LAMINA_WORK_DERIV, LAMINA_WORK_TOTAL, LAMINA_HINGE_MASK.

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
  in_root = @(files) cellfun(@(f) fullfile(root, f), files, 'UniformOutput', false);
  common = in_root([m.kernels, m.checks, m.gateway]);
  includes = strcat('-I', in_root(m.include));
  plugins = m.plugin_names;
  if nargin < 3
    names = plugins;
  end

  for k = 1:numel(plugins)
    name = plugins{k};
    if ~any(strcmp(name, names))
      continue;
    end
    sources = [{fullfile(root, m.plugin_sources{k})}, common];
    libraries = {};
    cxx_library = false;
    for group = m.plugin_groups{k}
      sources = [sources, in_root(m.(group{1}))];
      % A links_<group> line names the libraries the group needs.
      if isfield(m, ['links_' group{1}])
        libraries = [libraries, strcat('-l', m.(['links_' group{1}]))];
      end
      cxx_library = cxx_library || any(strcmp(group{1}, {'shell', 'solver'}));
    end
    fprintf('lamina_build: %s\n', name);
    if is_octave
      build_octave(name, sources, includes, libraries, outdir, ...
                   [strjoin(m.flags_gnu, ' ') ' ' extra_flags], root);
    else
      build_matlab(name, sources, includes, libraries, cxx_library, outdir, extra_flags, m);
    end
  end
  % The help files, and the edge table builder that goes with the plug-ins.
  if ~strcmp(outdir, here)
    for name = [plugins(ismember(plugins, names)), {'lamina_edge_table'}]
      copyfile(fullfile(here, [name{1} '.m']), outdir);
    end
  end
  fprintf('lamina_build: done; to use the plug-ins:\n  addpath(''%s'')\n', absolute(outdir));
end

% The absolute form of an existing folder.
function p = absolute(d)
  old = pwd();
  cd(d);
  p = pwd();
  cd(old);
end

function build_octave(name, sources, includes, libraries, outdir, flags, root)
  % mkoctfile takes its optimisation and language flags from CXXFLAGS.
  flags = ['-O3 -std=c++17 ' flags];
  old_flags = getenv('CXXFLAGS');
  setenv('CXXFLAGS', flags);
  cleanup = onCleanup(@() setenv('CXXFLAGS', old_flags));
  % Export only the two MEX entry points, as MATLAB's own linker map does.
  exports = {};
  if isunix() && ~ismac()
    exports = {['-Wl,--version-script=' fullfile(root, 'mex', 'exports.map')]};
  end
  out = fullfile(outdir, [name '.mex']);
  [output, status] = mkoctfile('--mex', '-o', out, includes{:}, exports{:}, sources{:}, ...
                               libraries{:});
  if status ~= 0
    error('lamina:buildFailed', 'mkoctfile failed for %s:\n%s', name, output);
  end
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
  m = struct('plugin_names', {{}}, 'plugin_sources', {{}}, 'plugin_groups', {{}});
  lines = strsplit(fileread(file), {'\r\n', '\n'});
  for i = 1:numel(lines)
    line = strtrim(regexprep(lines{i}, '#.*', ''));
    if isempty(line)
      continue;
    end
    words = strsplit(line);
    if strcmp(words{1}, 'plugin')
      m.plugin_names{end + 1} = words{2};
      m.plugin_sources{end + 1} = words{3};
      m.plugin_groups{end + 1} = words(4:end);
    else
      m.(words{1}) = words(2:end);
    end
  end
end
