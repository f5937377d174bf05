// Benchmark of the GTK pause over a whole update against the simulated unit: prints how long the
// 20 ms pauses really took and the whole update's ratio to the time its pauses add up to.
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/update.h"
#include "link/connection.h"
#include "link/frames.h"
#include "link/pause.h"
#include "sim/sim.h"
#include "tests/support/recording_ui.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// The length of the carried image; its bytes do not change the timing.
constexpr size_t IMAGE_LENGTH = 97808;
// The pauses of the whole update: four steps, the erase's 1000 and 4000 ms, 2,038 blocks.
constexpr double MANDATED_MS = 45840.0;

std::vector<double> gStepPausesMs;
double gAllPausesMs = 0;

double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Stands in for the window's frame clock: the main loop has other work while it pauses.
gboolean frameTick(gpointer data) {
    ++*static_cast<unsigned *>(data);
    return G_SOURCE_CONTINUE;
}

double percentile(const std::vector<double> &sorted, double fraction) {
    size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

// The link and the application call pauseMs through this wrapper (linked with
// --wrap=_Z7pauseMsj), which times the GTK pause behind it.
extern "C" void __real__Z7pauseMsj(uint32_t milliseconds);
extern "C" void __wrap__Z7pauseMsj(uint32_t milliseconds) {
    Clock::time_point start = Clock::now();
    __real__Z7pauseMsj(milliseconds);
    double took = millisecondsBetween(start, Clock::now());
    gAllPausesMs += took;
    if (milliseconds == STEP_PAUSE_MS) {
        gStepPausesMs.push_back(took);
    }
}

int main() {
    std::vector<uint8_t> image(IMAGE_LENGTH, 0xFF);
    simReset();
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, L"/dev/hidraw-bench"));
    resetRecordingUi();
    setTranscriptEnabled(false);
    setImage(image.data(), image.size());
    setMessageLanguage(LANGUAGE_ENGLISH);
    appReset(&gUnit);
    classifyConnection(&gUnit, TRIGGER_STARTUP);
    if (!isUnitOpen(&gUnit.connection)) {
        std::fprintf(stderr, "bench: the simulated unit did not open\n");
        return 1;
    }
    unsigned frames = 0;
    guint frameSource = g_timeout_add(16, frameTick, &frames);
    gStepPausesMs.reserve(4096);
    scriptAnswers({true});

    Clock::time_point start = Clock::now();
    runUpdate(&gUnit);
    double totalMs = millisecondsBetween(start, Clock::now());
    g_source_remove(frameSource);

    if (uiStatusText() != catalogueText(MSG_UPDATE_SUCCEEDED, LANGUAGE_ENGLISH)) {
        std::fprintf(stderr, "bench: the update did not succeed\n");
        return 1;
    }
    std::vector<double> sorted = gStepPausesMs;
    std::sort(sorted.begin(), sorted.end());
    size_t late = static_cast<size_t>(
        std::count_if(sorted.begin(), sorted.end(), [](double ms) { return ms > 20.2; }));
    std::printf("20 ms pauses:       %zu\n", sorted.size());
    std::printf("median:             %.3f ms\n", percentile(sorted, 0.5));
    std::printf("99th percentile:    %.3f ms\n", percentile(sorted, 0.99));
    std::printf("maximum:            %.3f ms\n", sorted.back());
    std::printf("later than 20.2 ms: %zu\n", late);
    std::printf("whole update:       %.1f ms, %.4f x %.0f ms\n", totalMs, totalMs / MANDATED_MS,
                MANDATED_MS);
    std::printf("outside the pauses: %.1f ms (commands, progress)\n", totalMs - gAllPausesMs);
    std::printf("main loop ticks:    %u\n", frames);
    appReset(&gUnit);
    return 0;
}
