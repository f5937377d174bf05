// A recording clock for tests: pauseMs records what was asked and never sleeps.
#include "tests/support/clock.h"

#include "link/pause.h"

#include <mutex>
#include <numeric>

static std::vector<uint32_t> gPauses;
static std::function<void(size_t, uint32_t)> gPauseHook;
// Units updated at once pause from threads of their own.
static std::recursive_mutex gClockLock;

const std::vector<uint32_t> &recordedPauses() {
    return gPauses;
}

uint64_t recordedPauseTotal() {
    std::lock_guard<std::recursive_mutex> locked(gClockLock);
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
    std::lock_guard<std::recursive_mutex> locked(gClockLock);
    gPauses.push_back(milliseconds);
    if (gPauseHook) {
        gPauseHook(gPauses.size() - 1, milliseconds);
    }
}
