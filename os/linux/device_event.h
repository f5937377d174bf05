// Hidraw arrivals and removals from udev as portable device-change records (no GTK needed).
#pragma once

#include "app/device_event.h"

// Turns one udev event into the portable record: "add" is an arrival, "remove" a completed
// removal, anything else another event; only the hidraw subsystem names a device interface,
// whose path is the device node, widened byte for byte as the hidraw backend stores paths.
DeviceEvent deviceEventFromUdev(const char *action, const char *subsystem, const char *devnode);

// Opens udev's monitor of hidraw nodes (one per process). Returns the descriptor that becomes
// readable when an event waits, or -1 when no monitor can be had.
int udevEventsOpen();
// Reads one waiting event into event; false when none could be read.
bool udevEventsReceive(DeviceEvent *event);
// Closes the monitor; does nothing when none is open.
void udevEventsClose();
