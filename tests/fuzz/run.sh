#!/usr/bin/env bash
# Builds the fuzz target with clang and libFuzzer (build/fuzz) and runs it from the committed
# seeds for a bounded time: 60 seconds, or as many as given. A broken rule, a sanitizer error
# or a hang fails it, and the input that did it is left in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
build=build/fuzz

cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
# New inputs go to a scratch corpus; the seeds stay as committed.
rm -rf "$build/corpus"
mkdir -p "$build/corpus"
if ! "$build/app_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
     -artifact_prefix="$build/" "$build/corpus" tests/fuzz/seeds >"$build/fuzz.log" 2>&1; then
  tail -n 60 "$build/fuzz.log"
  echo "fuzz: failed; the input is in $build/ (crash-*, timeout-*, leak-*)" >&2
  exit 1
fi
grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added))' \
  "$build/fuzz.log"
