// Unit arrivals and removals for the watch command on Linux: a udev monitor on hidraw.
#include "cli/device_watch.h"

#include "cli/terminal.h"
#include "os/linux/device_event.h"

#include <cerrno>
#include <poll.h>

namespace {
int gMonitorFd = -1;
// A Ctrl-C is looked at this often while nothing arrives.
constexpr int POLL_SLICE_MS = 200;
} // namespace

bool deviceWatchStart() {
    deviceWatchStop();
    gMonitorFd = udevEventsOpen();
    return gMonitorFd >= 0;
}

bool deviceWatchNext(DeviceEvent *event) {
    if (gMonitorFd < 0) {
        return false;
    }
    while (!interruptNoticed()) {
        struct pollfd readable = {gMonitorFd, POLLIN, 0};
        int ready = poll(&readable, 1, POLL_SLICE_MS);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 && udevEventsReceive(event) && event->kind != DEVICE_OTHER) {
            return true;
        }
    }
    return false;
}

void deviceWatchStop() {
    udevEventsClose();
    gMonitorFd = -1;
}
