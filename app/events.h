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

// Events held at most. A full queue first drops events that cannot change how their release
// ends: events that concern no device interface; every arrival but the last (all of them are
// handled against the interfaces present at release, so they open the same unit); before the
// last arrival, every removal but the first of the unit open now; after it, a removal of an
// interface already removed after it. If it is still full, the newest event is dropped: that
// takes dozens of different interfaces removed after the last arrival.
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
