// What Ctrl-C and SIGTERM do, the same on every platform; the platform's handler acts on it.
// Lock-free atomics only: a signal handler reads and writes them.
#include "cli/terminal.h"

#include <atomic>

namespace {
enum Noticed : int { NOTICED_NONE, NOTICED_IDLE, NOTICED_SENDING };

std::atomic<int> gMode{INTERRUPT_EXIT};
// Units sending now: each bench thread counts its own update in and out.
std::atomic<int> gSending{0};
std::atomic<int> gNoticed{NOTICED_NONE};
std::atomic<bool> gHeldSaid{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the handler of a signal may use these");
} // namespace

void interruptSetMode(InterruptMode mode) {
    if (mode == INTERRUPT_NOTICE && gMode != INTERRUPT_NOTICE) {
        gNoticed = NOTICED_NONE;
    }
    gMode = mode;
}

InterruptMode interruptMode() {
    return static_cast<InterruptMode>(gMode.load());
}

void interruptSending(bool on) {
    // Each update says once that it goes on: the first unit to send starts afresh.
    if (on && gSending++ == 0) {
        gHeldSaid = false;
    } else if (!on) {
        --gSending;
    }
}

InterruptAction interruptArrived() {
    bool sending = gSending > 0;
    if (gMode == INTERRUPT_NOTICE) {
        if (sending) {
            gNoticed = NOTICED_SENDING;
            return INTERRUPT_SAY_FINISHING;
        }
        int none = NOTICED_NONE;
        gNoticed.compare_exchange_strong(none, NOTICED_IDLE);
        return INTERRUPT_TAKEN;
    }
    if (sending) {
        return gHeldSaid.exchange(true) ? INTERRUPT_TAKEN : INTERRUPT_SAY_HELD;
    }
    return gMode == INTERRUPT_EXIT_LINE ? INTERRUPT_END_LINE : INTERRUPT_END;
}

bool interruptNoticed() {
    return gNoticed != NOTICED_NONE;
}

bool interruptCameWhileSending() {
    return gNoticed == NOTICED_SENDING;
}
