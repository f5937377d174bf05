#!/usr/bin/env bash
# Runs one scenario of the Wine driver on its own virtual X display and waits until every Wine
# process of the prefix has ended, so that the next scenario starts on a clean desktop.
# Usage: run_scenario.sh WINE WINESERVER DRIVER.exe ARGS...
set -u
for tool in xvfb-run "$1" "$2"; do
  command -v "$tool" >/dev/null || { echo "run_scenario.sh: missing tool: $tool" >&2; exit 1; }
done
wine=$1
export QUILLAR_WINESERVER=$2
shift 2
# A server left from an earlier test would keep that test's (gone) display.
"$QUILLAR_WINESERVER" -w
xvfb-run -a -s "-screen 0 1280x1024x24" \
  sh -c '"$0" "$@"; rc=$?; "$QUILLAR_WINESERVER" -w; exit $rc' "$wine" "$@"
