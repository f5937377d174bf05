// The firmware image that the program carries; each program links exactly one implementation.
#pragma once

#include <cstddef>
#include <cstdint>

// The carried image: read-only, used in place for the whole update and never copied as a
// whole. Returns false when it cannot be found.
bool loadCarriedImage(const uint8_t **data, size_t *length);
