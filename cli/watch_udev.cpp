// Unit arrivals and removals for the watch command on Linux: a udev monitor on hidraw.
#include "cli/device_watch.h"

#include "os/linux/device_event.h"

#include <cerrno>
#include <poll.h>

namespace {
int gMonitorFd = -1;
} // namespace

bool deviceWatchStart() {
    deviceWatchStop();
    gMonitorFd = udevEventsOpen();
    return gMonitorFd >= 0;
}

WatchWait deviceWatchWait(DeviceEvent *event, uint32_t timeoutMs) {
    if (gMonitorFd < 0) {
        return WATCH_ENDED;
    }
    struct pollfd readable = {gMonitorFd, POLLIN, 0};
    int ready = poll(&readable, 1, static_cast<int>(timeoutMs));
    if (ready < 0 && errno != EINTR) {
        return WATCH_ENDED;
    }
    bool arrived = ready > 0 && udevEventsReceive(event) && event->kind != DEVICE_OTHER;
    return arrived ? WATCH_EVENT : WATCH_QUIET;
}

void deviceWatchStop() {
    udevEventsClose();
    gMonitorFd = -1;
}
