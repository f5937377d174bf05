// Unit arrivals and removals for the watch command on Linux: a udev monitor on hidraw.
#include "platform/cli/device_watch.h"

#include "platform/cli/terminal.h"
#include "platform/linux/device_event.h"

#include <cerrno>
#include <libudev.h>
#include <poll.h>

namespace {
struct udev *gUdev;
struct udev_monitor *gMonitor;
// A Ctrl-C is looked at this often while nothing arrives.
constexpr int POLL_SLICE_MS = 200;
} // namespace

bool deviceWatchStart() {
    deviceWatchStop();
    gUdev = udev_new();
    if (gUdev == nullptr) {
        return false;
    }
    // The "udev" source reports a node only after the rules have run, so the uaccess rule has
    // already given the user access when the arrival is handled.
    gMonitor = udev_monitor_new_from_netlink(gUdev, "udev");
    if (gMonitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(gMonitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(gMonitor) < 0) {
        deviceWatchStop();
        return false;
    }
    return true;
}

bool deviceWatchNext(DeviceEvent *event) {
    if (gMonitor == nullptr) {
        return false;
    }
    while (!interruptNoticed()) {
        struct pollfd readable = {udev_monitor_get_fd(gMonitor), POLLIN, 0};
        int ready = poll(&readable, 1, POLL_SLICE_MS);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        struct udev_device *device = udev_monitor_receive_device(gMonitor);
        if (device == nullptr) {
            continue;
        }
        *event =
            deviceEventFromUdev(udev_device_get_action(device), udev_device_get_subsystem(device),
                                udev_device_get_devnode(device));
        udev_device_unref(device);
        if (event->kind != DEVICE_OTHER) {
            return true;
        }
    }
    return false;
}

void deviceWatchStop() {
    if (gMonitor != nullptr) {
        udev_monitor_unref(gMonitor);
        gMonitor = nullptr;
    }
    if (gUdev != nullptr) {
        udev_unref(gUdev);
        gUdev = nullptr;
    }
}
