// Mapping of a udev event on a hidraw node to the portable device-change record.
#include "platform/linux/device_event.h"

#include <cstring>

DeviceEvent deviceEventFromUdev(const char *action, const char *subsystem, const char *devnode) {
    DeviceEvent event{};
    event.kind = DEVICE_OTHER;
    if (action != nullptr && std::strcmp(action, "add") == 0) {
        event.kind = DEVICE_ARRIVAL;
    } else if (action != nullptr && std::strcmp(action, "remove") == 0) {
        event.kind = DEVICE_REMOVE_COMPLETE;
    }
    event.isDeviceInterface = subsystem != nullptr && std::strcmp(subsystem, "hidraw") == 0;
    if (!event.isDeviceInterface || devnode == nullptr) {
        return event;
    }
    // Byte for byte, like the hidraw backend's device paths, so that the removal of the open
    // unit compares equal whatever the locale. A node too long to hold stays empty: a cut path
    // must never match another.
    size_t length = std::strlen(devnode);
    if (length >= DEVICE_PATH_CAPACITY) {
        return event;
    }
    for (size_t i = 0; i < length; ++i) {
        event.path[i] = static_cast<wchar_t>(static_cast<unsigned char>(devnode[i]));
    }
    event.path[length] = L'\0';
    return event;
}
