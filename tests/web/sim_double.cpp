// The simulated unit for the browser's HID test double (hid-double.js): one report in, the
// unit's answer out, and what the tests look at afterwards (its flash, its state).
#include "sim/sim.h"

#include "link/connection.h"
#include "link/frames.h"

#include <emscripten.h>

namespace {
// What became of a report handed to the unit.
enum DoubleAction {
    DOUBLE_REPLY = 0,     // the reply is in the buffer
    DOUBLE_SILENT = 1,    // the unit took the report and says nothing
    DOUBLE_UNPLUGGED = 2, // the unit left before it took the report
    DOUBLE_REFUSED = 3,   // the report could not be written
};

void injectAtBlock(SimFaultKind kind, uint32_t block) {
    if (block != 0) {
        simInjectFault(SimFault{kind, CMD_WRITE_BLOCK, block, 0, 0});
    }
}
} // namespace

extern "C" {

// A fresh unit: application mode, a supported ESC on firmware 2.10, no faults.
EMSCRIPTEN_KEEPALIVE void simDoubleReset() {
    simClearFaults();
    simResetUnit();
}

// mode: 0 application, 1 the unit's own bootloader. esc: 0 none, 1 supported, 2 incompatible.
EMSCRIPTEN_KEEPALIVE void simDoubleSetUnit(int bootloader, int esc, uint32_t escVersion) {
    gSimUnit.identifyState = bootloader != 0 ? 1 : 0;
    gSimUnit.escStatus = esc == 0 ? 0 : ESC_STATUS_UPDATABLE;
    if (esc == 2) {
        simSetEscType(0x0C0DE000);
    }
    simSetEscFirmwareVersion(static_cast<uint16_t>(escVersion));
}

// The unit leaves before, or says nothing to, the given block of the update (from 1); 0: never.
EMSCRIPTEN_KEEPALIVE void simDoubleFaults(uint32_t unplugAtBlock, uint32_t silentAtBlock) {
    injectAtBlock(SIM_FAULT_UNPLUGGED, unplugAtBlock);
    injectAtBlock(SIM_FAULT_NO_REPLY, silentAtBlock);
}

// One output report (report ID first) to the unit; the reply, FRAME_SIZE bytes, goes to reply.
EMSCRIPTEN_KEEPALIVE int simDoubleExchange(const uint8_t *report, size_t length, uint8_t *reply) {
    simBeginCommand(report, length);
    if (simActiveFault(SIM_FAULT_UNPLUGGED) != nullptr) {
        return DOUBLE_UNPLUGGED;
    }
    if (simActiveFault(SIM_FAULT_WRITE_FAILS) != nullptr) {
        return DOUBLE_REFUSED;
    }
    simUnitAnswer(report, length, reply);
    if (simActiveFault(SIM_FAULT_NO_REPLY) != nullptr ||
        simActiveFault(SIM_FAULT_READ_FAILS) != nullptr) {
        return DOUBLE_SILENT;
    }
    return DOUBLE_REPLY;
}

// The bytes of a report, its ID included, and of a reply.
EMSCRIPTEN_KEEPALIVE uint32_t simDoubleFrameSize() {
    return FRAME_SIZE;
}

EMSCRIPTEN_KEEPALIVE const uint8_t *simDoubleFlash() {
    return gSimUnit.flash.data();
}

EMSCRIPTEN_KEEPALIVE uint32_t simDoubleFlashSize() {
    return static_cast<uint32_t>(gSimUnit.flash.size());
}

// Bit 0: write-protected, bit 1: system lock set, bit 2: erased.
EMSCRIPTEN_KEEPALIVE uint32_t simDoubleState() {
    return (gSimUnit.writeProtected ? 1u : 0u) | (gSimUnit.systemLock ? 2u : 0u) |
           (gSimUnit.erased ? 4u : 0u);
}

EMSCRIPTEN_KEEPALIVE uint32_t simDoubleWritePointer() {
    return gSimUnit.writePointer;
}
}
