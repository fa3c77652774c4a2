#!/usr/bin/env bash
# lamina as a C++ user gets it, two ways (a CTest test each):
#
#   cmake_package.sh installed    SOURCE BUILD WORK VERSION CXX EXAMPLES_BIN
#     installs the build tree BUILD into WORK/prefix (cmake --install),
#     checks what was installed, builds tests/package/consumer against it
#     with find_package(lamina 0.2) and runs the C++ examples and a version
#     check, and builds one example with pkg-config (lamina.pc) alone; then
#     checks that requests for 0.1 and 0.3 are refused and that the prefix
#     still works after it is moved.
#   cmake_package.sh fetchcontent SOURCE BUILD WORK VERSION CXX EXAMPLES_BIN
#     builds the consumer with FetchContent from the source tree SOURCE, with
#     -ffast-math in the consumer's CMAKE_CXX_FLAGS: the kernels are compiled
#     inside the consumer's build and must keep their floating-point contract.
#
# The consumer's examples must print exactly what the examples of the
# project's own build (in EXAMPLES_BIN) print: the energy with 17 digits and
# whether the energy-only kernel gave the same bits; each projected-Newton
# iterate's energy. Under -ffast-math the Newton example's own arithmetic
# (its linear solve) is the consumer's, so there it need only converge.
set -euo pipefail
mode=$1 src=$2 build=$3 work=$4 version=$5 cxx=$6 examples_bin=$7
consumer=$src/tests/package/consumer
jobs=$(nproc 2>/dev/null || echo 2)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# configure_consumer DIR CMAKE_ARGS...: configures the consumer into DIR.
configure_consumer() {
  local dir=$1
  shift
  rm -rf "$dir"
  cmake -S "$consumer" -B "$dir" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release \
    -DCONSUMER_EXAMPLES="$src/examples" "$@"
}

# same_output EXAMPLE DIR: runs the consumer's EXAMPLE in DIR and the
# project's, which must both succeed and print the same.
same_output() {
  local example=$1 dir=$2 expected actual
  expected=$("$examples_bin/$example") || fail "the project's own $example failed"
  actual=$("$dir/$example") || { echo "$actual"; fail "the consumer's $example failed"; }
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") || true
    fail "the consumer's $example prints other results than the project's"
  fi
  echo "$example: $(echo "$actual" | tail -1)"
}

# build_and_run DIR: builds the configured consumer, runs its programs.
build_and_run() {
  local dir=$1
  cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1 ||
    { cat "$dir.build.log"; fail "the consumer did not build"; }
  "$dir/version_check" "$version" || fail "the version check failed (expected $version)"
  same_output shell_energy_example "$dir"
  if [ "$mode" = fetchcontent ]; then
    "$dir/newton_example" >"$dir.newton.log" || { cat "$dir.newton.log"; fail "newton_example failed"; }
  else
    same_output newton_example "$dir"
  fi
  # The solver, where the project has it (CHOLMOD): the same iterates, or
  # under -ffast-math (the consumer's own code only) convergence.
  if [ -x "$examples_bin/solve_example" ]; then
    [ -x "$dir/solve_example" ] || fail "the consumer has no lamina::solve"
    if [ "$mode" = fetchcontent ]; then
      "$dir/solve_example" >"$dir.solve.log" || { cat "$dir.solve.log"; fail "solve_example failed"; }
    else
      same_output solve_example "$dir"
    fi
  fi
}

# pkgconfig_consumer PREFIX: builds the C++ example with the compiler alone,
# its flags from pkg-config (lamina.pc of PREFIX, and Eigen's eigen3.pc),
# and runs it: what a Makefile or Meson user does.
pkgconfig_consumer() {
  local prefix=$1 pcdir dir=$work/pkgconfig
  pcdir=$(dirname "$(compgen -G "$prefix/lib*/pkgconfig/lamina.pc" | head -1)")
  [ -f "$pcdir/lamina.pc" ] || fail "lamina.pc not installed"
  local flags
  flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs lamina eigen3) ||
    fail "pkg-config does not find lamina $version"
  [ "$(PKG_CONFIG_PATH="$pcdir" pkg-config --modversion lamina)" = "$version" ] ||
    fail "lamina.pc does not say version $version"
  mkdir -p "$dir"
  # shellcheck disable=SC2086  # the flags are words
  "$cxx" -std=c++17 -O2 -o "$dir/shell_energy_example" "$src/examples/shell_energy_example.cpp" \
    $flags >"$dir.log" 2>&1 || { cat "$dir.log"; fail "the pkg-config consumer did not build"; }
  same_output shell_energy_example "$dir"
}

installed() {
  local prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install failed"; }

  # What a C++ user gets: every public header, the generated version.h,
  # the four libraries and the package files; nothing private.
  local h lib
  for h in "$src"/include/lamina/*.h; do
    [ -f "$prefix/include/lamina/$(basename "$h")" ] || fail "header $(basename "$h") not installed"
  done
  grep -q "#define LAMINA_VERSION_STRING \"$version\"" "$prefix/include/lamina/version.h" ||
    fail "the installed version.h does not say $version"
  for lib in kernels checks mesh shell; do
    compgen -G "$prefix/lib*/liblamina_$lib.a" >/dev/null || fail "liblamina_$lib.a not installed"
  done
  if [ -x "$examples_bin/solve_example" ]; then
    compgen -G "$prefix/lib*/liblamina_solver.a" >/dev/null || fail "liblamina_solver.a not installed"
    compgen -G "$prefix/lib*/cmake/lamina/laminaSolveTargets.cmake" >/dev/null ||
      fail "the solve component's targets were not installed"
  fi
  for f in laminaConfig.cmake laminaConfigVersion.cmake laminaTargets.cmake; do
    compgen -G "$prefix/lib*/cmake/lamina/$f" >/dev/null || fail "$f not installed"
  done
  [ -f "$prefix/share/doc/lamina/LICENSE" ] || fail "LICENSE not installed"
  if find "$prefix" -name isa.h -o -name 'version.h.in' -o -name '*.mex*' | grep -q .; then
    fail "private headers, templates or plug-ins were installed"
  fi

  pkgconfig_consumer "$prefix"

  configure_consumer "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer.log" 2>&1 ||
    { cat "$work/consumer.log"; fail "find_package(lamina 0.2) failed"; }
  grep "consumer: lamina $version from $prefix/" "$work/consumer.log" || fail "found another lamina"
  build_and_run "$work/consumer"

  # Before 1.0 a minor release may change the API: 0.1 and 0.3 are refused.
  local request
  for request in 0.1 0.3; do
    if configure_consumer "$work/request" -DCMAKE_PREFIX_PATH="$prefix" -DCONSUMER_REQUEST=$request \
         >"$work/request.log" 2>&1; then
      fail "find_package(lamina $request) accepted version $version"
    fi
    grep -q "laminaConfig.cmake, version: $version" "$work/request.log" ||
      { cat "$work/request.log"; fail "find_package(lamina $request) failed for another reason"; }
  done
  configure_consumer "$work/request" -DCMAKE_PREFIX_PATH="$prefix" -DCONSUMER_REQUEST="$version" \
    >"$work/request.log" 2>&1 || { cat "$work/request.log"; fail "find_package(lamina $version) failed"; }

  # The installed files name no absolute path: a moved prefix still works.
  mv "$prefix" "$work/moved"
  configure_consumer "$work/consumer_moved" -DCMAKE_PREFIX_PATH="$work/moved" >"$work/moved.log" 2>&1 ||
    { cat "$work/moved.log"; fail "find_package failed in the moved prefix"; }
  build_and_run "$work/consumer_moved"
  pkgconfig_consumer "$work/moved"
}

fetchcontent() {
  configure_consumer "$work/consumer" -DCONSUMER_MODE=FetchContent -DCONSUMER_LAMINA_SOURCE="$src" \
    "-DCMAKE_CXX_FLAGS=-ffast-math" >"$work/consumer.log" 2>&1 ||
    { cat "$work/consumer.log"; fail "FetchContent failed"; }
  # lamina inside another project builds only its libraries.
  if grep -q "plug-ins go to" "$work/consumer.log"; then
    fail "lamina built its plug-ins inside another project"
  fi
  build_and_run "$work/consumer"
}

rm -rf "$work"
mkdir -p "$work"
case $mode in
  installed) installed ;;
  fetchcontent) fetchcontent ;;
  *) fail "unknown mode $mode" ;;
esac
echo "cmake package ($mode): ok"
