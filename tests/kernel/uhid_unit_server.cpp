// Serves the simulated unit behind a real hidraw node while the command-line program updates
// it in the guest, then compares the unit's flash with the image the program carries.
//
// Usage: uhid_unit_server NAME IMAGE READY_FILE [CUT_AT]
// Creates the devices, writes READY_FILE once the unit's hidraw node exists, serves until
// SIGUSR1 or SIGTERM, then prints "PASS NAME ..." or "FAIL NAME ...". With CUT_AT, the unit is
// unplugged on its CUT_AT-th output report, which it does not answer, and plugged in again with
// its flash a moment later (uhidReplugUnit); READY_FILE.again is written once it is back. The
// run passes only when that cut fell among the blocks.
#include "tests/kernel/uhid_unit.h"

#include "link/pause.h"
#include "sim/sim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
int hidrawNodes() {
    int nodes = 0;
    for (int i = 0; i < 16; ++i) {
        struct stat info = {};
        std::string node = "/dev/hidraw" + std::to_string(i);
        nodes += stat(node.c_str(), &info) == 0 ? 1 : 0;
    }
    return nodes;
}

// The nodes of other servers' devices, there before this one made its own.
int gNodesBefore = 0;

// This server's other device and unit: two hidraw nodes more.
bool unitNodeExists() {
    return hidrawNodes() >= gNodesBefore + 2;
}

void waitForUnitNode() {
    for (int tries = 0; tries < 100 && !unitNodeExists(); ++tries) {
        pauseMs(50);
    }
}

// The first difference between flash and image, or the image's size when they agree.
size_t firstDifference(const std::vector<uint8_t> &image) {
    for (size_t i = 0; i < image.size(); ++i) {
        if (i >= gSimUnit.flash.size() || gSimUnit.flash[i] != image[i]) {
            return i;
        }
    }
    return image.size();
}

uint32_t writePointer() {
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    return gSimUnit.writePointer;
}
} // namespace

int main(int argc, char **argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: uhid_unit_server NAME IMAGE READY_FILE [CUT_AT]\n");
        return 2;
    }
    const char *name = argv[1];
    std::string ready = argv[3];
    uint32_t cutAt = argc == 5 ? static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 0;
    std::ifstream file(argv[2], std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    // Blocked before the serving thread starts, so that only sigwait takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGUSR1);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    gNodesBefore = hidrawNodes();
    if (image.empty() || !uhidStart() || !uhidRecreateUnit()) {
        std::printf("FAIL %s: no image or no uhid unit\n", name);
        return 1;
    }
    uhidSetBehaviour({cutAt, false});
    waitForUnitNode();
    std::ofstream(ready) << "ready\n";

    // Where the blocks were cut off: 0 while they were not.
    uint32_t cutAfter = 0;
    bool replugged = cutAt == 0;
    for (;;) {
        const timespec poll = {0, 50 * 1000 * 1000};
        if (sigtimedwait(&stop, nullptr, &poll) >= 0) {
            break;
        }
        if (!replugged && uhidTraffic().destroyed) {
            cutAfter = writePointer();
            pauseMs(500);
            replugged = true;
            if (!uhidReplugUnit()) {
                std::printf("FAIL %s: the unit cannot be plugged in again\n", name);
                uhidStop();
                return 1;
            }
            waitForUnitNode();
            std::ofstream(ready + ".again") << "ready\n";
        }
    }

    bool passed = false;
    {
        std::lock_guard<std::mutex> lock(gUhidUnitMutex);
        size_t same = firstDifference(image);
        bool cutAmongBlocks = cutAt == 0 || (cutAfter > 0 && cutAfter < image.size());
        passed = same == image.size() && gSimUnit.writePointer == image.size() && cutAmongBlocks;
        std::printf("%s %s: %zu of %zu image bytes in the flash, %u bytes written",
                    passed ? "PASS" : "FAIL", name, same, image.size(), gSimUnit.writePointer);
        if (cutAt != 0) {
            std::printf(", the first update cut off after %u bytes", cutAfter);
        }
        std::printf("\n");
    }
    uhidStop();
    return passed ? 0 : 1;
}
