// One unit's state in the application: its connection, what its last classification found, the
// device events held while its update sends, and the window's flags around it.
//
// Everything the application knows of one unit lives in one UnitContext, never in file-scope
// state, so that a front end can run several units at once, each in its own context (and, for
// a program that updates them in parallel, each on its own thread with its own front end).
#pragma once

#include "app/device_event.h"
#include "app/frontend.h"
#include "link/connection.h"

#include <cstddef>

// What a classification found.
enum ConnectionOutcome {
    OUTCOME_NO_UNIT,
    OUTCOME_WRONG_MODE,
    OUTCOME_NO_UPDATABLE_ESC,
    OUTCOME_INCOMPATIBLE_ESC,
    OUTCOME_READY,
    // No unit free: every one found is held by another of our programs. Shown as no unit.
    OUTCOME_UNIT_IN_USE
};

// Events held at most. A full queue first drops events that cannot change how their release
// ends: events that concern no device interface; every arrival but the last (all of them are
// handled against the interfaces present at release, so they open the same unit); before the
// last arrival, every removal but the first of the unit open now; after it, a removal of an
// interface already removed after it. If it is still full, the newest event is dropped: that
// takes dozens of different interfaces removed after the last arrival.
constexpr size_t HELD_EVENT_CAPACITY = 64;

enum HoldState { HOLD_OFF, HOLD_HOLDING, HOLD_RELEASING };

// The device events that wait while the update sends (app/events.h). The queue has room for
// one event more than it keeps, so that the newest one is weighed with the others before
// anything is given up.
struct HeldEventQueue {
    HoldState state = HOLD_OFF;
    size_t count = 0;
    DeviceEvent events[HELD_EVENT_CAPACITY + 1];
};

struct UnitContext {
    // The record of the open unit, owned by this context from start to exit; only the
    // application closes it.
    UnitConnection connection = CLEARED_CONNECTION;
    // Every opening is a classification's, so the open unit classified ready exactly when the
    // last outcome is ready. An arrival inside a message box can replace the open unit by one
    // whose identification failed: that one stays open with the outcome no unit.
    ConnectionOutcome lastOutcome = OUTCOME_NO_UNIT;
    HeldEventQueue held;
    bool registered = false; // for device notifications, from start-up to close
    bool updateBusy = false; // from the Update command to the end of the update
    // Null: classification opens the first free unit. Otherwise only the unit at this path (a
    // front end that handles several units, each in its own context); not owned.
    const wchar_t *onlyPath = nullptr;
    // What this unit's user is told and asked; given by the front end, kept by appReset.
    FrontEnd frontEnd = {nullptr, nullptr};
};

// A context that was never used, as a new one is: connection cleared, no unit, nothing held, no
// front end yet.
constexpr UnitContext FRESH_UNIT_CONTEXT = {};

// Gives a context that holds nothing open its first state (FRESH_UNIT_CONTEXT), but for its
// front end, which it keeps.
void initUnitContext(UnitContext *unit);
