// pauseMs for the command-line program on Linux: sleeps to an absolute deadline.
#include "link/pause.h"

#include <cerrno>
#include <ctime>

// An absolute deadline on the monotonic clock: a signal that wakes the sleep early (Ctrl-C held
// during the update) does not shorten the pause, nor does a change of the wall clock.
void pauseMs(uint32_t milliseconds) {
    struct timespec deadline = {};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}
