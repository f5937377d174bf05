// Device node names of hidraw interfaces: their order and their wide-character form.
#pragma once

#include <cstddef>

// Orders node names as people count: runs of digits compare by value, so hidraw2 comes before
// hidraw10; everything else compares byte by byte.
bool nodeNameBefore(const char *a, const char *b);

// Widens a node name byte for byte (each byte becomes the wide character of the same value),
// so that narrowPath gives back exactly the same bytes whatever the locale. Writes at most
// size wide characters including the terminating zero; false when it does not fit.
bool widenPath(const char *narrow, wchar_t *wide, size_t size);

// The reverse of widenPath. False when a character is above 0xFF (no node name has one) or the
// result does not fit size bytes including the terminating zero.
bool narrowPath(const wchar_t *wide, char *narrow, size_t size);
