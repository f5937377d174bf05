// WM_DEVICECHANGE as the portable device-change record, for every window that receives it.
#include "os/win32/device_event.h"

#include <dbt.h>

#include <cstddef>

// Copies the interface name of a device-interface notification, never reading past the record
// (dbch_size) and cutting it to the event's capacity.
static void copyInterfaceName(const DEV_BROADCAST_DEVICEINTERFACE_W *record, DeviceEvent *event) {
    const size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    size_t available = 0;
    if (record->dbcc_size > nameOffset) {
        available = (record->dbcc_size - nameOffset) / sizeof(wchar_t);
    }
    size_t length = 0;
    while (length < available && length + 1 < DEVICE_PATH_CAPACITY &&
           record->dbcc_name[length] != L'\0') {
        event->path[length] = record->dbcc_name[length];
        ++length;
    }
    event->path[length] = L'\0';
}

DeviceEvent deviceEventFromMessage(WPARAM wParam, LPARAM lParam) {
    DeviceEvent event = {};
    switch (wParam) {
    case DBT_DEVICEARRIVAL:
        event.kind = DEVICE_ARRIVAL;
        break;
    case DBT_DEVICEREMOVECOMPLETE:
        event.kind = DEVICE_REMOVE_COMPLETE;
        break;
    default:
        event.kind = DEVICE_OTHER;
        break;
    }
    // Only arrivals and removals carry a record worth reading.
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
    if (event.kind != DEVICE_OTHER && header != nullptr) {
        event.isDeviceInterface = header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
        if (event.isDeviceInterface) {
            copyInterfaceName(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(header),
                              &event);
        }
    }
    return event;
}
