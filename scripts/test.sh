#!/usr/bin/env bash
# Runs every test: a warnings-as-errors release build (C++, Octave and
# example tests, a smoke pass of the benchmark), the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and again with
# ThreadSanitizer; then a bounded libFuzzer run of each gateway. As root on
# Debian it first installs the packages it needs; otherwise it says which.
#
#   bash scripts/test.sh      build trees go to build/{release,asan,tsan,fuzz}
#
# LAMINA_FUZZ_SECONDS sets the fuzzing time per plug-in (default 60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
# shellcheck source=require.sh
source "$root/scripts/require.sh"
require_packages g++ cmake make binutils libgtest-dev libbenchmark-dev octave liboctave-dev \
  gnuplot-nox clang-14 libclang-rt-14-dev

run_suite() {
  local dir=$1
  shift
  echo "== $(basename "$dir"): configure, build, test"
  cmake -S "$root" -B "$dir" -DLAMINA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

run_suite "$root/build/release" -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "$root/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLAMINA_SANITIZE=address,undefined
TSAN_OPTIONS=halt_on_error=1 \
  run_suite "$root/build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAMINA_SANITIZE=thread

echo "== fuzz: ${LAMINA_FUZZ_SECONDS:-60} s per plug-in"
bash "$root/scripts/fuzz.sh" "${LAMINA_FUZZ_SECONDS:-60}"
echo "== all tests passed"
