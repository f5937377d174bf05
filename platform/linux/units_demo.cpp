// The demo's simulated unit: a TALOMIR in application mode with a supported ESC on firmware 2.x.
#include "app/units.h"

#include "link/connection.h"
#include "sim/sim.h"

void prepareUnits() {
    simReset();
    simSetEscType(0x111F408C);
    simSetEscFirmwareVersion(0x020A);
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, L"/dev/hidraw0"));
}
