// The wait for the next arrival or removal, however long, over each platform's timed wait.
#include "cli/device_watch.h"

namespace {
// A Ctrl-C ends the wait within this long.
constexpr uint32_t WAIT_SLICE_MS = 200;
} // namespace

bool deviceWatchNext(DeviceEvent *event) {
    for (;;) {
        switch (deviceWatchWait(event, WAIT_SLICE_MS)) {
        case WATCH_EVENT:
            return true;
        case WATCH_ENDED:
            return false;
        case WATCH_QUIET:
            break;
        }
    }
}
