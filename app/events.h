// Device events that arrive while the update is sending wait until it can handle them.
//
// The update runs on the window's thread; while it sends it handles no window messages, so a
// device notification waits, and is delivered once the thread runs a message loop again: in
// the update's failure box, or after the update returns. A program whose notifications arrive
// some other way hands them to appDeviceEvent (mainwindow.h), which holds them here in that
// time, so that the outcome is the same as on Windows.
#pragma once

#include "app/status.h"

#include <cstddef>

// Events held at most. A full queue first drops events that can change nothing: events that
// concern no device interface, an arrival
// right after a held arrival (both find the same interfaces, after the update), a removal right
// after the same removal, and, before the first held arrival, every removal except the first of
// the open unit (no other removal can concern a unit then). If it is still full, the new event
// is dropped: that takes dozens of plug cycles during one update.
constexpr size_t HELD_EVENT_CAPACITY = 64;

// From now on arrivals and removals are held instead of handled.
void holdDeviceEvents();
// Stops holding and handles the held events in the order they came. Events that arrive while
// these are handled (inside a message box that one of them opens) are handled after them.
void releaseDeviceEvents();
// True while events are held or being released.
bool deviceEventsWaiting();
// Events held now.
size_t heldDeviceEventCount();
// Forgets every held event and stops holding, without handling anything.
void clearHeldDeviceEvents();
