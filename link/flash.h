// The two flash primitives of the update: erase the ESC's firmware and write one block.
#pragma once

#include <cstdint>

struct UnitConnection;

// Erases the ESC's firmware: writes the command, waits ERASE_WAIT_MS, reads the reply.
// Returns 0, LINK_NOT_OPEN (at once, no wait), LINK_WRITE_FAILED (no wait), LINK_READ_FAILED,
// or the unit's error code.
int32_t eraseFirmware(UnitConnection *connection);

// Writes one block of words 32-bit words (0 to MAX_BLOCK_WORDS) from block, which holds at
// least 4 * words bytes. *wordsPlaced receives words once the frame is filled; it is left
// untouched when the call returns LINK_NOT_OPEN (no unit, more than MAX_BLOCK_WORDS words, no
// block for a nonzero count, or no wordsPlaced).
int32_t writeBlock(UnitConnection *connection, const uint8_t *block, uint32_t words,
                   uint32_t *wordsPlaced);
