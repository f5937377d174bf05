#!/usr/bin/env bash
# Installs every Debian package that building and testing quillar-updater needs.
# Called by tools/check.sh (CI) and tools/run-demo.sh unless QUILLAR_SKIP_INSTALL=1, and by a
# developer by hand.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config git python3 ca-certificates \
  clang-format googletest libgtest-dev clang libclang-rt-14-dev \
  g++-mingw-w64-x86-64-posix wine wine64 \
  libgtk-3-dev libudev-dev libcli11-dev nlohmann-json3-dev \
  xvfb xauth dbus-x11 fonts-dejavu-core \
  qemu-system-x86 busybox-static cpio kmod \
  debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream scdoc man-db \
  openssl osslsigncode udev \
  emscripten chromium nodejs
