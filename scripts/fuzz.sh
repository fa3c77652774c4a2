#!/usr/bin/env bash
# Fuzzes each plug-in's gateway with libFuzzer, under AddressSanitizer and
# UndefinedBehaviorSanitizer, for a bounded time.
#
#   bash scripts/fuzz.sh [SECONDS_PER_PLUGIN]      (default 60)
#
# Needs clang and its runtime (Debian: clang-14 libclang-rt-14-dev). The
# working corpus grows in build/fuzz/corpus/<plugin>, seeded from
# fuzz/corpus; a crashing input is written to build/fuzz/artifacts/<plugin>/
# and the script fails. Copy it into fuzz/regressions/ to replay it in every
# test run (the fuzz_replay tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
clang=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$clang" ]; then
  echo "fuzz.sh: clang++ not found (apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 1
fi
dir=$root/build/fuzz
CXX=$clang cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAMINA_FUZZ=ON \
  -DLAMINA_BUILD_TESTS=OFF -DLAMINA_OCTAVE=OFF -DLAMINA_MATLAB=OFF -DLAMINA_WERROR=ON \
  -DLAMINA_SANITIZE=address,undefined >/dev/null
plugins=$(awk '$1 == "plugin" {print $2}' "$root/manifest.txt")
# Only the fuzz targets (and the plug-ins and host they load): the libraries
# for C++ and Python users play no part here.
# shellcheck disable=SC2046
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" \
  $(for plugin in $plugins; do printf ' --target fuzz_%s' "$plugin"; done) >/dev/null

# clang's undefined-behaviour checks are compiled recoverable (see
# cmake/lamina_flags.cmake): this makes any report a crash the fuzzer keeps.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

status=0
for plugin in $plugins; do
  corpus=$dir/corpus/$plugin
  artifacts=$dir/artifacts/$plugin
  mkdir -p "$corpus" "$artifacts"
  log=$dir/$plugin.log
  if "$dir/fuzz/fuzz_$plugin" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$artifacts/" "$corpus" "$root/fuzz/corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $plugin: $runs executions in ${seconds} s, no crash ($(ls "$corpus" | wc -l) corpus inputs)"
  else
    echo "fuzz $plugin: CRASH, input in $artifacts/"
    grep -E "ERROR|SUMMARY|lamina_" "$log" | head -20
    status=1
  fi
done
exit $status
