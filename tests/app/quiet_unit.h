// A HID backend and clock for counting allocations (quiet_unit.cpp).
#pragma once

#include <cstdint>

uint64_t quietPauseTotal();
uint64_t quietBlocks();
void resetQuietUnit();
