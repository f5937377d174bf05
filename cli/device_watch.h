// Arrivals and removals of units for the bench (watch); each program links one implementation.
#pragma once

#include "app/device_event.h"

#include <cstdint>

// Starts watching HID device interfaces. False when no notifications can be had.
bool deviceWatchStart();
// How a wait for the next arrival or removal ended.
enum WatchWait {
    WATCH_EVENT, // event holds it
    WATCH_QUIET, // nothing came in the time given
    WATCH_ENDED, // the watch failed
};
// Waits at most timeoutMs for the next arrival or removal; the bench looks at Ctrl-C between
// two waits.
WatchWait deviceWatchWait(DeviceEvent *event, uint32_t timeoutMs);
void deviceWatchStop();
