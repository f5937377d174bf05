// Device events that arrive while the update is sending wait until it can handle them.
#include "app/events.h"

#include "app/mainwindow.h"

#include <cstring>

namespace {
bool isArrival(const DeviceEvent &event) {
    return event.isDeviceInterface && event.kind == DEVICE_ARRIVAL;
}

// True when a removal of the same interface is among held->events[from, to).
bool removalHeld(const HeldEventQueue *held, size_t from, size_t to, const DeviceEvent &removal) {
    for (size_t i = from; i < to; ++i) {
        if (sameDevicePath(held->events[i].path, removal.path)) {
            return true;
        }
    }
    return false;
}

// Drops held events whose handling cannot change how the release ends; see
// HELD_EVENT_CAPACITY. Every held event is handled against the interfaces present at release, so
// each arrival that finds no unit open opens the same one.
void dropNeedlessEvents(UnitContext *unit) {
    HeldEventQueue *held = &unit->held;
    size_t lastArrival = held->count;
    for (size_t i = 0; i < held->count; ++i) {
        if (isArrival(held->events[i])) {
            lastArrival = i;
        }
    }
    bool openUnitRemoved = !isUnitOpen(&unit->connection);
    size_t kept = 0;
    size_t keptAfterArrival = held->count;
    for (size_t i = 0; i < held->count; ++i) {
        const DeviceEvent &event = held->events[i];
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
            keep = !openUnitRemoved && sameDevicePath(event.path, unit->connection.devicePath);
            openUnitRemoved = openUnitRemoved || keep;
        } else {
            // After it, whichever unit is open leaves once: a path already removed adds nothing.
            keep = !removalHeld(held, keptAfterArrival, kept, event);
        }
        if (keep) {
            if (kept != i) {
                held->events[kept] = event;
            }
            ++kept;
        }
    }
    held->count = kept;
}

void hold(UnitContext *unit, const DeviceEvent *event) {
    HeldEventQueue *held = &unit->held;
    held->events[held->count++] = *event;
    if (held->count > HELD_EVENT_CAPACITY) {
        dropNeedlessEvents(unit);
    }
    if (held->count > HELD_EVENT_CAPACITY) {
        held->count = HELD_EVENT_CAPACITY;
    }
}
} // namespace

void holdDeviceEvents(UnitContext *unit) {
    if (unit->held.state == HOLD_OFF) {
        unit->held.state = HOLD_HOLDING;
    }
}

void releaseDeviceEvents(UnitContext *unit) {
    HeldEventQueue *held = &unit->held;
    if (held->state != HOLD_HOLDING) {
        return;
    }
    held->state = HOLD_RELEASING;
    while (held->count > 0) {
        DeviceEvent next = held->events[0];
        --held->count;
        std::memmove(&held->events[0], &held->events[1], held->count * sizeof held->events[0]);
        handleDeviceChange(unit, &next);
    }
    held->state = HOLD_OFF;
}

bool deviceEventsWaiting(const UnitContext *unit) {
    return unit->held.state != HOLD_OFF;
}

size_t heldDeviceEventCount(const UnitContext *unit) {
    return unit->held.count;
}

void clearHeldDeviceEvents(UnitContext *unit) {
    unit->held.state = HOLD_OFF;
    unit->held.count = 0;
}

DeviceEventResult appDeviceEvent(UnitContext *unit, const DeviceEvent *event) {
    if (event->kind == DEVICE_OTHER || unit->held.state == HOLD_OFF) {
        return handleDeviceChange(unit, event);
    }
    hold(unit, event);
    return DeviceEventResult{true, false, OUTCOME_NO_UNIT};
}
