// The portable side of the main window: start-up, the commands, device events and close.
#pragma once

#include "app/status.h"

// Window results.
constexpr int WINDOW_RESULT_REGISTRATION_FAILED = 1;
constexpr int WINDOW_RESULT_CLOSED = 2;

// Clears the one connection record; the entry point calls it before the window exists.
void appReset();

// The window's initialisation after the platform has stored its main window: icon, title,
// labels, registration for device notifications, then the start-up classification. A failed
// registration shows the error box, closes the connection and ends the window with result 1.
void appInitialise();

// The Close command (Close button, Esc, the close box): unregister, close, end with result 2.
// Ignored while the update runs.
void appClose();

// The Update command: runs the update to its end.
void appUpdate();

// A device change from the platform. While the update is sending (outside its message boxes)
// the event is held and handled when the update returns; otherwise it is handled at once.
// Returns what handleDeviceChange reports, or, for a held event, whether it will be handled
// (true for an arrival or a completed removal).
bool appDeviceEvent(const DeviceEvent *event);

// True from the Update command to the end of runUpdate: the programs take no user input then.
bool appUpdateBusy();
