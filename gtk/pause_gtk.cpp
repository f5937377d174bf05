// pauseMs for the GTK programs: waits at least the time asked while the windows keep drawing.
#include "link/pause.h"

#include <glib-unix.h>
#include <glib.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// The kernel may defer a wake-up by the thread's timer slack (50 µs by default) to batch it
// with others; during a pause the slack is cut to this, so that the main loop's own waits end
// on time too.
constexpr unsigned long PAUSE_TIMER_SLACK_NS = 1000;

// The timer is armed this much before the deadline, and the rest is waited out on the clock: a
// wake-up comes some tens of microseconds late on a busy or virtual machine, which over the
// 2,042 pauses of an update would add up to a tenth of a second and more. The main loop is
// held for at most this long, at a cost of at most half a per cent of one processor.
constexpr long EARLY_WAKE_NS = 100000;

constexpr long NS_PER_SECOND = 1000000000L;

gboolean pauseElapsed(gpointer data) {
    *static_cast<bool *>(data) = true;
    return G_SOURCE_REMOVE;
}

gboolean timerFired(gint fd, GIOCondition, gpointer data) {
    uint64_t expirations = 0;
    // Drains the timer so that it no longer polls readable.
    ssize_t got;
    do {
        got = read(fd, &expirations, sizeof expirations);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && errno == EAGAIN) {
        return G_SOURCE_CONTINUE; // a wake-up without an expiry: the deadline is still ahead
    }
    return pauseElapsed(data);
}

void runUntil(const bool *elapsed) {
    while (!*elapsed) {
        g_main_context_iteration(nullptr, TRUE);
    }
}

// The main loop's own timeouts count in whole milliseconds and wake late by up to one; this is
// the fallback when no timer descriptor can be had.
void pauseWithTimeouts(gint64 deadline) {
    for (;;) {
        const gint64 now = g_get_monotonic_time();
        if (now >= deadline) {
            return;
        }
        bool elapsed = false;
        const guint remainingMs = static_cast<guint>((deadline - now + 999) / 1000);
        GSource *timer = g_timeout_source_new(remainingMs);
        g_source_set_callback(timer, pauseElapsed, &elapsed, nullptr);
        g_source_attach(timer, nullptr);
        runUntil(&elapsed);
        g_source_destroy(timer);
        g_source_unref(timer);
    }
}

bool before(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

struct timespec addNanoseconds(struct timespec start, long nanoseconds) {
    start.tv_nsec += nanoseconds;
    while (start.tv_nsec >= NS_PER_SECOND) {
        start.tv_sec += 1;
        start.tv_nsec -= NS_PER_SECOND;
    }
    while (start.tv_nsec < 0) {
        start.tv_sec -= 1;
        start.tv_nsec += NS_PER_SECOND;
    }
    return start;
}

// A timer descriptor armed at an absolute time wakes the main loop's poll within microseconds
// of it, where the loop's millisecond timeouts would overshoot. Returns false when the timer
// cannot be set up; nothing has been waited then.
bool pauseWithTimer(const struct timespec &deadline) {
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct itimerspec arm = {};
    // A time already past fires at once.
    arm.it_value = addNanoseconds(deadline, -EARLY_WAKE_NS);
    if (timerfd_settime(fd, TFD_TIMER_ABSTIME, &arm, nullptr) < 0) {
        close(fd);
        return false;
    }
    bool elapsed = false;
    GSource *timer = g_unix_fd_source_new(fd, G_IO_IN);
    g_source_set_callback(timer, G_SOURCE_FUNC(timerFired), &elapsed, nullptr);
    g_source_attach(timer, nullptr);
    runUntil(&elapsed);
    g_source_destroy(timer);
    g_source_unref(timer);
    close(fd);
    struct timespec now = {};
    do {
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while (before(now, deadline));
    return true;
}

} // namespace

// The main context keeps running, so the windows are drawn and device events arrive (the
// application holds those that come during the update); user input to our windows is dropped
// by the window's event filter while the update runs.
void pauseMs(uint32_t milliseconds) {
    if (milliseconds == 0) {
        return;
    }
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    now.tv_sec += static_cast<time_t>(milliseconds / 1000);
    const struct timespec deadline =
        addNanoseconds(now, static_cast<long>(milliseconds % 1000) * 1000000L);

    // Restored afterwards: outside the pauses the program keeps the system's batching. A pause
    // nested in a callback of another restores the value that the outer one set.
    const int previousSlack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    prctl(PR_SET_TIMERSLACK, PAUSE_TIMER_SLACK_NS, 0, 0, 0);
    if (!pauseWithTimer(deadline)) {
        // g_get_monotonic_time reads the same clock, in microseconds.
        pauseWithTimeouts(gint64{deadline.tv_sec} * G_USEC_PER_SEC + deadline.tv_nsec / 1000 +
                          (deadline.tv_nsec % 1000 != 0 ? 1 : 0));
    }
    if (previousSlack > 0) {
        prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previousSlack), 0, 0, 0);
    }
}
