// Classification of what is connected, the status box, the version display and device changes.
#pragma once

#include <cstdint>

#include "link/connection.h"

// The one record of the open unit, owned by the application from start to exit.
extern UnitConnection gConnection;

constexpr uint32_t SUPPORTED_ESC_TYPES[] = {0x111F408C, 0x0A06408C};

enum ClassifyTrigger { TRIGGER_STARTUP, TRIGGER_ARRIVAL };

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

// Opens and identifies the unit and shows the outcome for the trigger.
void classifyConnection(ClassifyTrigger trigger);
// The outcome of the last classification (OUTCOME_NO_UNIT before the first one).
ConnectionOutcome lastConnectionOutcome();

// The portable device-change event: the Win32 program fills it from WM_DEVICECHANGE, the
// Linux program from udev.
enum DeviceEventKind { DEVICE_ARRIVAL, DEVICE_REMOVE_COMPLETE, DEVICE_OTHER };
constexpr size_t DEVICE_PATH_CAPACITY = 512;
struct DeviceEvent {
    DeviceEventKind kind;
    bool isDeviceInterface;             // the notification concerns a device interface
    wchar_t path[DEVICE_PATH_CAPACITY]; // the interface path (zero-terminated), for a removal
};

// True while the open unit is one that classified ready since it was opened: the only unit
// whose ESC was compared with SUPPORTED_ESC_TYPES, and so the only one the update may erase.
bool openUnitIsReady();
// Takes a unit that was opened by hand, without a search, as classified ready: for tests that
// drive the update over a real HID backend.
void markOpenUnitReady();

// Acts on one device change. Returns true (handled) for an arrival or a completed removal,
// false for any other event.
bool handleDeviceChange(const DeviceEvent *event);

// Sets the status box to the message, an empty line and the connection instructions.
void showNotReadyStatus(uint16_t messageId);

// Rewrites the three version fields and their labels from gConnection.
void refreshVersionDisplay();

// True when two interface paths name the same interface: whole strings, letters A to Z
// compared without case, anything else (a different length too) exactly. A null path matches
// nothing.
bool sameDevicePath(const wchar_t *a, const wchar_t *b);
