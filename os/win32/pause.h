// Waits of the Windows programs; pauseMs (link/pause.h) is the one that the link and the
// application use.
#pragma once

#include <cstdint>

// Waits at least the given number of milliseconds, painting windows and answering sent messages
// meanwhile but leaving input queued. highResolutionTimer false takes the path of systems
// without high-resolution waitable timers (a normal timer with a one-millisecond system tick).
void win32Pause(uint32_t milliseconds, bool highResolutionTimer);
