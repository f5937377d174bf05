// The udev event of a hidraw node as the portable device-change record (no GTK needed).
#pragma once

#include "app/status.h"

// Turns one udev event into the portable record: "add" is an arrival, "remove" a completed
// removal, anything else another event; only the hidraw subsystem names a device interface,
// whose path is the device node, widened byte for byte as the hidraw backend stores paths.
DeviceEvent deviceEventFromUdev(const char *action, const char *subsystem, const char *devnode);
