// Device events that arrive while the update is sending wait until it can handle them.
#include "app/events.h"

#include "app/mainwindow.h"

#include <cstring>

namespace {
enum HoldState { HOLD_OFF, HOLD_HOLDING, HOLD_RELEASING };

HoldState gHoldState = HOLD_OFF;
DeviceEvent gHeld[HELD_EVENT_CAPACITY];
size_t gHeldCount = 0;

void removeHeld(size_t index) {
    std::memmove(&gHeld[index], &gHeld[index + 1], (gHeldCount - index - 1) * sizeof gHeld[0]);
    --gHeldCount;
}

bool sameEvent(const DeviceEvent &a, const DeviceEvent &b) {
    return a.kind == b.kind && (a.kind != DEVICE_REMOVE_COMPLETE || sameDevicePath(a.path, b.path));
}

// Drops held events whose handling can change nothing; see HELD_EVENT_CAPACITY.
void dropNeedlessEvents() {
    bool arrivalSeen = false;
    bool openUnitRemoved = !isUnitOpen(&gConnection);
    for (size_t i = 0; i < gHeldCount;) {
        const DeviceEvent &event = gHeld[i];
        bool needless = false;
        if (!event.isDeviceInterface || (i > 0 && sameEvent(gHeld[i - 1], event))) {
            needless = true;
        } else if (event.kind == DEVICE_ARRIVAL) {
            arrivalSeen = true;
        } else if (!arrivalSeen) {
            bool namesOpenUnit =
                !openUnitRemoved && sameDevicePath(event.path, gConnection.devicePath);
            needless = !namesOpenUnit;
            openUnitRemoved = openUnitRemoved || namesOpenUnit;
        }
        if (needless) {
            removeHeld(i);
        } else {
            ++i;
        }
    }
}

void hold(const DeviceEvent *event) {
    if (gHeldCount == HELD_EVENT_CAPACITY) {
        dropNeedlessEvents();
    }
    if (gHeldCount == HELD_EVENT_CAPACITY) {
        return;
    }
    gHeld[gHeldCount++] = *event;
}
} // namespace

void holdDeviceEvents() {
    if (gHoldState == HOLD_OFF) {
        gHoldState = HOLD_HOLDING;
    }
}

void releaseDeviceEvents() {
    if (gHoldState != HOLD_HOLDING) {
        return;
    }
    gHoldState = HOLD_RELEASING;
    while (gHeldCount > 0) {
        DeviceEvent next = gHeld[0];
        removeHeld(0);
        handleDeviceChange(&next);
    }
    gHoldState = HOLD_OFF;
}

bool deviceEventsWaiting() {
    return gHoldState != HOLD_OFF;
}

size_t heldDeviceEventCount() {
    return gHeldCount;
}

void clearHeldDeviceEvents() {
    gHoldState = HOLD_OFF;
    gHeldCount = 0;
}

bool appDeviceEvent(const DeviceEvent *event) {
    if (event->kind == DEVICE_OTHER || gHoldState == HOLD_OFF) {
        return handleDeviceChange(event);
    }
    hold(event);
    return true;
}
