#!/usr/bin/env bash
# Usage: build_with_stand_in.sh SOURCE_DIR WORK_DIR HOST_HEADERS_DIR HOST_LIBRARY IMPORTS_FILE
#
# IMPORTS_FILE has a line per plug-in: its name, then the host functions it
# must import.
#
# MATLAB cannot be installed here, so this exercises the CMake path that
# takes MATLAB's tools (find_package(Matlab) and matlab_add_mex) against a
# stand-in installation: the project's own mex.h/matrix.h as extern/include,
# its host library as libmx/libmex, a version source in the place of
# MATLAB's extern/version/cpp_mexapi_version.cpp and a linker map in the
# place of MATLAB's. It checks that the path configures and links (a second
# mexfilerequiredapiversion in the gateways would fail the link), and that
# the modules import and export what a MEX file must. What MATLAB's real
# headers and libraries would add is not tested.
set -euo pipefail
src=$1 work=$2 headers=$3 hostlib=$4 imports=$5
root=$work/matlab-root
rm -rf "$work" && mkdir -p "$root"/{bin/glnxa64,extern/include,extern/version,extern/lib/glnxa64}
cp "$headers"/*.h "$root/extern/include/"
cp "$hostlib" "$root/bin/glnxa64/libmx.so"
cp "$hostlib" "$root/bin/glnxa64/libmex.so"
printf '#!/bin/sh\necho mexa64\n' > "$root/bin/mexext"
printf '#!/bin/sh\nexit 1\n' > "$root/bin/matlab"
chmod +x "$root/bin/mexext" "$root/bin/matlab"
cat > "$root/extern/version/cpp_mexapi_version.cpp" <<'CPP'
#include "mex.h"
extern "C" void mexfilerequiredapiversion(unsigned int* built_by_rel, unsigned int* target_api_ver) {
  *built_by_rel = 0x2022b;
  *target_api_ver = 0x07300000;
}
CPP
cp "$src/mex/exports.map" "$root/extern/lib/glnxa64/c_exportsmexfileversion.map"

# The version is handed over as FindMatlab's cache of an earlier probe, since
# the stand-in has no matlab program to ask.
cmake -S "$src" -B "$work/build" -DLAMINA_BUILD_TESTS=OFF -DLAMINA_OCTAVE=OFF -DLAMINA_WERROR=ON \
  -DMatlab_ROOT_DIR="$root" -DMatlab_MAIN_PROGRAM="$root/bin/matlab" \
  -DMatlab_PROG_VERSION_STRING_AUTO_DETECT="$root/bin/matlab" \
  -DMatlab_VERSION_STRING_INTERNAL=9.13 >"$work/configure.log"
grep -q "lamina: MATLAB 9.13 found" "$work/configure.log" || { cat "$work/configure.log"; exit 1; }
# Only the MATLAB plug-ins (and what they link): the rest of the project is
# built and tested elsewhere.
plugins=$(awk '$1 == "plugin" {print $2}' "$src/manifest.txt")
# shellcheck disable=SC2046
cmake --build "$work/build" -j2 $(for name in $plugins; do printf ' --target matlab_%s' "$name"; done) \
  >"$work/build.log" || { cat "$work/build.log"; exit 1; }
for name in $plugins; do
  test -f "$work/build/matlab/$name.m"
  # shellcheck disable=SC2046
  "$src/tests/check_imports.sh" "$work/build/matlab/$name.mexa64" \
    $(awk -v p="$name" '$1 == p {$1 = ""; print}' "$imports")
done
