// Prints the frames that the window program's update writes to the simulated unit, one line
// of hex per frame: start-up with a ready TALOMIR, Update, OK. The command-line test compares
// its own update with these.
#include "app/mainwindow.h"
#include "link/connection.h"
#include "cli/carried_image.h"
#include "sim/sim.h"
#include "tests/support/recording_ui.h"

#include <cstdio>
#include <string>

int main() {
    simReset();
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, L"/dev/hidraw0"));
    resetRecordingUi();
    setImage(CARRIED_IMAGE, CARRIED_IMAGE_SIZE);
    appReset(&gUnit);
    appInitialise(&gUnit);
    scriptAnswers({true});
    appUpdate(&gUnit);
    for (const std::vector<uint8_t> &frame : simSentFrames()) {
        std::string hex = simHex(frame.data(), frame.size());
        for (char &c : hex) {
            c = c == '\n' ? ' ' : c;
        }
        std::printf("%s\n", hex.c_str());
    }
    return 0;
}
