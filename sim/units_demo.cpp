// The demos' simulated units: TALOMIRs in application mode with a supported ESC on firmware 2.10.
#include "link/units.h"

#include "sim/sim.h"

#include <cstdlib>
#include <string>

namespace {
// QUILLAR_DEMO_UNITS=N starts the demo with N units (1 when unset or not a number from 1 to 16).
unsigned demoUnitCount() {
    const char *wanted = std::getenv("QUILLAR_DEMO_UNITS");
    if (wanted == nullptr) {
        return 1;
    }
    char *end = nullptr;
    unsigned long count = std::strtoul(wanted, &end, 10);
    return (end != wanted && *end == '\0' && count >= 1 && count <= 16)
               ? static_cast<unsigned>(count)
               : 1;
}
} // namespace

// The first unit is the shared simulated unit, as a demo of one has it; every further one has
// an ESC and a flash of its own, so that several can be updated at once.
void prepareUnits() {
    simReset();
    simPlugDemoUnit(SIM_DEMO_UNIT_PATH);
    for (unsigned node = 1; node < demoUnitCount(); ++node) {
        simPlugOwnDemoUnit(L"/dev/hidraw" + std::to_wstring(node));
    }
}
