// WM_DEVICECHANGE as the portable device-change record, for every window that receives it.
#pragma once

#include <windows.h>

#include "app/device_event.h"

// Arrivals and completed removals carry their record: a device-interface record gives the
// interface name, read no further than the record's own size and cut to the event's capacity.
// Every other notification is DEVICE_OTHER.
DeviceEvent deviceEventFromMessage(WPARAM wParam, LPARAM lParam);
