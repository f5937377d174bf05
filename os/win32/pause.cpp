// pauseMs for the Windows programs: a precise wait that keeps the windows painted and answers
// sent messages, but takes no input.
#include "os/win32/pause.h"

#include "link/pause.h"

#include <windows.h>

#include <mmsystem.h>

// Windows 10 1803 and later; older systems and Wine refuse the flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// Paint and sent messages only: a click or key press during a pause (during an update, say)
// stays queued and is handled once the work that paused has finished.
static void dispatchPaintAndSent() {
    MSG message;
    // Peeking delivers every pending sent message to its window procedure.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    // Bounded, in case a window procedure leaves its region invalid.
    for (int count = 0; count < 16; ++count) {
        if (!PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT)) {
            break;
        }
        DispatchMessageW(&message);
    }
}

// Windows takes a window whose thread has not looked at its queue for five seconds for hung
// and ghosts it; the erase waits four seconds after a one-second wait.
constexpr DWORD PEEK_INTERVAL_MS = 500;

static LONGLONG counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void win32Pause(uint32_t milliseconds, bool highResolutionTimer) {
    if (milliseconds == 0) {
        return;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    // Rounded up, so that the wait is never shorter than asked; in two steps, so that a long
    // pause cannot overflow on a counter that runs at the processor's clock.
    LONGLONG ticks = static_cast<LONGLONG>(milliseconds / 1000) * frequency.QuadPart +
                     (static_cast<LONGLONG>(milliseconds % 1000) * frequency.QuadPart + 999) / 1000;
    LONGLONG deadline = counterNow() + ticks;

    bool coarse = false;
    HANDLE timer = nullptr;
    if (highResolutionTimer) {
        timer = CreateWaitableTimerExW(nullptr, nullptr,
                                       CREATE_WAITABLE_TIMER_MANUAL_RESET |
                                           CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                       TIMER_ALL_ACCESS);
    }
    if (timer == nullptr) {
        // A normal timer fires on the system tick; one millisecond ticks make it precise.
        coarse = timeBeginPeriod(1) == TIMERR_NOERROR;
        timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET,
                                       TIMER_ALL_ACCESS);
    }

    for (;;) {
        LONGLONG left = deadline - counterNow();
        if (left <= 0) {
            break;
        }
        // Rounded up, and in two steps like the deadline.
        LONGLONG leftMicro = left / frequency.QuadPart * 1000000 +
                             (left % frequency.QuadPart) * 1000000 / frequency.QuadPart + 1;
        LONGLONG leftMs = (leftMicro + 999) / 1000;
        DWORD count = 0;
        if (timer != nullptr) {
            LARGE_INTEGER due;
            due.QuadPart = -leftMicro * 10; // relative, in 100 ns units
            if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
                count = 1;
            }
        }
        // Without a timer the wait's own time limit ends it, a little less precisely.
        DWORD slice = leftMs < PEEK_INTERVAL_MS ? static_cast<DWORD>(leftMs) + 1 : PEEK_INTERVAL_MS;
        MsgWaitForMultipleObjectsEx(count, count == 1 ? &timer : nullptr, slice,
                                    QS_PAINT | QS_SENDMESSAGE, 0);
        dispatchPaintAndSent();
    }

    if (timer != nullptr) {
        CloseHandle(timer);
    }
    if (coarse) {
        timeEndPeriod(1);
    }
}

void pauseMs(uint32_t milliseconds) {
    win32Pause(milliseconds, true);
}
