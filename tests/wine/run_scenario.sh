#!/usr/bin/env bash
# Runs one scenario of the Wine driver on its own virtual X display and waits until every Wine
# process of the prefix has ended, so that the next scenario starts on a clean desktop. Every
# wait has a time limit: a hung program is killed with its prefix's server, never waited on.
# Usage: run_scenario.sh WINE WINESERVER DRIVER.exe ARGS...
set -u
for tool in xvfb-run timeout "$1" "$2"; do
  command -v "$tool" >/dev/null || { echo "run_scenario.sh: missing tool: $tool" >&2; exit 1; }
done
wine=$1
export QUILLAR_WINESERVER=$2
shift 2
# Longest scenario (the whole update) plus its start-up; the ctest limit lies above these.
export QUILLAR_SCENARIO_LIMIT=${QUILLAR_SCENARIO_LIMIT:-180}
export QUILLAR_SERVER_LIMIT=20
# A server left from an earlier test would keep that test's (gone) display.
timeout "$QUILLAR_SERVER_LIMIT" "$QUILLAR_WINESERVER" -w || "$QUILLAR_WINESERVER" -k
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  timeout -k 5 "$QUILLAR_SCENARIO_LIMIT" "$0" "$@"; rc=$?
  [ "$rc" -eq 124 ] && echo "run_scenario.sh: the scenario ran longer than $QUILLAR_SCENARIO_LIMIT s" >&2
  timeout "$QUILLAR_SERVER_LIMIT" "$QUILLAR_WINESERVER" -w || { "$QUILLAR_WINESERVER" -k; rc=1; }
  exit $rc' "$wine" "$@"
