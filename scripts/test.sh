#!/usr/bin/env bash
# Runs every test, stage by stage: a warnings-as-errors release build (C++,
# host, Octave and example tests, a smoke pass of the benchmark, and the
# package tests: the Octave package through pkg install, the C++ package
# through cmake --install and find_package, in temporary prefixes), the
# same tests built with AddressSanitizer and UndefinedBehaviorSanitizer, again
# with ThreadSanitizer, then a bounded libFuzzer run of each gateway. Every
# stage runs even when an earlier one failed; a summary of the stages (pass
# or fail, seconds) closes the run, and the exit status is non-zero if any
# stage failed. As root on Debian it first installs the packages it needs;
# otherwise it says which.
#
#   bash scripts/test.sh      build trees go to build/{release,asan,tsan,fuzz}
#
# LAMINA_FUZZ_SECONDS sets the fuzzing time per plug-in (default 30: seven
# plug-ins, and CI has 90 minutes for every stage).
# LAMINA_STAGES="release fuzz" runs only the stages named.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
# shellcheck source=packages.sh
source "$root/scripts/packages.sh"
require_packages "${lamina_test_packages[@]}"

# suite DIR CMAKE_OPTION...: configure with the tests on, build, run CTest.
suite() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -DLAMINA_BUILD_TESTS=ON -DLAMINA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

stage_names=()
stage_results=()
stage_seconds=()
# run_stage NAME [VAR=VALUE...] COMMAND...: runs the command (a function of
# this script or a program) in a subshell with errexit on and the variables
# exported, records whether it passed and how long it took, and carries on
# either way. Adding a stage is one such line.
run_stage() {
  local name=$1 start=$SECONDS status=0
  shift
  if [ -n "${LAMINA_STAGES:-}" ] && [[ " $LAMINA_STAGES " != *" $name "* ]]; then
    return 0
  fi
  echo "== stage $name: $*"
  set +e
  (
    set -e
    while [[ $1 =~ ^[A-Za-z_][A-Za-z0-9_]*= ]]; do export "$1"; shift; done
    "$@"
  )
  status=$?
  set -e
  stage_names+=("$name")
  stage_seconds+=($((SECONDS - start)))
  if [ $status -eq 0 ]; then stage_results+=(pass); else stage_results+=("FAIL (exit $status)"); fi
  echo "== stage $name: ${stage_results[-1]} after ${stage_seconds[-1]} s"
}

run_stage release suite "$root/build/release" -DCMAKE_BUILD_TYPE=Release
run_stage asan ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  suite "$root/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAMINA_SANITIZE=address,undefined
# CHOLMOD runs parts of its factorisation on OpenMP threads, and Debian's
# libgomp is not instrumented: ThreadSanitizer cannot see its barriers and
# reports their memory as races. The solver's own threads are still checked;
# CHOLMOD's run on one. (OMP_NUM_THREADS is not enough: CHOLMOD asks for its
# threads with a num_threads clause, which only the thread limit caps.)
run_stage tsan TSAN_OPTIONS=halt_on_error=1 OMP_THREAD_LIMIT=1 \
  suite "$root/build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAMINA_SANITIZE=thread
run_stage python bash "$root/scripts/python_test.sh"
run_stage fuzz bash "$root/scripts/fuzz.sh" "${LAMINA_FUZZ_SECONDS:-30}"

echo
echo "== summary"
passed=0
failed=0
for i in "${!stage_names[@]}"; do
  printf '   %-14s %-16s %6d s\n' "${stage_names[$i]}" "${stage_results[$i]}" "${stage_seconds[$i]}"
  if [ "${stage_results[$i]}" = pass ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
