// The simulator build (never shipped): a TALOMIR with a supported ESC on firmware 2.x is
// plugged in from the start, and QUILLAR_SIM_FAULT may make the unit fail one command.
#include "link/units.h"

#include "win32/devices_sim.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "link/connection.h"
#include "link/frames.h"
#include "sim/sim.h"

namespace {

struct NamedFault {
    const char *name;
    SimFault fault;
};

// The faults the end-to-end tests ask for, by the name given in QUILLAR_SIM_FAULT.
const NamedFault FAULTS[] = {
    {"erase-error-16", {SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 1, 16, 0}},
    {"write-block-read-fails", {SIM_FAULT_READ_FAILS, CMD_WRITE_BLOCK, 100, 0, 31}},
};

} // namespace

void prepareUnits() {
    simReset();
    simPlugDemoUnit(SIM_UNIT_PATH);
    const char *wanted = std::getenv("QUILLAR_SIM_FAULT");
    if (wanted == nullptr || wanted[0] == '\0') {
        return;
    }
    for (const NamedFault &entry : FAULTS) {
        if (std::strcmp(entry.name, wanted) == 0) {
            simInjectFault(entry.fault);
            return;
        }
    }
    // A misspelt fault would silently test the good path: refuse to start instead, with an
    // exit code that the driver reports.
    ExitProcess(3);
}
