// Arrivals and removals of units for the watch command; each program links one implementation.
#pragma once

#include "app/device_event.h"

// Starts watching HID device interfaces. False when no notifications can be had.
bool deviceWatchStart();
// Waits for the next arrival or removal. False when Ctrl-C ended the wait
// (interruptNoticed) or the watch failed.
bool deviceWatchNext(DeviceEvent *event);
void deviceWatchStop();
