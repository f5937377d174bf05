// The demo's bench: a second after each unit is dealt with it is unplugged, and a second later
// a fresh unit (a TALOMIR with a supported ESC on firmware 2.10) is plugged in at a new node.
#include "cli/device_watch.h"

#include "link/connection.h"
#include "link/pause.h"
#include "cli/terminal.h"
#include "sim/sim.h"

#include <string>

namespace {
constexpr uint32_t REPLUG_MS = 1000;
constexpr uint32_t SLICE_MS = 100;

bool gPlugged;
uint32_t gNode;

std::wstring nodePath(uint32_t node) {
    return L"/dev/hidraw" + std::to_wstring(node);
}

// The wait between two steps; false once Ctrl-C ends the watch.
bool waitStep() {
    for (uint32_t waited = 0; waited < REPLUG_MS; waited += SLICE_MS) {
        if (interruptNoticed()) {
            return false;
        }
        pauseMs(SLICE_MS);
    }
    return !interruptNoticed();
}
} // namespace

// The demo starts with its unit at node 0 (prepareUnits).
bool deviceWatchStart() {
    gPlugged = true;
    gNode = 0;
    return true;
}

bool deviceWatchNext(DeviceEvent *event) {
    if (!waitStep()) {
        return false;
    }
    *event = DeviceEvent{};
    event->isDeviceInterface = true;
    std::wstring path = nodePath(gNode);
    if (gPlugged) {
        simRemoveInterface(path);
        event->kind = DEVICE_REMOVE_COMPLETE;
    } else {
        path = nodePath(++gNode);
        simPlugDemoUnit(path);
        event->kind = DEVICE_ARRIVAL;
    }
    gPlugged = !gPlugged;
    path.copy(event->path, DEVICE_PATH_CAPACITY - 1);
    return true;
}

void deviceWatchStop() {}
