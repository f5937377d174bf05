// The page's front end of its one unit: what the core tells and asks goes to the page.
#pragma once

#include "app/context.h"
#include "web/bridge.h"

// Gives the context the page's front end (title, labels, status, versions, the Update button,
// the boxes, the progress), for the whole life of the worker.
void webAttachFrontEnd(UnitContext *unit);

// Start-up: the window's texts and the first classification, under the units' lock (waiting
// while another tab updates).
void webStartUp(UnitContext *unit);

// The Update button: the whole update under the units' lock, then its record in the log. Another
// tab's update holds the lock: the page says so and nothing is done.
void webUpdate(UnitContext *unit);

// A unit that arrived (or was granted to the page) or left, under the units' lock.
void webDeviceEvent(UnitContext *unit, const InboxItem *item);
