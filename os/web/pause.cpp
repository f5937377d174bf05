// pauseMs in the browser: the Asyncify sleep of the worker that runs the core, then the rest of
// the wait to the millisecond.
//
// A timer of the browser fires a few tenths of a millisecond late, on every one of the update's
// two thousand pauses, which would add a second to it. So the sleep ends a little early, and the
// pause then yields to the worker's event loop (a message to itself, which no timer clamp
// delays) until its end has come. A worker's timers keep their pace while its page is hidden.
#include "link/pause.h"

#include <emscripten.h>

namespace {
// The part of a pause left to the yields: more than the timers are late, little enough that
// the worker spends no noticeable time on it.
constexpr uint32_t FINISH_MS = 2;

// clang-format off
EM_ASYNC_JS(void, webFinishPause, (double deadline), {
    // One channel for every pause: a message to itself is the shortest yield there is.
    const channel = self.quillarPause || (self.quillarPause = new MessageChannel());
    while (performance.now() < deadline) {
        await new Promise((resolve) => {
            channel.port1.onmessage = resolve;
            channel.port2.postMessage(0);
        });
    }
});
// clang-format on
} // namespace

void pauseMs(uint32_t milliseconds) {
    double deadline = emscripten_get_now() + milliseconds;
    if (milliseconds > FINISH_MS) {
        emscripten_sleep(milliseconds - FINISH_MS);
    }
    webFinishPause(deadline);
}
