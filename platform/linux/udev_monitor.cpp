// Hidraw arrivals and removals from udev, delivered to the application on the main loop.
#include "platform/linux/gtk_program.h"

#include "app/mainwindow.h"

#include <glib-unix.h>
#include <libudev.h>

static struct udev *gUdev;
static struct udev_monitor *gMonitor;
static guint gWatch;

static gboolean udevMonitorReadable(gint fd, GIOCondition condition, gpointer data) {
    (void)fd;
    (void)condition;
    (void)data;
    struct udev_device *device = udev_monitor_receive_device(gMonitor);
    if (device == nullptr) {
        return G_SOURCE_CONTINUE;
    }
    DeviceEvent event =
        deviceEventFromUdev(udev_device_get_action(device), udev_device_get_subsystem(device),
                            udev_device_get_devnode(device));
    udev_device_unref(device);
    appDeviceEvent(&event);
    return G_SOURCE_CONTINUE;
}

bool udevMonitorStart() {
    udevMonitorStop();
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
        udevMonitorStop();
        return false;
    }
    gWatch = g_unix_fd_add(udev_monitor_get_fd(gMonitor), G_IO_IN, udevMonitorReadable, nullptr);
    return true;
}

void udevMonitorStop() {
    if (gWatch != 0) {
        g_source_remove(gWatch);
        gWatch = 0;
    }
    if (gMonitor != nullptr) {
        udev_monitor_unref(gMonitor);
        gMonitor = nullptr;
    }
    if (gUdev != nullptr) {
        udev_unref(gUdev);
        gUdev = nullptr;
    }
}
