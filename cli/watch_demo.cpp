// The demo's bench: a second after each unit is dealt with it is unplugged, and a second later
// a fresh unit (a TALOMIR with a supported ESC on firmware 2.10) is plugged in at a new node;
// each of several units at once on its own.
#include "cli/device_watch.h"

#include "link/connection.h"
#include "link/pause.h"
#include "sim/sim.h"

#include <string>
#include <vector>

namespace {
constexpr uint32_t REPLUG_MS = 1000;

// A node of the bench: the unit plugged in there, or the gap it left.
struct Node {
    std::wstring path;
    bool plugged;
    bool own;         // its unit is one of its own, not the shared simulated unit
    uint32_t quietMs; // waited since it was dealt with, or since it was unplugged
};

std::vector<Node> gNodes;
uint32_t gNextNode;

std::wstring nodePath(uint32_t node) {
    return L"/dev/hidraw" + std::to_wstring(node);
}

// Dealt with: its ESC is written, or nobody holds it (it failed, or was never to be updated).
bool dealtWith(const Node &node) {
    return simUnitWritten(node.path) || !simPathOpen(node.path);
}

DeviceEvent eventAt(DeviceEventKind kind, const std::wstring &path) {
    DeviceEvent event{};
    event.kind = kind;
    event.isDeviceInterface = true;
    path.copy(event.path, DEVICE_PATH_CAPACITY - 1);
    return event;
}

// One step of every node after a wait; true when one of them made an event.
bool stepNodes(uint32_t waited, DeviceEvent *event) {
    for (Node &node : gNodes) {
        if (node.plugged && !dealtWith(node)) {
            node.quietMs = 0;
            continue;
        }
        node.quietMs += waited;
        if (node.quietMs < REPLUG_MS) {
            continue;
        }
        node.quietMs = 0;
        if (node.plugged) {
            simRemoveInterface(node.path);
            node.plugged = false;
            *event = eventAt(DEVICE_REMOVE_COMPLETE, node.path);
        } else {
            node.path = nodePath(gNextNode++);
            if (node.own) {
                simPlugOwnDemoUnit(node.path);
            } else {
                simPlugDemoUnit(node.path);
            }
            node.plugged = true;
            *event = eventAt(DEVICE_ARRIVAL, node.path);
        }
        return true;
    }
    return false;
}
} // namespace

// The demo starts with the units that prepareUnits plugged in, at nodes 0 to N-1.
bool deviceWatchStart() {
    gNodes.clear();
    for (const std::wstring &path : simUnitPaths()) {
        gNodes.push_back(Node{path, true, simUnitIsOwn(path), 0});
    }
    gNextNode = static_cast<uint32_t>(gNodes.size());
    return true;
}

// A second after a unit is dealt with it is unplugged, and a second later a fresh unit is
// plugged in at a new node.
WatchWait deviceWatchWait(DeviceEvent *event, uint32_t timeoutMs) {
    pauseMs(timeoutMs);
    return stepNodes(timeoutMs, event) ? WATCH_EVENT : WATCH_QUIET;
}

void deviceWatchStop() {}
