// Kernel HID devices made through /dev/uhid: the simulated unit behind a real hidraw node, and
// a device that is not a unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

constexpr uint16_t UHID_OTHER_VENDOR_ID = 0x1234;
constexpr uint16_t UHID_OTHER_PRODUCT_ID = 0x5678;

// Held while the simulated unit (gSimUnit) answers a report; a test holds it to look at the
// unit's flash or state.
extern std::mutex gUhidUnitMutex;

// How the unit's device behaves; each setting applies to the output reports that follow.
struct UhidUnitBehaviour {
    // Counted from the device's creation: on this output report the device is destroyed
    // without answering it. 0: never.
    uint32_t destroyAtReport;
    // Output reports are taken and never answered; the last one is held for uhidAnswerHeld.
    bool silent;
};

// What the unit's device has seen of the output reports since its creation.
struct UhidUnitTraffic {
    uint32_t reports;          // output reports received
    uint32_t withoutReportId;  // reports whose first byte was not the command report ID
    uint32_t wrongSize;        // reports not of the 60 bytes the descriptor declares
    uint32_t otherReportTypes; // feature or input reports asked for instead of an output report
    bool destroyed;            // the device was destroyed on a report
};

// Creates the device that is not a unit and starts the thread that serves the devices.
// Returns false with a message on stderr when /dev/uhid cannot be used.
bool uhidStart();

// Destroys whatever devices remain and stops the thread.
void uhidStop();

// Destroys the unit's device if it exists and creates a fresh one (vendor 0x3A7C, product 2,
// reports 0x01 out and 0x02 in of 59 data bytes each), answered through the simulated unit,
// with a fresh count of reports and behaviour {0, false}.
bool uhidRecreateUnit();

// The unit unplugged and plugged in again: its device is destroyed if it still exists and
// created afresh, as uhidRecreateUnit does. The unit keeps its flash and forgets its session
// (system lock off, write protection on, no erase, no address); an ESC that was erased and not
// written to its end reports no firmware version from then on.
bool uhidReplugUnit();

void uhidSetBehaviour(const UhidUnitBehaviour &behaviour);
UhidUnitTraffic uhidTraffic();

// Answers the report that a silent device took last, now: the reply lands in the hidraw queue
// as a reply that came late. Returns false when no report is held.
bool uhidAnswerHeld();
