// What the browser's HID backend tells beyond link/hid.h: for the page's own words.
#pragma once

#include <cstdint>

// Openings that the browser refused since the page was loaded. A search that passed over a unit
// it could not open finds no unit; on Linux that is a hidraw node that the user may not open.
uint32_t webHidOpensRefused();
