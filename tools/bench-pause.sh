#!/usr/bin/env bash
# Run by hand (never by CI): times the GTK pause over a whole update against the simulated unit
# with an image of the carried length, and prints the median, 99th percentile and maximum of
# the 20 ms pauses and the whole update's ratio to the 45,840 ms that its pauses add up to.
# Builds what it needs in build/linux. Takes about 46 seconds; run it on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/linux/CMakeCache.txt ]; then
  cmake --preset linux >/dev/null
fi
cmake --build build/linux --target gtk_pause_bench >/dev/null
exec build/linux/tests/gtk/gtk_pause_bench
