#!/usr/bin/env bash
# The main job: builds the Octave plug-ins and runs the demos: lamina_demo.m
# bends and stretches a sheet of 2400 triangles and lets it relax with one
# edge pinned; lamina_swing.m lets a sheet pinned at two corners fall and
# swing under gravity, by implicit Euler; inverse_design.m finds the rest
# shape of a clamped sheet that hangs exactly in a designed shape.
#
#   bash scripts/demo.sh        (as root on a fresh Debian 12 machine it first
#                                installs what is missing)
#
# The plug-ins go to build/octave/, the folder to add to Octave's path; the
# pictures to build/demo/lamina_demo.png, build/demo/lamina_swing.png and
# build/demo/inverse_design.png.
# LAMINA_DEMO_ITERATIONS caps the L-BFGS relaxation (default 10000).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=packages.sh
source "$root/scripts/packages.sh"
require_packages "${lamina_demo_packages[@]}"

plugins=$root/build/octave
out=$root/build/demo
mkdir -p "$out"
# Rebuild the plug-ins only when a source is newer than they are.
# Every plug-in the manifest lists must be there, each newer than every source:
# a MEX file, or an oct-file for those its oct lines name.
plugin_files=$(awk '$1 == "plugin" {name[++n] = $2} $1 == "oct" {oct[$2] = 1}
  END {for (i = 1; i <= n; i++) print name[i] (name[i] in oct ? ".oct" : ".mex")}' "$root/manifest.txt")
stale=no
for file in $plugin_files; do
  if [ ! -f "$plugins/$file" ] ||
     [ -n "$(find "$root/include" "$root/kernels" "$root/src" "$root/checks" "$root/mex" "$root/oct" \
               "$root/solver" "$root/mesh" \
               "$root/matlab" "$root/manifest.txt" -newer "$plugins/$file" -type f | head -1)" ]; then
    stale=yes
  fi
done
octave=(octave-cli --no-gui --norc --quiet --eval)
# Octave 7 prints this line on exit after any caught error; it is harmless.
quiet() { grep -v "ignoring const execution_exception" || true; }
if [ $stale = yes ]; then
  echo "== building the Octave plug-ins in $plugins"
  "${octave[@]}" "addpath('$root/matlab'); lamina_build('$plugins')" 2>&1 | quiet
  for file in $plugin_files; do
    [ -f "$plugins/$file" ] || { echo "demo.sh: the build failed ($file)" >&2; exit 1; }
  done
fi
echo "== running examples/lamina_demo.m"
rm -f "$out/lamina_demo.png"
status=0
"${octave[@]}" "addpath('$plugins'); lamina_demo_png = '$out/lamina_demo.png'; \
  lamina_demo_iterations = ${LAMINA_DEMO_ITERATIONS:-10000}; run('$root/examples/lamina_demo.m')" \
  2>&1 | quiet || status=$?
[ "$status" -eq 0 ] || { echo "demo.sh: the demo failed (exit $status)" >&2; exit "$status"; }
[ -s "$out/lamina_demo.png" ] || { echo "demo.sh: no picture was written" >&2; exit 1; }
echo "== running examples/lamina_swing.m"
rm -f "$out/lamina_swing.png"
status=0
"${octave[@]}" "addpath('$plugins'); lamina_swing_png = '$out/lamina_swing.png'; \
  run('$root/examples/lamina_swing.m')" 2>&1 | quiet || status=$?
[ "$status" -eq 0 ] || { echo "demo.sh: the swing demo failed (exit $status)" >&2; exit "$status"; }
[ -s "$out/lamina_swing.png" ] || { echo "demo.sh: no swing picture was written" >&2; exit 1; }
echo "== running examples/inverse_design.m"
rm -f "$out/inverse_design.png"
status=0
"${octave[@]}" "addpath('$plugins'); inverse_design_png = '$out/inverse_design.png'; \
  run('$root/examples/inverse_design.m')" 2>&1 | quiet || status=$?
[ "$status" -eq 0 ] || { echo "demo.sh: the inverse design failed (exit $status)" >&2; exit "$status"; }
[ -s "$out/inverse_design.png" ] || { echo "demo.sh: no inverse design picture was written" >&2; exit 1; }
