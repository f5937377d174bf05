// Serves the simulated unit behind a real hidraw node while the command-line program updates
// it in the guest, then compares the unit's flash with the image the program carries.
//
// Usage: uhid_unit_server NAME IMAGE READY_FILE
// Creates the devices, writes READY_FILE once the unit's hidraw node exists, serves until
// SIGUSR1 or SIGTERM, then prints "PASS NAME ..." or "FAIL NAME ...".
#include "tests/kernel/uhid_unit.h"

#include "link/pause.h"
#include "sim/sim.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
// The other device and the unit: two hidraw nodes.
bool unitNodeExists() {
    int nodes = 0;
    for (int i = 0; i < 16; ++i) {
        struct stat info = {};
        std::string node = "/dev/hidraw" + std::to_string(i);
        nodes += stat(node.c_str(), &info) == 0 ? 1 : 0;
    }
    return nodes >= 2;
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
} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: uhid_unit_server NAME IMAGE READY_FILE\n");
        return 2;
    }
    const char *name = argv[1];
    std::ifstream file(argv[2], std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    // Blocked before the serving thread starts, so that only sigwait takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGUSR1);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    if (image.empty() || !uhidStart() || !uhidRecreateUnit()) {
        std::printf("FAIL %s: no image or no uhid unit\n", name);
        return 1;
    }
    waitForUnitNode();
    std::ofstream(argv[3]) << "ready\n";
    int received = 0;
    sigwait(&stop, &received);

    bool passed = false;
    {
        std::lock_guard<std::mutex> lock(gUhidUnitMutex);
        size_t same = firstDifference(image);
        passed = same == image.size() && gSimUnit.writePointer == image.size();
        std::printf("%s %s: %zu of %zu image bytes in the flash, %u bytes written\n",
                    passed ? "PASS" : "FAIL", name, same, image.size(), gSimUnit.writePointer);
    }
    uhidStop();
    return passed ? 0 : 1;
}
