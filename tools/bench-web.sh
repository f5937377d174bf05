#!/usr/bin/env bash
# Measures the updater in the browser in headless Chromium, over the simulated unit: the whole
# update's time against the 45,840 ms of its pauses, with its tab visible and hidden; the time
# from loading the page to a unit ready; the size of the wasm and the worker's script, gzipped.
# Figures, not a test; run it on an idle machine, since other load delays the wake-ups.
# Run by a developer by hand (needs the node modules: npm ci).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset web >/dev/null
cmake --build build/web
exec node tests/web/bench.mjs "$@"
