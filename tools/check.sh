#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: Linux, Linux under the sanitizers,
# Windows under Wine, the page in headless Chromium, the fuzz target, the Debian package and the
# Windows release folder, and the Linux link against a real kernel HID device under qemu.
# Called by CI (.ci/run), and by a developer by hand before a commit.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${QUILLAR_SKIP_INSTALL:-0}" != "1" ]; then
  bash tools/install-deps.sh
fi

# A missing tool is a failure, never a reason to skip.
for tool in cmake ninja g++ x86_64-w64-mingw32-g++-posix wine xvfb-run qemu-system-x86_64 \
            clang-format python3 pkg-config clang++ em++ chromium node npm; do
  command -v "$tool" >/dev/null || { echo "check.sh: missing tool: $tool" >&2; exit 1; }
done

started=$(date +%s)
step() { echo; echo "==== $* ($(( $(date +%s) - started )) s)"; }

step "linux"
cmake --workflow --preset linux
step "asan"
cmake --workflow --preset asan
step "windows (tests under Wine)"
cmake --workflow --preset windows
step "the page in the browser (emscripten, headless Chromium)"
# The browser tests' node modules, exactly as package-lock.json pins them.
npm ci --no-audit --no-fund
cmake --workflow --preset web
step "fuzz target (clang, libFuzzer, 60 s)"
bash tests/fuzz/run.sh 60
step "Debian package and Windows release folder"
bash tools/check-packages.sh
step "kernel HID device under qemu"
bash tests/kernel/run-guest.sh build/linux
step "all passed"
