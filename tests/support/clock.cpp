// A recording clock for tests: pauseMs records what was asked and never sleeps.
#include "tests/support/clock.h"

#include "link/pause.h"

#include <numeric>

static std::vector<uint32_t> gPauses;
static std::function<void(size_t, uint32_t)> gPauseHook;

const std::vector<uint32_t> &recordedPauses() {
    return gPauses;
}

uint64_t recordedPauseTotal() {
    return std::accumulate(gPauses.begin(), gPauses.end(), uint64_t{0});
}

void resetRecordedPauses() {
    gPauses.clear();
    gPauseHook = nullptr;
}

void setPauseHook(std::function<void(size_t index, uint32_t milliseconds)> hook) {
    gPauseHook = std::move(hook);
}

void pauseMs(uint32_t milliseconds) {
    gPauses.push_back(milliseconds);
    if (gPauseHook) {
        gPauseHook(gPauses.size() - 1, milliseconds);
    }
}
