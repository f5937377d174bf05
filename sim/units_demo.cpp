// The demos' simulated unit: a TALOMIR in application mode with a supported ESC on firmware 2.10.
#include "app/units.h"

#include "sim/sim.h"

void prepareUnits() {
    simReset();
    simPlugDemoUnit(SIM_DEMO_UNIT_PATH);
}
