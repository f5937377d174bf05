// Device events that arrive while the update is sending wait until it can handle them.
//
// The update runs on the window's thread; while it sends it handles no window messages, so a
// device notification waits, and is delivered once the thread runs a message loop again: in
// the update's failure box, or after the update returns. A program whose notifications arrive
// some other way hands them to appDeviceEvent (mainwindow.h), which holds them here in that
// time, so that the outcome is the same as on Windows.
#pragma once

#include "app/context.h"
#include "app/status.h"

#include <cstddef>

// From now on arrivals and removals are held instead of handled.
void holdDeviceEvents(UnitContext *unit);
// Stops holding and handles the held events in the order they came. Events that arrive while
// these are handled (inside a message box that one of them opens) are handled after them.
void releaseDeviceEvents(UnitContext *unit);
// True while events are held or being released.
bool deviceEventsWaiting(const UnitContext *unit);
// Events held now.
size_t heldDeviceEventCount(const UnitContext *unit);
// Forgets every held event and stops holding, without handling anything.
void clearHeldDeviceEvents(UnitContext *unit);
