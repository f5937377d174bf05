// The one wait of the link and the application; each program links exactly one implementation.
#pragma once

#include <cstdint>

// Waits at least the given number of milliseconds. Every wait of the link and of the
// application goes through this one operation, so that tests can record the waits instead of
// sleeping. It belongs to the program, not to the HID backend, so that a demo build can pair
// the simulated unit with real waits. A window program keeps its windows drawn meanwhile.
void pauseMs(uint32_t milliseconds);
