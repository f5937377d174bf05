// Classification of what is connected, the status box, the version display and device changes.
#pragma once

#include <cstdint>

#include "app/context.h"
#include "app/device_event.h"
#include "link/connection.h"

constexpr uint32_t SUPPORTED_ESC_TYPES[] = {0x111F408C, 0x0A06408C};

enum ClassifyTrigger { TRIGGER_STARTUP, TRIGGER_ARRIVAL };

// Opens and identifies the unit and shows the outcome for the trigger. Returns the outcome.
ConnectionOutcome classifyConnection(UnitContext *unit, ClassifyTrigger trigger);
// The outcome of the last classification (OUTCOME_NO_UNIT before the first one).
ConnectionOutcome lastConnectionOutcome(const UnitContext *unit);

// True while the open unit is one that classified ready since it was opened: the only unit
// whose ESC was compared with SUPPORTED_ESC_TYPES, and so the only one the update may erase.
bool openUnitIsReady(const UnitContext *unit);
// Takes a unit that was opened by hand, without a search, as classified ready: for tests that
// drive the update over a real HID backend.
void markOpenUnitReady(UnitContext *unit);

// What a device change did.
struct DeviceEventResult {
    bool handled;              // an arrival or a completed removal
    bool classified;           // an arrival found no unit open and classified anew
    ConnectionOutcome outcome; // that classification's outcome, when classified
};

// Acts on one device change: an arrival classifies while no unit is open, a completed removal
// of the open unit closes it.
DeviceEventResult handleDeviceChange(UnitContext *unit, const DeviceEvent *event);

// Shows the message, an empty line and the connection instructions as the status.
void showNotReadyStatus(const UnitContext *unit, uint16_t messageId);

// Shows the three versions and the unit's label from the context's connection.
void refreshVersionDisplay(const UnitContext *unit);

// The version group's texts as refreshVersionDisplay shows them.
void versionTexts(const UnitContext *unit, VersionTexts *texts);

// The status message of an outcome: MSG_READY, or the not-ready message that
// showNotReadyStatus puts above the connection instructions.
uint16_t outcomeMessage(ConnectionOutcome outcome);
