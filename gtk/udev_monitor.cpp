// Hidraw arrivals and removals from udev, delivered to the application on the main loop.
#include "gtk/gtk_program.h"

#include "app/mainwindow.h"

#include <glib-unix.h>

static guint gWatch;

static gboolean deviceWatchReadable(gint fd, GIOCondition condition, gpointer data) {
    (void)fd;
    (void)condition;
    DeviceEvent event{};
    if (static_cast<DeviceEventReader *>(data)[0](&event)) {
        appDeviceEvent(&gUnit, &event);
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

bool udevMonitorStart() {
    udevMonitorStop();
    int fd = udevEventsOpen();
    if (fd < 0) {
        return false;
    }
    gWatch = guiWatchDeviceEvents(fd, udevEventsReceive);
    return true;
}

void udevMonitorStop() {
    if (gWatch != 0) {
        g_source_remove(gWatch);
        gWatch = 0;
    }
    udevEventsClose();
}
