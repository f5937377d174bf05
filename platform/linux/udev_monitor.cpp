// Hidraw arrivals and removals from udev, delivered to the application on the main loop.
#include "platform/linux/gtk_program.h"

#include "app/mainwindow.h"

#include <glib-unix.h>
#include <libudev.h>

static struct udev *gUdev;
static struct udev_monitor *gMonitor;
static guint gWatch;

static gboolean deviceWatchReadable(gint fd, GIOCondition condition, gpointer data) {
    (void)fd;
    (void)condition;
    DeviceEvent event{};
    if (static_cast<DeviceEventReader *>(data)[0](&event)) {
        appDeviceEvent(&event);
    }
    return G_SOURCE_CONTINUE;
}

guint guiWatchDeviceEvents(int fd, DeviceEventReader reader) {
    DeviceEventReader *held = g_new(DeviceEventReader, 1);
    *held = reader;
    guint id =
        g_unix_fd_add_full(G_PRIORITY_DEFAULT, fd, G_IO_IN, deviceWatchReadable, held, g_free);
    // An arrival may open the incompatible-ESC box, whose loop runs inside this callback. GLib
    // enters a source again only when it may recurse; otherwise no arrival or removal would be
    // handled until the box is dismissed. Events still come one at a time, in their order.
    g_source_set_can_recurse(g_main_context_find_source_by_id(nullptr, id), TRUE);
    return id;
}

static bool udevReceive(DeviceEvent *event) {
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
    gWatch = guiWatchDeviceEvents(udev_monitor_get_fd(gMonitor), udevReceive);
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
