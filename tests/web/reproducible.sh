#!/usr/bin/env bash
# Two builds of the page from one commit are byte-identical: clones the committed tree twice,
# into folders of different names, builds the page in each and compares every file of dist/;
# then checks the sums, and that the page holds nothing but its own files: no part of the HID
# double or of the simulated unit. Usage: reproducible.sh SOURCE_DIR WORK_DIR (run by ctest, web_reproducible).
set -euo pipefail
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
for name in first second-of-another-name; do
  git clone --quiet --no-hardlinks "$source_dir" "$work/$name"
  (cd "$work/$name" && git checkout --quiet "$(git -C "$source_dir" rev-parse HEAD)")
  NODE_PATH=/usr/share/nodejs cmake -S "$work/$name" -B "$work/$name/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUILLAR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$work/$name/build" --target quillar-web-page >/dev/null
done
first=$work/first/build/dist
second=$work/second-of-another-name/build/dist
(cd "$first" && sha256sum --quiet -c SHA256SUMS)
for file in $(cut -d' ' -f3 "$first/SHA256SUMS") SHA256SUMS; do
  cmp "$first/$file" "$second/$file"
done
listed=$( (cut -d' ' -f3 "$first/SHA256SUMS"; echo SHA256SUMS) | sort)
if [ "$(ls "$first" | sort)" != "$listed" ]; then
  echo "dist/ holds files that SHA256SUMS does not list:" >&2
  ls "$first" >&2
  exit 1
fi
if grep -l -e hidDouble -e QuillarSim -e simDouble "$first"/*; then
  echo "the page holds a part of the HID double or of the simulated unit" >&2
  exit 1
fi
echo "reproducible: $(wc -l < "$first/SHA256SUMS") files and SHA256SUMS, byte for byte"
