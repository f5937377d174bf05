#!/usr/bin/env bash
# Installs what is needed, builds the Linux demo (the program over a simulated unit) and runs it:
# the window demo when there is a display, the command-line demo's update in the terminal when
# there is none.
# Run by a developer by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${QUILLAR_SKIP_INSTALL:-0}" != "1" ]; then
  bash tools/install-deps.sh
fi
cmake --preset linux
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build/linux --target quillar-updater-cli-demo
  exec build/linux/cli/quillar-updater-cli-demo update --yes
fi
cmake --build build/linux --target quillar-updater-demo
exec build/linux/gtk/quillar-updater-demo
