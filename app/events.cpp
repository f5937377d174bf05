// Device events that arrive while the update is sending wait until it can handle them.
#include "app/events.h"

#include "app/mainwindow.h"

#include <cstring>

namespace {
enum HoldState { HOLD_OFF, HOLD_HOLDING, HOLD_RELEASING };

HoldState gHoldState = HOLD_OFF;
DeviceEvent gHeld[HELD_EVENT_CAPACITY + 1];
size_t gHeldCount = 0;

bool isArrival(const DeviceEvent &event) {
    return event.isDeviceInterface && event.kind == DEVICE_ARRIVAL;
}

// True when a removal of the same interface is among gHeld[from, to).
bool removalHeld(size_t from, size_t to, const DeviceEvent &removal) {
    for (size_t i = from; i < to; ++i) {
        if (sameDevicePath(gHeld[i].path, removal.path)) {
            return true;
        }
    }
    return false;
}

// Drops held events whose handling cannot change how the release ends; see
// HELD_EVENT_CAPACITY. Every held event is handled against the interfaces present at release, so
// each arrival that finds no unit open opens the same one.
void dropNeedlessEvents() {
    size_t lastArrival = gHeldCount;
    for (size_t i = 0; i < gHeldCount; ++i) {
        if (isArrival(gHeld[i])) {
            lastArrival = i;
        }
    }
    bool openUnitRemoved = !isUnitOpen(&gConnection);
    size_t kept = 0;
    size_t keptAfterArrival = gHeldCount;
    for (size_t i = 0; i < gHeldCount; ++i) {
        const DeviceEvent &event = gHeld[i];
        bool keep = false;
        if (i == lastArrival) {
            keep = true;
            keptAfterArrival = kept + 1;
        } else if (!event.isDeviceInterface || event.kind == DEVICE_ARRIVAL) {
            // Events of no device interface change nothing, and the last arrival opens what an
            // earlier one would; the removals between them stay.
            keep = false;
        } else if (i < lastArrival) {
            // What earlier arrivals opened, the last one opens again: only the first removal of
            // the unit open now outlasts it.
            keep = !openUnitRemoved && sameDevicePath(event.path, gConnection.devicePath);
            openUnitRemoved = openUnitRemoved || keep;
        } else {
            // After it, whichever unit is open leaves once: a path already removed adds nothing.
            keep = !removalHeld(keptAfterArrival, kept, event);
        }
        if (keep) {
            if (kept != i) {
                gHeld[kept] = event;
            }
            ++kept;
        }
    }
    gHeldCount = kept;
}

// The queue has room for one event more than it keeps, so that the newest one is weighed with
// the others before anything is given up.
void hold(const DeviceEvent *event) {
    gHeld[gHeldCount++] = *event;
    if (gHeldCount > HELD_EVENT_CAPACITY) {
        dropNeedlessEvents();
    }
    if (gHeldCount > HELD_EVENT_CAPACITY) {
        gHeldCount = HELD_EVENT_CAPACITY;
    }
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
        --gHeldCount;
        std::memmove(&gHeld[0], &gHeld[1], gHeldCount * sizeof gHeld[0]);
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
