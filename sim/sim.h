// The simulated programming unit, the ESC behind it, and the HID interfaces of a simulated PC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- The unit and its ESC (sim/unit.cpp): turns one command frame into one reply frame. ----

constexpr uint32_t SIM_FLASH_SIZE = 128 * 1024;

// Unit error codes of the simulated unit's refusals (a reply with status 0xFF).
constexpr uint32_t SIM_ERROR_BAD_FRAME = 0x0101;  // bytes differ from the command table
constexpr uint32_t SIM_ERROR_NOT_LOCKED = 0x0102; // ESC command without the system lock
constexpr uint32_t SIM_ERROR_PROTECTED = 0x0103;  // erase or write while write-protected
constexpr uint32_t SIM_ERROR_NOT_ERASED = 0x0104; // set-address or write before the erase
constexpr uint32_t SIM_ERROR_NO_ADDRESS = 0x0105; // write before set-address
constexpr uint32_t SIM_ERROR_FLASH_FULL = 0x0106; // write past the end of the flash
constexpr uint32_t SIM_ERROR_UNKNOWN_COMMAND = 0x0107;
constexpr uint32_t SIM_ERROR_NO_ESC = 0x0108; // ESC command while no updatable ESC

struct SimUnit {
    // Identify: state 0 is application mode, anything else the unit's bootloader.
    uint8_t identifyState;
    uint16_t escStatus; // 3: an updatable ESC is attached
    uint16_t statusAux;
    uint32_t unitFirmwareVersion;
    uint32_t unitAuxInfo;
    uint8_t bootIdentity[12];  // identify reply bytes 4-15 in bootloader mode
    uint8_t memory[12];        // the 12 bytes at UNIT_INFO_ADDRESS
    uint8_t escInfo[32];       // bytes 4-5: ESC firmware version
    uint8_t escBootInfo[40];   // bytes 0-3: ESC type, 4-7: ESC bootloader version
    uint16_t escInfoError;     // nonzero: the ESC info read answers this error code
    uint16_t escBootInfoError; // nonzero: the ESC boot info read answers this error code

    // Live state, changed by the commands.
    bool systemLock;
    bool writeProtected;
    bool erased;
    bool addressSet;
    uint32_t writePointer;
    // The firmware version the ESC reports once a write session that wrote blocks has ended
    // (the carried image's, 3.0 unless a build says otherwise).
    uint16_t writtenFirmwareVersion;
    std::vector<uint8_t> flash; // SIM_FLASH_SIZE bytes
};

// The one simulated unit.
extern SimUnit gSimUnit;

// A ready TALOMIR-style unit in application mode with an updatable, supported ESC
// (type 0x111F408C, firmware 2.10, bootloader 1.2), locked off, write-protected, flash holding
// an old firmware pattern (not 0xFF).
void simResetUnit();
// The same for another unit than gSimUnit, such as one of simAddOwnUnitInterface's.
void simResetUnitState(SimUnit *unit);

// Sets the ESC type and firmware version in the ESC blocks.
void simSetEscType(uint32_t typeId);
void simSetEscFirmwareVersion(uint16_t version);
void simSetEscBootloaderVersion(uint32_t version);

// Processes one output report (report ID first) of the given length and fills reply (60 bytes,
// report ID 0x02 first). Every command gets one reply. Refusals are error replies with the codes
// above (a u32 code; the ESC reads put a u16 code in bytes 4-5 and filler in 6-7). The unit
// checks the bytes the command table sets (bytes past length count as missing) and ignores the
// rest; then, for the ESC commands, an updatable ESC, the system lock, the write protection and
// the order erase, set-address, blocks. Its own bootloader knows only identify and read-memory.
// Setting the write protection ends a write session: blocks need a new erase. Faults injected
// with simInjectFault of kind SIM_FAULT_ERROR_REPLY (the command is not carried out),
// SIM_FAULT_STATE and SIM_FAULT_STATUS (applied to the unit's own answer) are applied here.
void simUnitHandle(const uint8_t *report, size_t length, uint8_t *reply);

// simUnitHandle in two steps, for a HID backend that applies the write and read faults itself:
// simBeginCommand counts the command against the injected faults and picks those that apply to
// it; simActiveFault returns one of them by kind (nullptr if none); simUnitAnswer then answers
// the command as simUnitHandle does, without counting it again.
void simBeginCommand(const uint8_t *report, size_t length);
void simUnitAnswer(const uint8_t *report, size_t length, uint8_t *reply);
// simUnitAnswer by another unit than gSimUnit. Not reentrant: the HID backend serialises it.
void simUnitAnswerFor(SimUnit *unit, const uint8_t *report, size_t length, uint8_t *reply);

// ---- Fault injection: each fault counts the commands it matches, from 1, from its injection ----

enum SimFaultKind {
    SIM_FAULT_WRITE_FAILS, // the output report cannot be written
    SIM_FAULT_READ_FAILS,  // the write succeeds, the read fails at once
    SIM_FAULT_NO_REPLY,    // the write succeeds, no reply ever comes (read times out)
    SIM_FAULT_ERROR_REPLY, // the unit answers status 0xFF with value as the u32 error code
    SIM_FAULT_STATE,       // the unit's reply carries value as its state byte
    SIM_FAULT_STATUS,      // the unit's reply carries value as its status byte
    SIM_FAULT_UNPLUGGED,   // the unit leaves before this command; every later operation fails
};

struct SimFault {
    SimFaultKind kind;
    int command;          // command code it applies to, or -1 for any command
    uint32_t nth;         // 0: every matching command; N: only the Nth matching one (from 1)
    uint32_t value;       // error code, state or status, as the kind says
    uint32_t systemError; // what hidLastError returns after an injected write/read failure
};

void simInjectFault(const SimFault &fault);
void simClearFaults();
const SimFault *simActiveFault(SimFaultKind kind);

// System error codes that the simulated HID backend reports when a fault gives none.
constexpr uint32_t SIM_SYSTEM_ERROR_NOT_CONNECTED = 1167; // write/read failed, device gone
constexpr uint32_t SIM_SYSTEM_ERROR_TIMEOUT = 121;        // no reply within the read's limit
constexpr uint32_t SIM_SYSTEM_ERROR_SHARING = 32;         // held open without sharing
constexpr uint32_t SIM_SYSTEM_ERROR_NOT_FOUND = 2;        // path not present
constexpr uint32_t SIM_SYSTEM_ERROR_INVALID_HANDLE = 6;   // handle not open
constexpr uint32_t SIM_SYSTEM_ERROR_PARAMETER = 87;       // report longer than the device's
constexpr uint32_t SIM_SYSTEM_ERROR_NO_DATA = 13;         // detail, attributes or lengths

// ---- The simulated PC's HID interfaces (sim/hid_sim.cpp, the HID backend over the unit) ----
// Safe to call from several threads at once; the hidLastError of each thread is its own.
// The simulated backend takes no hold of its own: a program over it (a demo, a test) is never
// kept out by another, and keeps none out.

struct SimInterface {
    std::wstring path;
    uint16_t vendorId;
    uint16_t productId;
    uint32_t inputLength; // report lengths, report ID included
    uint32_t outputLength;
    bool isUnit;          // frames written to it go to the simulated unit
    bool heldExclusively; // another program holds it without sharing: open fails
    bool heldByOurs;      // another of our programs holds it: open fails with HID_ERROR_IN_USE
    bool sizeFails;       // the size of its detail cannot be learned
    bool detailFails;     // its detail (path) cannot be read
    bool attributesFail;  // its vendor and product ID cannot be read
    bool lengthsFail;     // its report lengths cannot be read
    SimUnit *unit;        // the unit that answers a unit interface; null: gSimUnit
};

// The unit's default interface: vendor 0x3A7C, the given product, 60/60, answered by gSimUnit.
SimInterface simUnitInterface(uint16_t productId, const std::wstring &path);
// Another HID device that is not a unit.
SimInterface simOtherInterface(uint16_t vendorId, uint16_t productId, const std::wstring &path);

// Clears interfaces, faults, the log, open handles and the error code; resets the unit.
void simReset();
// The list of interfaces present; simSetListFails(true) makes hidOpenList fail.
void simAddInterface(const SimInterface &device);
void simRemoveInterface(const std::wstring &path); // unplugged: its open handles fail from now on
void simSetListFails(bool fails);

// One line of the frame log: what crossed the HID seam, in order.
enum SimDirection { SIM_TO_UNIT, SIM_FROM_UNIT };
struct SimLogEntry {
    SimDirection direction;
    std::vector<uint8_t> bytes; // exactly the bytes written or delivered
    bool failed;                // a write that failed: the unit never saw it
};
const std::vector<SimLogEntry> &simLog();
void simClearLog();
// The command frames written to the unit, in order (report ID first); failed writes are left out.
std::vector<std::vector<uint8_t>> simSentFrames();
// The reply frames delivered by reads, in order, as many bytes as each read delivered.
std::vector<std::vector<uint8_t>> simDeliveredReplies();

// Handles that are open now (a test checks that nothing leaks), and every path opened so far.
size_t simOpenHandleCount();
const std::vector<std::wstring> &simOpenedPaths();
// Interface lists not yet released, and calls made with a handle that is not open (closed
// already, or never opened): both stay 0 in a sound program.
size_t simOpenListCount();
size_t simBadHandleUses();
// The most handles that were open at the same time since the reset.
size_t simPeakOpenHandleCount();
// Time limits that reads were given, and reads that ran out of it.
uint32_t simLastReadTimeout();
uint32_t simTimedOutReads();

// Hex dump of bytes, for test failure messages.
std::string simHex(const uint8_t *bytes, size_t length);

// ---- The demos' unit ----

// Where the demos' first unit is plugged in.
constexpr wchar_t SIM_DEMO_UNIT_PATH[] = L"/dev/hidraw0";
// Plugs in a fresh unit as simResetUnit leaves it (a TALOMIR with a supported ESC on firmware
// 2.10) at path (sim/hid_sim.cpp). The demos' prepareUnits (sim/units_demo.cpp) plugs one in at
// SIM_DEMO_UNIT_PATH.
void simPlugDemoUnit(const std::wstring &path);
// Plugs in a unit of its own (not gSimUnit, fresh as simResetUnit leaves one) at path, for the
// demos that update several units at once. It lives until simReset.
SimUnit *simPlugOwnDemoUnit(const std::wstring &path);
// The paths of the unit interfaces present, in the order they were plugged in.
std::vector<std::wstring> simUnitPaths();
// What the demos' bench sees of the unit at path: whether a handle is open on it, whether its
// ESC holds a finished write (the write protection set again after blocks), and whether it has
// a unit of its own.
bool simPathOpen(const std::wstring &path);
bool simUnitWritten(const std::wstring &path);
bool simUnitIsOwn(const std::wstring &path);
