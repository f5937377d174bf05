// Discovery of the programming unit and the one record of the open unit.
#pragma once

#include "link/hid.h"

#include <cstdint>

constexpr uint16_t UNIT_VENDOR_ID = 0x3A7C;
constexpr uint16_t PRODUCT_ID_MERIVAN = 1;
constexpr uint16_t PRODUCT_ID_TALOMIR = 2;

// escStatus of an ESC that can be updated; the two ESC blocks are read only for it.
constexpr uint16_t ESC_STATUS_UPDATABLE = 3;
// The ESC firmware version (escFirmwareVersion) of an ESC that holds no firmware.
constexpr uint16_t NO_FIRMWARE_VERSION = 0xFFFF;

constexpr uint32_t ESC_INFO_BLOCK_SIZE = 32;
constexpr uint32_t ESC_BOOT_INFO_BLOCK_SIZE = 40;

// Everything known about the open programming unit. Cleared (as a new record is): handle
// invalid, devicePath null, every other field 0.
struct UnitConnection {
    HidHandle handle = HID_INVALID_HANDLE;
    wchar_t *devicePath = nullptr; // owned copy of the interface path, or null
    uint32_t outputReportLength = 0;
    uint32_t inputReportLength = 0;
    uint8_t unitInBootloader = 0;
    uint32_t unitFirmwareVersion = 0;
    uint32_t unitAuxInfo = 0;
    uint16_t escStatus = 0;
    uint16_t statusAux = 0;
    uint8_t bootIdent1 = 0;
    uint16_t bootIdent2 = 0;
    uint32_t bootIdent3 = 0;
    uint32_t bootIdent4 = 0;
    uint8_t bootIdent5 = 0;
    uint8_t escInfo[ESC_INFO_BLOCK_SIZE] = {};
    uint8_t escBootInfo[ESC_BOOT_INFO_BLOCK_SIZE] = {};
    uint16_t productId = 0;
};

// Fields held inside the two ESC blocks, little-endian as received.
uint16_t escFirmwareVersion(const UnitConnection *connection);
void setEscFirmwareVersion(UnitConnection *connection, uint16_t version);
uint32_t escTypeId(const UnitConnection *connection);
uint32_t escBootloaderVersion(const UnitConnection *connection);

// True when a unit is open (handle valid).
bool isUnitOpen(const UnitConnection *connection);

// A record that was never opened: handle invalid, everything else 0.
constexpr UnitConnection CLEARED_CONNECTION = {};

// Closes the device if open, frees the path and clears the record. Cannot fail; on a cleared
// record it only clears it again.
void closeConnection(UnitConnection *connection);

// Closes whatever is open, opens the first HID interface with vendor UNIT_VENDOR_ID and
// product 1 or 2, reads its report lengths and identifies it. Interfaces that cannot be opened
// are passed over; so is one that another of our programs holds (hidOpenPath fails with
// HID_ERROR_IN_USE), which is counted. Returns LINK_NOT_OPEN when no list of interfaces can be
// had or the report lengths are unreadable or unusable (reportLengthsUsable); when no interface
// matches (record cleared), LINK_UNIT_IN_USE if one or more were passed over as held by another
// of our programs, LINK_NO_DEVICE otherwise; else the result of identifyUnit. A held interface
// counts whatever device it is, since it cannot be opened to tell: our programs hold nothing but
// a unit for longer than the search's glance at each interface. After a failure past the search
// the unit stays open.
int32_t openUnit(UnitConnection *connection);

// True when two interface paths name the same interface: whole strings, letters A to Z
// compared without case, anything else (a different length too) exactly. A null path matches
// nothing.
bool sameDevicePath(const wchar_t *a, const wchar_t *b);

// openUnit for the one interface at path only (letters A to Z compared without case): the same
// results, LINK_NO_DEVICE when no unit is there.
int32_t openUnitAt(UnitConnection *connection, const wchar_t *path);
