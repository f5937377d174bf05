#!/usr/bin/env bash
# Builds and checks what users install: the Debian package (lintian, desktop entry, AppStream,
# manual pages, install and purge on this machine) and the Windows release folder (built in two
# clones, one of them signed with a test certificate; compared byte for byte, checksums). Both
# from the placeholder image, named ~placeholder.
# Called by tools/check.sh (CI), or by a developer by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "check-packages.sh: $*" >&2; exit 1; }
for tool in dpkg-buildpackage dpkg-deb dh lintian desktop-file-validate appstreamcli man scdoc \
            fakeroot apt-get sha256sum cmp git tar python3 cmake openssl osslsigncode; do
  command -v "$tool" >/dev/null || fail "missing tool: $tool"
done
# Installing and purging need root: CI is root, a developer gets asked by sudo.
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || fail "installs and purges the package: run as root or with sudo"
  SUDO=sudo
fi

# ---- The Debian package ----
work=$PWD/build/packages
rm -rf "$work"
mkdir -p "$work/src"
# A clean copy of the tree: dpkg-buildpackage writes its results beside the source folder.
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - | tar -xf - -C "$work/src"
echo "building the package (log: $work/build.log)"
# On a failure, CMake's own errors first: dh_auto_configure follows them with CMake's whole log.
(cd "$work/src" && dpkg-buildpackage -b -us -uc) >"$work/build.log" 2>&1 ||
  { sed -n '/^CMake Error/,/^Call Stack/p' "$work/build.log" | grep . || tail -n 40 "$work/build.log"
    fail "dpkg-buildpackage failed"; }
debs=("$work"/quillar-updater_*.deb)
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[[ $version == *~placeholder ]] || fail "a package of the placeholder image is versioned $version"
echo "package: $(basename "$deb")"

lintian --fail-on error,warning "$deb" || fail "lintian"

root=$work/root
dpkg-deb -x "$deb" "$root"
expected=(
  /usr/bin/quillar-updater
  /usr/bin/quillar-updater-cli
  /usr/lib/udev/rules.d/70-quillar-updater.rules
  /usr/share/applications/example.zarvelo.QuillarUpdater.desktop
  /usr/share/metainfo/example.zarvelo.QuillarUpdater.metainfo.xml
  /usr/share/man/man1/quillar-updater.1.gz
  /usr/share/man/man1/quillar-updater-cli.1.gz
  /usr/share/doc/quillar-updater/copyright
)
for size in 16 32 48 64 128; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/quillar-updater.png")
done
for file in "${expected[@]}"; do [ -f "$root$file" ] || fail "missing: $file"; done
for notice in CLI11 nlohmann; do
  grep -q "$notice" "$root/usr/share/doc/quillar-updater/copyright" || fail "copyright lacks $notice"
done
if find "$root" -name '*demo*' -o -name '*-sim*' | grep .; then fail "the package holds a demo"; fi

desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli"
# Software centres offer the package for a plugged-in unit by these entries.
for product in 0001 0002; do
  grep -q "<modalias>usb:v3A7Cp${product}d\*</modalias>" "$root"/usr/share/metainfo/*.metainfo.xml ||
    fail "the metainfo does not provide the modalias of product $product"
done
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# Install and purge on this machine: purge must leave the file system as it found it. The
# caches that other packages' triggers rebuild are not the package's files. What the package
# recommends (udev) is installed already (tools/install-deps.sh), and never pulled in here.
snapshot() {
  find /usr /etc /opt -xdev 2>/dev/null | grep -v -e '/icon-theme\.cache$' -e '/mimeinfo\.cache$' |
    sort
}
if dpkg -s quillar-updater >/dev/null 2>&1; then $SUDO apt-get purge -y quillar-updater >/dev/null; fi
snapshot >"$work/before.txt"
$SUDO apt-get install -y --no-install-recommends "$deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install failed"; }
[ -f /usr/lib/udev/rules.d/70-quillar-updater.rules ] || fail "the rule is not in udev's rules folder"
# A package of the placeholder says so, in --version and at the end of the status.
/usr/bin/quillar-updater-cli --version | tee "$work/version.txt" ||
  fail "/usr/bin/quillar-updater-cli --version failed"
grep -q "TEST BUILD$" "$work/version.txt" || fail "--version of the placeholder package lacks TEST BUILD"
status=$(/usr/bin/quillar-updater-cli status || true)
[[ $status == *"TEST BUILD: "* ]] || fail "the status of the placeholder package lacks TEST BUILD"
dpkg -L quillar-updater >"$work/installed.txt"
$SUDO apt-get purge -y quillar-updater >>"$work/install.log" 2>&1 || fail "apt-get purge failed"
snapshot >"$work/after.txt"
diff -u "$work/before.txt" "$work/after.txt" || fail "purge left the file system changed (above)"
echo "package installed, checked, purged without a trace ($(wc -l <"$work/installed.txt") paths)"

# ---- The Windows release folder, from two clones in two folders ----
# Two clones of the committed tree, at paths of different lengths, so that a build or source path
# left in a program makes the two differ. The first is signed with a throwaway certificate made
# here; without their signatures, its programs must be the second's byte for byte.
repro=$work/repro
clones=("$repro/one/quillar-updater" "$repro/the-second-clone/src")
git diff --quiet HEAD || echo "note: the release folder is built from HEAD, without uncommitted changes"
mkdir -p "$repro"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=quillar-updater test signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$repro/key.pem" -out "$repro/cert.pem" \
  >"$repro/openssl.log" 2>&1 || { cat "$repro/openssl.log"; fail "making the test certificate"; }
signing=(-DQUILLAR_SIGN_KEY="$repro/key.pem" -DQUILLAR_SIGN_CERT="$repro/cert.pem")
for clone in "${clones[@]}"; do
  log=$repro/$(basename "$(dirname "$clone")").log
  { git clone -q . "$clone" && git -C "$clone" checkout -q --detach "$(git rev-parse HEAD)" &&
    (cd "$clone" && cmake --preset dist-placeholder "${signing[@]}" &&
       cmake --build --preset dist-placeholder); } >"$log" 2>&1 ||
    { tail -n 40 "$log"; fail "building the release folder in $clone"; }
  signing=()
done
signed=${clones[0]}/dist/windows
plain=${clones[1]}/dist/windows
files=(quillar-updater.exe quillar-updater-cli.exe README.txt THIRD-PARTY-NOTICES.txt SHA256SUMS)
for dir in "$signed" "$plain"; do
  [ "$(ls "$dir")" = "$(printf '%s\n' "${files[@]}" | sort)" ] || fail "$dir holds $(ls "$dir" | xargs)"
  (cd "$dir" && sha256sum --quiet -c SHA256SUMS) || fail "sha256sum -c in $dir"
  [ "$(wc -l <"$dir/SHA256SUMS")" -eq $((${#files[@]} - 1)) ] || fail "SHA256SUMS does not list every file"
done
for exe in quillar-updater.exe quillar-updater-cli.exe; do
  osslsigncode verify -CAfile "$repro/cert.pem" -in "$signed/$exe" >"$repro/verify.log" 2>&1 ||
    { cat "$repro/verify.log"; fail "$exe: the signature does not verify"; }
  osslsigncode remove-signature -in "$signed/$exe" -out "$repro/$exe" >/dev/null ||
    fail "$exe: removing the signature"
  cmp "$repro/$exe" "$plain/$exe" || fail "two builds differ: $exe (without its signature)"
done
for file in README.txt THIRD-PARTY-NOTICES.txt; do
  cmp "$signed/$file" "$plain/$file" || fail "two builds differ: $file"
done
grep -q "TEST BUILD" "$plain/README.txt" || fail "README.txt of a placeholder build does not say so"
# The software of others compiled into the programs, each with its licence.
for notice in CLI11 nlohmann winpthreads "GCC RUNTIME LIBRARY EXCEPTION"; do
  grep -q "$notice" "$plain/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt lacks $notice"
done
for exe in "$plain"/*.exe; do
  python3 - "$exe" <<'PY' || fail "$(basename "$exe"): version resource or symbols"
import struct
import sys
data = open(sys.argv[1], "rb").read()
name = sys.argv[1].rsplit("/", 1)[-1]
for key, value in [("ProductName", "ZARVELO QUILLAR FW Updater"), ("ProductVersion", "3.0~placeholder"),
                   ("FirmwareImageVersion", "3.0"), ("OriginalFilename", name)]:
    if not any((key + "\0" * pad + value + "\0").encode("utf-16-le") in data for pad in (1, 2)):
        sys.exit(f"{name}: no {key} {value!r} in its version resource")
# Stripped: the COFF header names no symbol table (and so no long, debug, section names).
coff = struct.unpack_from("<I", data, 0x3C)[0] + 4
symbols, count = struct.unpack_from("<II", data, coff + 8)
if symbols or count:
    sys.exit(f"{name}: not stripped ({count} symbols)")
PY
done
echo "dist/windows/: $(ls "$plain" | xargs), identical in two clones; signed and verified in one"
