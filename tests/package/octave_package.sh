#!/usr/bin/env bash
# The Octave package, as a user builds and installs it:
#
#   octave_package.sh SOURCE BUILD WORK VERSION OCTAVE_CLI CMAKE_PLUGIN_DIR
#
# 1. cmake --build BUILD --target octave_package, the documented command;
# 2. the archive: one top folder lamina-VERSION/ with DESCRIPTION (that
#    version, Categories), COPYING (the LICENSE), INDEX, post_install.m, a
#    help file in inst/ and a gateway in src/ for every plug-in in
#    manifest.txt (the oct gateway for those it lists as oct-files), and a
#    Makefile whose plug-ins, oct-files and flags are the manifest's;
# 3. pkg install -verbose into WORK: pkg's prefix, local and global lists
#    and HOME all point there, so the user's own packages are untouched;
#    every compiler call carries the manifest's floating-point flags;
# 4. octave_package_check.m: pkg load, which (a MEX file, or an oct-file
#    where the manifest says so) and help, the worked example's energy bit
#    for bit, and the same bits as the plug-ins CMake built into
#    CMAKE_PLUGIN_DIR on a bent sheet;
# 5. pkg test lamina: each plug-in's tests and the edge table builder's
#    pass, and no test fails;
# 6. pkg uninstall lamina leaves nothing behind.
set -euo pipefail
src=$1 build=$2 work=$3 version=$4 octave=$5 cmake_plugin_dir=$6
name=lamina-$version
tarball=$build/$name.tar.gz

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work/home"
rm -f "$tarball"
cmake --build "$build" --target octave_package >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "the octave_package target failed"; }
[ -f "$tarball" ] || fail "no $tarball"

# What the manifest says is built, and how.
mapfile -t plugins < <(awk '$1 == "plugin" {print $2}' "$src/manifest.txt")
mapfile -t octfiles < <(awk '$1 == "oct" {print $2}' "$src/manifest.txt")
# Each plug-in's own sources: its gateway, and the sources of the groups its
# line names after it (e.g. hessian); for an oct-file those of its oct line.
mapfile -t own_sources < <(awk '{sub(/#.*/, "")} NF == 0 {next}
  $1 == "plugin" || $1 == "oct" {line[$1, $2] = $0; next}
  {for (i = 2; i <= NF; i++) group[$1] = group[$1] " " $i}
  END {for (k in line) {split(k, key, SUBSEP); if (key[1] == "plugin" && (("oct", key[2]) in line)) continue;
         n = split(line[k], w, " "); print w[3]
         for (i = 4; i <= n; i++) {m = split(group[w[i]], s, " "); for (j = 1; j <= m; j++) print s[j]}}}' \
  "$src/manifest.txt" | sort -u)
fpflags=$(awk '$1 == "flags_gnu" {$1 = ""; sub(/^ +/, ""); print}' "$src/manifest.txt")
[ ${#plugins[@]} -gt 0 ] && [ -n "$fpflags" ] || fail "cannot read manifest.txt"

# 2. The archive.
tar -tzf "$tarball" >"$work/contents"
if grep -v "^$name/" "$work/contents"; then
  fail "entries outside the one top folder $name/"
fi
required=(DESCRIPTION COPYING INDEX post_install.m src/Makefile src/mex/exports.map
          src/oct/exports.map inst/lamina_edge_table.m)
for p in "${plugins[@]}"; do required+=("inst/$p.m"); done
for s in "${own_sources[@]}"; do required+=("src/$s"); done
for f in "${required[@]}"; do
  grep -qx "$name/$f" "$work/contents" || fail "$f is not in the package"
done
mkdir "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
pkgdir=$work/unpacked/$name
grep -qx "Name: lamina" "$pkgdir/DESCRIPTION" || fail "DESCRIPTION: no Name: lamina"
grep -qx "Version: $version" "$pkgdir/DESCRIPTION" || fail "DESCRIPTION: not Version: $version"
grep -qE "^Categories: .+" "$pkgdir/DESCRIPTION" || fail "DESCRIPTION: no Categories"
cmp -s "$src/LICENSE" "$pkgdir/COPYING" || fail "COPYING is not the LICENSE"
[ "$(sed -n 's/^PLUGINS = //p' "$pkgdir/src/Makefile")" = "${plugins[*]}" ] ||
  fail "the Makefile's plug-ins are not the manifest's (${plugins[*]})"
[ "$(sed -n 's/^OCTFILES = //p' "$pkgdir/src/Makefile")" = "${octfiles[*]}" ] ||
  fail "the Makefile's oct-files are not the manifest's (${octfiles[*]})"
[ "$(sed -n 's/^PLUGIN_SOURCES = //p' "$pkgdir/src/Makefile" | tr ' ' '\n' | sort -u | xargs)" = \
  "$(echo "${own_sources[@]}")" ] || fail "the Makefile's plug-in sources are not the manifest's"
[ "$(sed -n 's/^LAMINA_FPFLAGS = //p' "$pkgdir/src/Makefile")" = "$fpflags" ] ||
  fail "the Makefile's floating-point flags are not the manifest's ($fpflags)"
for p in "${plugins[@]}" lamina_edge_table; do
  grep -qx "  $p" "$pkgdir/INDEX" || fail "INDEX does not list $p"
done

# 3. pkg install, in a prefix of its own.
setup="pkg('prefix', '$work/pkgs', '$work/pkgs'); pkg('local_list', '$work/octave_packages');
       pkg('global_list', '$work/global_packages');"
run_octave() {
  (cd "$work" && HOME="$work/home" "$octave" --no-gui --norc --quiet --eval "$setup $1")
}
run_octave "pkg('install', '-local', '-verbose', '$tarball')" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "pkg install failed"; }
# mkoctfile --verbose prints each compiler call: one per source, each with
# the manifest's flags after any other floating-point or optimisation flag.
grep -E -- ' -c .*\.cpp -o ' "$work/install.log" | grep -v '^CXXFLAGS=' >"$work/compiles" || true
expected=$(sed -n 's/^\(COMMON\|MEX\|OCT\|PLUGIN\)_SOURCES = //p' "$pkgdir/src/Makefile" | tr ' ' '\n' |
           sort -u | grep -c .)
[ "$(wc -l <"$work/compiles")" -eq "$expected" ] ||
  { cat "$work/install.log"; fail "expected $expected compiler calls in pkg install's output"; }
while read -r line; do
  case " $line " in
    *" $fpflags "*) ;;
    *) fail "compiled without the floating-point flags: $line" ;;
  esac
  after=${line##*" $fpflags "}
  if grep -qE -- '(^| )(-ffast-math|-Ofast|-ffp-contract=(fast|on))( |$)' <<<"$after"; then
    fail "a flag after the floating-point flags undoes them: $line"
  fi
done <"$work/compiles"
echo "pkg install: $expected sources compiled with $fpflags"

# 4. Loaded: which, help, bits.
plugin_list=$(printf "'%s', " "${plugins[@]}")
oct_list=$(printf "'%s', " "${octfiles[@]}")
run_octave "addpath('$src/tests/package');
            exit(~octave_package_check('$version', '$cmake_plugin_dir', {${plugin_list%, }}, {${oct_list%, }}))" ||
  fail "octave_package_check failed"

# 5. pkg test.
run_octave "pkg test lamina" >"$work/test.log" 2>&1 || { cat "$work/test.log"; fail "pkg test failed"; }
cat "$work/test.log"
for p in "${plugins[@]}" lamina_edge_table; do
  line=$(grep -E "/$p\.m [. ]*pass +[0-9]+/[0-9]+" "$work/test.log") || fail "pkg test did not test $p"
  counts=$(grep -oE '[0-9]+/[0-9]+' <<<"$line" | tail -1)
  [ "${counts%/*}" = "${counts#*/}" ] && [ "${counts#*/}" -gt 0 ] || fail "$p: $counts tests passed"
done
grep -qE '^ +PASS +[1-9][0-9]*$' "$work/test.log" || fail "pkg test passed nothing"
grep -qE '^ +FAIL +0$' "$work/test.log" || fail "pkg test reports failures"

# 6. pkg uninstall (-local, like the install: as root pkg would otherwise
# update the global list); a new session must list no package.
run_octave "pkg('uninstall', '-local', 'lamina')" >"$work/uninstall.log" 2>&1 ||
  { cat "$work/uninstall.log"; fail "pkg uninstall failed"; }
run_octave "exit(numel(pkg('list')) ~= 0)" || fail "lamina is still listed after pkg uninstall"
[ -z "$(find "$work/pkgs" -mindepth 1 2>/dev/null)" ] || fail "pkg uninstall left files in $work/pkgs"
echo "octave package: ok"
