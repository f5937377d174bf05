// The portable side of the main window: start-up, the commands, device events and close.
#pragma once

#include "app/context.h"
#include "app/status.h"
#include "app/update.h"

// Window results.
constexpr int WINDOW_RESULT_REGISTRATION_FAILED = 1;
constexpr int WINDOW_RESULT_CLOSED = 2;

// Gives the context its first state, closing whatever it held; the entry point calls it before
// the window exists.
void appReset(UnitContext *unit);

// What start-up found.
struct StartResult {
    bool registered;           // false: the error box was shown and the window ended with 1
    ConnectionOutcome outcome; // the start-up classification's, when registered
};

// Start-up, once the front end is in the context. A window program's window first gets its icon,
// title and labels and is registered for device notifications; a failed registration shows the
// error box, closes the connection and ends the window with result 1. Then the start-up
// classification.
StartResult appInitialise(UnitContext *unit);

// The Close command (Close button, Esc, the close box): unregister, close, end the window with
// result 2. Ignored while the update runs. A front end without windows closes its unit with it.
void appClose(UnitContext *unit);

// The Update command: runs the update to its end and returns what happened (UPDATE_BUSY while
// an update of this context runs already).
UpdateResult appUpdate(UnitContext *unit);

// A device change from the platform. While the update is sending (outside its message boxes)
// the event is held and handled when the update returns (handled true for an arrival or a
// completed removal, classified false); otherwise it is handled at once.
DeviceEventResult appDeviceEvent(UnitContext *unit, const DeviceEvent *event);

// True from the Update command to the end of runUpdate: the programs take no user input then.
bool appUpdateBusy(const UnitContext *unit);
