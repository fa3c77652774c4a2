#!/usr/bin/env bash
# Runs every test: a warnings-as-errors release build, then the same tests
# built with AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   bash scripts/test.sh            build trees go to build/release, build/asan
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

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
echo "== all tests passed"
