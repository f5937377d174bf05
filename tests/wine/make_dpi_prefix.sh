#!/usr/bin/env bash
# Called by ctest (tests/wine/CMakeLists.txt): copies a Wine prefix and sets the copy's display
# to the given DPI, for the end-to-end scenarios at high DPI.
# Usage: make_dpi_prefix.sh WINE WINESERVER SOURCE_PREFIX TARGET_PREFIX DPI
set -euo pipefail
wine=$1 wineserver=$2 source=$3 target=$4 dpi=$5
# The registry reaches the prefix's files only when its server has ended.
WINEPREFIX=$source timeout 60 "$wineserver" -w || WINEPREFIX=$source "$wineserver" -k
rm -rf "$target"
cp -a "$source" "$target"
export WINEPREFIX=$target
# The user's setting, and the machine's default that older Wine versions read.
timeout 120 "$wine" reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f
timeout 120 "$wine" reg add "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts" \
  /v LogPixels /t REG_DWORD /d "$dpi" /f
timeout 60 "$wineserver" -w || "$wineserver" -k
