#!/bin/sh
# The guest's init: loads the HID modules, runs the kernel HID checks and the command-line
# program's update of a uhid unit, and powers off.
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

loaded=1
while read -r module; do
    if ! insmod "/lib/modules/$module"; then
        echo "FAIL 0 insmod $module"
        loaded=0
    fi
done </lib/modules/load-order

if [ "$loaded" -eq 1 ]; then
    # The program prints one PASS or FAIL line per check and the summary line itself.
    /bin/kernel_link_test
    status=$?
    if [ "$status" -ne 0 ]; then
        echo "kernel_link_test exited with status $status"
    fi
    # The unit is served by a process of its own beside the program; it compares the flash
    # with the image once the program has ended.
    /bin/uhid_unit_server /firmware.bin /tmp/unit-ready &
    server=$!
    waited=0
    while [ ! -e /tmp/unit-ready ] && [ "$waited" -lt 20 ]; do
        sleep 1
        waited=$((waited + 1))
    done
    /bin/quillar-updater-cli update --yes >/tmp/cli.out 2>&1
    echo "CLI-UPDATE: exit $?"
    grep -v '^\[' /tmp/cli.out
    kill -USR1 "$server"
    wait "$server"
else
    echo "KERNEL-TESTS: 0 passed, 1 failed"
fi

poweroff -f
