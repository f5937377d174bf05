#!/usr/bin/env bash
# Measures the bench over several units at once: the demo's watch --all with 1 unit and with 4
# (each a simulated unit of its own, real pauses, the carried image), and prints the wall times
# and their ratio. The goal is 4 units in at most 1.1 times the time of one. A benchmark, never
# a test: run it on an idle machine.
# Usage: tools/bench-watch-all.sh [BUILD_DIR]   (default build/linux, configured and built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
cmake --build "$build" --target quillar-updater-cli-demo >/dev/null
demo="$build/cli/quillar-updater-cli-demo"

run() {
    local units=$1 start end
    start=$(date +%s.%N)
    QUILLAR_DEMO_UNITS=$units "$demo" watch --all --yes --count "$units" >"$build/bench-watch-all-$units.log" 2>&1 ||
        { tail -n 20 "$build/bench-watch-all-$units.log"; echo "bench: the run with $units units failed" >&2; exit 1; }
    end=$(date +%s.%N)
    grep -c ' updated$' "$build/bench-watch-all-$units.log" | grep -qx "$units" ||
        { echo "bench: not every one of $units units was updated" >&2; exit 1; }
    python3 -c "print($end - $start)"
}

one=$(run 1)
four=$(run 4)
printf 'watch --all, 1 unit:  %.1f s\n' "$one"
printf 'watch --all, 4 units: %.1f s\n' "$four"
printf 'ratio 4 units / 1 unit: %.3f (goal at most 1.100)\n' "$(python3 -c "print($four / $one)")"
