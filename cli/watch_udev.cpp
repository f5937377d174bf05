// Unit arrivals and removals for the watch command on Linux: a udev monitor on hidraw.
#include "cli/device_watch.h"

#include "cli/terminal.h"
#include "os/linux/device_event.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace {
int gMonitorFd = -1;
// A Ctrl-C is looked at this often while nothing arrives.
constexpr uint64_t POLL_SLICE_MS = 200;
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
    uint64_t end = terminalNowMs() + timeoutMs;
    while (!interruptNoticed()) {
        uint64_t now = terminalNowMs();
        if (now >= end) {
            return WATCH_QUIET;
        }
        int slice = static_cast<int>(std::min<uint64_t>(POLL_SLICE_MS, end - now));
        struct pollfd readable = {gMonitorFd, POLLIN, 0};
        int ready = poll(&readable, 1, slice);
        if (ready < 0 && errno != EINTR) {
            return WATCH_ENDED;
        }
        if (ready > 0 && udevEventsReceive(event) && event->kind != DEVICE_OTHER) {
            return WATCH_EVENT;
        }
    }
    return WATCH_ENDED;
}

void deviceWatchStop() {
    udevEventsClose();
    gMonitorFd = -1;
}
