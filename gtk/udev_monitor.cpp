// Hidraw arrivals and removals from udev, delivered to the application on the main loop.
#include "gtk/gtk_program.h"

#include "app/mainwindow.h"

#include <glib-unix.h>

namespace {

guint gWatch;

// What a watch hands on, and to which unit.
struct DeviceWatch {
    DeviceEventReader reader;
    UnitContext *unit;
};

gboolean deviceWatchReadable(gint fd, GIOCondition condition, gpointer data) {
    (void)fd;
    (void)condition;
    const DeviceWatch *watch = static_cast<const DeviceWatch *>(data);
    DeviceEvent event{};
    if (watch->reader(&event)) {
        appDeviceEvent(watch->unit, &event);
    }
    return G_SOURCE_CONTINUE;
}

} // namespace

guint guiWatchDeviceEvents(int fd, DeviceEventReader reader, UnitContext *unit) {
    DeviceWatch *watch = g_new(DeviceWatch, 1);
    *watch = DeviceWatch{reader, unit};
    guint id =
        g_unix_fd_add_full(G_PRIORITY_DEFAULT, fd, G_IO_IN, deviceWatchReadable, watch, g_free);
    // An arrival may open the incompatible-ESC box, whose loop runs inside this callback. GLib
    // enters a source again only when it may recurse; otherwise no arrival or removal would be
    // handled until the box is dismissed. Events still come one at a time, in their order.
    g_source_set_can_recurse(g_main_context_find_source_by_id(nullptr, id), TRUE);
    return id;
}

bool udevMonitorStart(UnitContext *unit) {
    udevMonitorStop();
    int fd = udevEventsOpen();
    if (fd < 0) {
        return false;
    }
    gWatch = guiWatchDeviceEvents(fd, udevEventsReceive, unit);
    return true;
}

void udevMonitorStop() {
    if (gWatch != 0) {
        g_source_remove(gWatch);
        gWatch = 0;
    }
    udevEventsClose();
}
