#!/bin/sh
# The guest's init: loads the HID modules, runs the kernel HID checks and the command-line
# program's runs against a uhid unit, and powers off. Each run's lines carry a prefix that
# run-guest.sh looks for.
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

# Waits up to 40 s for a file to exist, or for a text to appear in it.
wait_for() {
    waited=0
    while [ "$waited" -lt 400 ]; do
        if [ -n "${2:-}" ]; then
            grep -qF -- "$2" "$1" 2>/dev/null && return 0
        elif [ -e "$1" ]; then
            return 0
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    return 1
}

# The unit is served by a process of its own beside the programs (uhid_unit_server NAME ...);
# it compares the flash with the image once told that the programs are done.
start_unit() {
    rm -f /tmp/unit-ready /tmp/unit-ready.again
    /bin/uhid_unit_server "$1" /firmware.bin /tmp/unit-ready $2 &
    server=$!
    wait_for /tmp/unit-ready
}

stop_unit() {
    kill -USR1 "$server"
    wait "$server"
}

# Runs the command-line program; prints "NAME: exit CODE", then its output without progress
# lines, each line prefixed "NAME| " (standard error "NAME! ").
cli() {
    name=$1
    shift
    /bin/quillar-updater-cli "$@" >"/tmp/$name.out" 2>"/tmp/$name.err"
    echo "$name: exit $?"
    grep -v '^\[' "/tmp/$name.out" | sed "s/^/$name| /"
    sed "s/^/$name! /" "/tmp/$name.err"
}

if [ "$loaded" -eq 1 ]; then
    # The program prints one PASS or FAIL line per check and the summary line itself.
    /bin/kernel_link_test
    status=$?
    if [ "$status" -ne 0 ]; then
        echo "kernel_link_test exited with status $status"
    fi

    # A whole update, with a second program started while the blocks go out.
    start_unit cli-update
    cli CLI-UPDATE update --yes &
    updater=$!
    wait_for /tmp/CLI-UPDATE.out " 10%" || echo "CLI-UPDATE never reached 10 %"
    cli CLI-SECOND status
    wait "$updater"
    stop_unit

    # An update cut off by an unplug among the blocks; the unit comes back erased, and a
    # second update completes it.
    start_unit cli-replug 300
    cli CLI-CUT update --yes
    wait_for /tmp/unit-ready.again || echo "the unit did not come back"
    cli CLI-BACK status
    cli CLI-AGAIN update --yes
    stop_unit

    # Two units at once: the bench updates both in parallel, and each flash must hold the image.
    rm -f /tmp/unit-a /tmp/unit-b
    /bin/uhid_unit_server cli-all-a /firmware.bin /tmp/unit-a &
    server_a=$!
    wait_for /tmp/unit-a
    /bin/uhid_unit_server cli-all-b /firmware.bin /tmp/unit-b &
    server_b=$!
    wait_for /tmp/unit-b
    cli CLI-ALL watch --all --yes --count 2
    kill -USR1 "$server_a" "$server_b"
    wait "$server_a" "$server_b"
else
    echo "KERNEL-TESTS: 0 passed, 1 failed"
fi

poweroff -f
