// The firmware image that the command-line program carries in its own read-only data.
#pragma once

#include <cstddef>
#include <cstdint>

// Generated at build time from QUILLAR_FIRMWARE_IMAGE (tools/build/embed_image.py).
extern const uint8_t CARRIED_IMAGE[];
extern const size_t CARRIED_IMAGE_SIZE;
