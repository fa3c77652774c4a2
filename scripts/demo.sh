#!/usr/bin/env bash
# The main job: builds the Octave plug-ins and runs the demo, which bends and
# stretches a sheet of 2400 triangles and lets it relax with one edge pinned.
#
#   bash scripts/demo.sh        (as root on a fresh Debian 12 machine it first
#                                installs what is missing)
#
# Prints the run and writes the picture to build/demo/lamina_demo.png.
# LAMINA_DEMO_ITERATIONS shortens the relaxation (default 400).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=require.sh
source "$root/scripts/require.sh"
require_packages g++ octave liboctave-dev gnuplot-nox

out=$root/build/demo
plugins=$out/octave
mkdir -p "$out"
# Rebuild the plug-ins only when a source is newer than they are.
stale=yes
if [ -f "$plugins/lamina_work_deriv.mex" ] && [ -f "$plugins/lamina_hinge_mask.mex" ] &&
   [ -z "$(find "$root/include" "$root/kernels" "$root/mex" "$root/matlab" -newer "$plugins/lamina_work_total.mex" -type f)" ]; then
  stale=no
fi
octave=(octave-cli --no-gui --norc --quiet --eval)
if [ $stale = yes ]; then
  echo "== building the Octave plug-ins in $plugins"
  "${octave[@]}" "addpath('$root/matlab'); lamina_build('$plugins')" 2>&1 |
    grep -v "ignoring const execution_exception" || true
  [ -f "$plugins/lamina_work_deriv.mex" ] || { echo "build failed" >&2; exit 1; }
fi
echo "== running examples/lamina_demo.m"
"${octave[@]}" "addpath('$plugins'); lamina_demo_png = '$out/lamina_demo.png'; \
  lamina_demo_iterations = ${LAMINA_DEMO_ITERATIONS:-400}; run('$root/examples/lamina_demo.m')" 2>&1 |
  grep -v "ignoring const execution_exception"
test -s "$out/lamina_demo.png"
