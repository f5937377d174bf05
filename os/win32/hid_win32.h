// What the Windows HID backend offers beyond the HID operations: its write time limit.
#pragma once

#include <cstdint>

// How long a write may wait for the device to take the report; HID_WRITE_TIMEOUT_MS unless a
// test shortens it.
extern uint32_t gHidWriteTimeoutMs;
