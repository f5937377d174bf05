// Hidraw arrivals and removals from udev, mapped to the portable device-change record.
#include "os/linux/device_event.h"

#include <libudev.h>

#include <cstring>

static struct udev *gUdev;
static struct udev_monitor *gMonitor;

DeviceEvent deviceEventFromUdev(const char *action, const char *subsystem, const char *devnode) {
    DeviceEvent event{};
    event.kind = DEVICE_OTHER;
    if (action != nullptr && std::strcmp(action, "add") == 0) {
        event.kind = DEVICE_ARRIVAL;
    } else if (action != nullptr && std::strcmp(action, "remove") == 0) {
        event.kind = DEVICE_REMOVE_COMPLETE;
    }
    event.isDeviceInterface = subsystem != nullptr && std::strcmp(subsystem, "hidraw") == 0;
    if (!event.isDeviceInterface || devnode == nullptr) {
        return event;
    }
    // Byte for byte, like the hidraw backend's device paths, so that the removal of the open
    // unit compares equal whatever the locale. A node too long to hold stays empty: a cut path
    // must never match another.
    size_t length = std::strlen(devnode);
    if (length >= DEVICE_PATH_CAPACITY) {
        return event;
    }
    for (size_t i = 0; i < length; ++i) {
        event.path[i] = static_cast<wchar_t>(static_cast<unsigned char>(devnode[i]));
    }
    event.path[length] = L'\0';
    return event;
}

int udevEventsOpen() {
    udevEventsClose();
    gUdev = udev_new();
    if (gUdev == nullptr) {
        return -1;
    }
    // The "udev" source reports a node only after the rules have run, so the uaccess rule has
    // already given the user access when the arrival is handled.
    gMonitor = udev_monitor_new_from_netlink(gUdev, "udev");
    if (gMonitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(gMonitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(gMonitor) < 0) {
        udevEventsClose();
        return -1;
    }
    return udev_monitor_get_fd(gMonitor);
}

bool udevEventsReceive(DeviceEvent *event) {
    struct udev_device *device =
        gMonitor != nullptr ? udev_monitor_receive_device(gMonitor) : nullptr;
    if (device == nullptr) {
        return false;
    }
    *event = deviceEventFromUdev(udev_device_get_action(device), udev_device_get_subsystem(device),
                                 udev_device_get_devnode(device));
    udev_device_unref(device);
    return true;
}

void udevEventsClose() {
    if (gMonitor != nullptr) {
        udev_monitor_unref(gMonitor);
        gMonitor = nullptr;
    }
    if (gUdev != nullptr) {
        udev_unref(gUdev);
        gUdev = nullptr;
    }
}
