// The portable device-change event: the Win32 programs fill it from WM_DEVICECHANGE, the Linux
// programs from udev, the demos' bench from the simulated unit.
#pragma once

#include <cstddef>

enum DeviceEventKind { DEVICE_ARRIVAL, DEVICE_REMOVE_COMPLETE, DEVICE_OTHER };
constexpr size_t DEVICE_PATH_CAPACITY = 512;
struct DeviceEvent {
    DeviceEventKind kind;
    bool isDeviceInterface;             // the notification concerns a device interface
    wchar_t path[DEVICE_PATH_CAPACITY]; // the interface path (zero-terminated), for a removal
};
