#!/bin/bash
# Boots a Debian cloud kernel under qemu with uhid and hidraw and runs the kernel HID checks in it,
# then the command-line program against a uhid unit: a whole update, with a second program
# started meanwhile that must pass the held unit over; and an update cut off by an unplug among
# the blocks, after which the unit comes back erased and a second update completes it. The flash
# must hold the image after each.
#
# Usage: tests/kernel/run-guest.sh BUILD_DIR
# BUILD_DIR is a configured and built linux tree (it holds tests/kernel/kernel_link_test,
# tests/kernel/uhid_unit_server and cli/quillar-updater-cli). The
# kernel package and the guest image are kept under BUILD_DIR/kernel-guest. Exits non-zero when
# a tool is missing, the kernel cannot be had, any check fails, or the guest does not finish in
# time.
set -euo pipefail

# The two whole updates and the one cut off wait about 100 s on their pauses, and run slower
# under emulation.
GUEST_TIMEOUT_S=${GUEST_TIMEOUT_S:-300}
CHECKS=7

fail() {
    echo "run-guest: $*" >&2
    exit 1
}

[ $# -eq 1 ] || fail "usage: $0 BUILD_DIR"
build=$(cd "$1" && pwd) || fail "no build directory $1"
here=$(cd "$(dirname "$0")" && pwd)
program="$build/tests/kernel/kernel_link_test"
server="$build/tests/kernel/uhid_unit_server"
cli="$build/cli/quillar-updater-cli"
for binary in "$program" "$server" "$cli"; do
    [ -x "$binary" ] || fail "$binary is missing: build the targets kernel_link_test, uhid_unit_server and quillar-updater-cli first"
done
# The image the program carries, as the build tree was configured.
image=$(sed -n 's/^QUILLAR_FIRMWARE_IMAGE:FILEPATH=//p' "$build/CMakeCache.txt")
[ -f "$image" ] || fail "no firmware image named in $build/CMakeCache.txt"

# A missing tool is a failure, never a reason to skip the checks.
for tool in qemu-system-x86_64 busybox cpio apt-get apt-cache dpkg-deb ldd timeout modinfo python3; do
    command -v "$tool" >/dev/null || fail "$tool not found (packages: qemu-system-x86 busybox-static cpio kmod python3)"
done
busybox=$(command -v busybox)
# The guest has no shared libraries for busybox itself: it must be the static build.
if ldd "$busybox" >/dev/null 2>&1; then
    fail "$busybox is dynamically linked; install busybox-static"
fi

cache="$build/kernel-guest"
mkdir -p "$cache"

# The kernel: the package that linux-image-cloud-amd64 currently depends on.
resolve_kernel_package() {
    apt-cache depends linux-image-cloud-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }'
}
kpkg=$(resolve_kernel_package || true)
if [ -z "$kpkg" ]; then
    apt-get update -qq || fail "apt-get update failed"
    kpkg=$(resolve_kernel_package || true)
fi
[ -n "$kpkg" ] || fail "cannot resolve the package behind linux-image-cloud-amd64"
kver=${kpkg#linux-image-}

deb=$(ls "$cache"/"${kpkg}"_*.deb 2>/dev/null | head -n 1 || true)
if [ -z "$deb" ]; then
    # A newer kernel replaces the one kept from an earlier run.
    rm -rf "$cache"/linux-image-*
    (cd "$cache" && apt-get download -q -o APT::Sandbox::User=root "$kpkg") ||
        fail "apt-get download $kpkg failed"
    deb=$(ls "$cache"/"${kpkg}"_*.deb | head -n 1)
fi
kroot="$cache/$kpkg"
if [ ! -f "$kroot/boot/vmlinuz-$kver" ]; then
    rm -rf "$kroot"
    mkdir -p "$kroot"
    dpkg-deb -x "$deb" "$kroot" || fail "cannot unpack $deb"
fi
vmlinuz="$kroot/boot/vmlinuz-$kver"
config="$kroot/boot/config-$kver"
[ -f "$vmlinuz" ] || fail "no kernel image in $deb"
grep -q '^CONFIG_HIDRAW=y' "$config" || fail "$kpkg is built without CONFIG_HIDRAW=y"
grep -q '^CONFIG_UHID=[ym]' "$config" || fail "$kpkg is built without CONFIG_UHID"
grep -q '^CONFIG_DEVTMPFS=y' "$config" || fail "$kpkg is built without CONFIG_DEVTMPFS"

# The modules, in load order: each one's dependencies come before it.
modules=()
add_module() {
    local name=$1 file dep
    for loaded in "${modules[@]+"${modules[@]}"}"; do
        [ "$(basename "$loaded")" = "$name.ko" ] && return 0
    done
    file=$(find "$kroot/lib/modules/$kver" -name "$name.ko*" | head -n 1)
    [ -n "$file" ] || fail "module $name is not in $kpkg"
    case "$file" in
    *.ko) ;;
    *.ko.xz) xz -dc "$file" >"$cache/$name.ko"; file="$cache/$name.ko" ;;
    *.ko.zst) zstd -qdc "$file" >"$cache/$name.ko"; file="$cache/$name.ko" ;;
    *.ko.gz) gzip -dc "$file" >"$cache/$name.ko"; file="$cache/$name.ko" ;;
    *) fail "unknown module compression: $file" ;;
    esac
    for dep in $(modinfo -F depends "$file" | tr ',' ' '); do
        add_module "$dep"
    done
    modules+=("$file")
}
grep -q '^CONFIG_HID=y' "$config" || add_module hid
grep -q '^CONFIG_HID_GENERIC=y' "$config" || add_module hid-generic
grep -q '^CONFIG_UHID=y' "$config" || add_module uhid

# The initramfs: busybox, the modules, the test program with its shared libraries, and init.
root="$cache/initramfs"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,lib/modules}
cp "$busybox" "$root/bin/busybox"
for name in sh mount insmod poweroff cat grep echo sleep kill sed; do
    ln -s busybox "$root/bin/$name"
done
: >"$root/lib/modules/load-order"
for file in "${modules[@]+"${modules[@]}"}"; do
    cp "$file" "$root/lib/modules/"
    basename "$file" >>"$root/lib/modules/load-order"
done
cp "$program" "$root/bin/kernel_link_test"
cp "$server" "$root/bin/uhid_unit_server"
cp "$cli" "$root/bin/quillar-updater-cli"
cp "$image" "$root/firmware.bin"
for lib in $(ldd "$program" "$server" "$cli" | awk '/=>/ { print $3 } /^\t\// { print $1 }' | sort -u); do
    [ -f "$lib" ] || continue
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
done
cp "$here/guest-init.sh" "$root/init"
chmod +x "$root/init"
(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) >"$cache/initrd.cpio" ||
    fail "cannot build the initramfs"

# The guest: software emulation only, so that it runs on any machine.
console="$cache/console.log"
: >"$console"
start=$(date +%s)
status=0
timeout --kill-after=5 "$GUEST_TIMEOUT_S" qemu-system-x86_64 \
    -accel tcg -cpu max -smp 1 -m 256M \
    -nodefaults -no-user-config -display none -no-reboot \
    -serial "file:$console" \
    -kernel "$vmlinuz" -initrd "$cache/initrd.cpio" \
    -append "console=ttyS0 panic=-1 quiet" || status=$?
elapsed=$(($(date +%s) - start))
tr -d '\r' <"$console"
echo "run-guest: guest ran ${elapsed}s (qemu exit status $status)"

[ "$status" -ne 124 ] && [ "$status" -ne 137 ] || fail "the guest did not finish within ${GUEST_TIMEOUT_S}s"
[ "$status" -eq 0 ] || fail "qemu failed with status $status"
log=$(tr -d '\r' <"$console")
missing=0
for n in $(seq 1 "$CHECKS"); do
    if ! grep -q "^PASS $n " <<<"$log"; then
        echo "run-guest: check $n did not pass" >&2
        missing=1
    fi
done
grep -q "^KERNEL-TESTS: $CHECKS passed, 0 failed$" <<<"$log" || fail "no clean summary line from the guest"
[ "$missing" -eq 0 ] || fail "some checks did not pass"
# The texts the runs must show, from the catalogue (English: the guest sets no language).
text() {
    python3 - "$here/../../resources/texts.json" "$1" <<'PY'
import json, sys
texts = json.load(open(sys.argv[1], encoding="utf-8"))
section, key = sys.argv[2].split(":")
entry = texts[section][key]
print((entry if isinstance(entry, str) else entry["en"]).split("\r\n")[0])
PY
}
in_use=$(text messages:40124)
ready=$(text messages:40136)
no_firmware=$(text fixed:NO_FIRMWARE)
cli_failed=0
expect() {
    if ! grep -qxF -- "$1" <<<"$log"; then
        echo "run-guest: no line \"$1\" ($2)" >&2
        cli_failed=1
    fi
}
expect "CLI-UPDATE: exit 0" "the update beside a second program did not succeed"
expect "CLI-SECOND: exit 3" "the second program did not pass the held unit over"
expect "CLI-SECOND! $in_use" "the second program did not say that the unit is in use"
grep -q "^PASS cli-update" <<<"$log" || { echo "run-guest: after the update the unit's flash does not hold the image" >&2; cli_failed=1; }
expect "CLI-CUT: exit 1" "the update cut off by the unplug did not fail"
expect "CLI-BACK: exit 0" "the unit that came back is not ready"
expect "CLI-BACK| $ready" "the unit that came back is not offered the update"
grep -qE "^CLI-BACK\|  .* $no_firmware\$" <<<"$log" || { echo "run-guest: the unit that came back does not show $no_firmware" >&2; cli_failed=1; }
expect "CLI-AGAIN: exit 0" "the second update of the unit that came back did not succeed"
grep -q "^PASS cli-replug" <<<"$log" || { echo "run-guest: after the second update the unit's flash does not hold the image" >&2; cli_failed=1; }
expect "CLI-ALL: exit 0" "the bench over two units at once did not succeed"
for unit in a b; do
    grep -q "^PASS cli-all-$unit" <<<"$log" || { echo "run-guest: after the bench unit $unit's flash does not hold the image" >&2; cli_failed=1; }
done
[ "$cli_failed" -eq 0 ] || fail "some command-line runs did not go as they should"
echo "run-guest: all $CHECKS kernel checks and the command-line runs passed"
