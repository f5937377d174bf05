#!/usr/bin/env bash
# Installs what is needed, builds the Linux demo (the program over a simulated unit) and runs it.
# Run by a developer by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${QUILLAR_SKIP_INSTALL:-0}" != "1" ]; then
  bash tools/install-deps.sh
fi
cmake --preset linux
cmake --build build/linux --target quillar-updater-demo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo.sh: no display; run it under a virtual one: xvfb-run -a bash tools/run-demo.sh" >&2
  exit 1
fi
exec build/linux/platform/linux/quillar-updater-demo
