#!/usr/bin/env bash
# Installs what is needed, builds the Linux demo (the program over a simulated unit) and runs it:
# the window demo when there is a display, the command-line demo's update in the terminal when
# there is none. With --web, the page's demo (the updater in the browser over the simulated unit)
# served on localhost, whose address it prints.
# Run by a developer by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${QUILLAR_SKIP_INSTALL:-0}" != "1" ]; then
  bash tools/install-deps.sh
fi
if [ "${1:-}" = "--web" ]; then
  cmake --preset web
  cmake --build build/web --target quillar-web-demo
  exec bash tools/serve-web.sh build/web/demo "${2:-8080}"
fi
cmake --preset linux
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build/linux --target quillar-updater-cli-demo
  exec build/linux/cli/quillar-updater-cli-demo update --yes
fi
cmake --build build/linux --target quillar-updater-demo
exec build/linux/gtk/quillar-updater-demo
