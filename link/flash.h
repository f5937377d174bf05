// The flash commands of the update: system lock, write protection, erase, write address and
// blocks, each one exchange with the open unit, with its reply checked.
#pragma once

#include <cstdint>

struct UnitConnection;

// A reply whose state byte is not the one that the command expects (the system lock not set, the
// write protection not cleared). An error code of the unit's would never be this large a value
// from these two commands; it is Windows' ERROR_INVALID_STATE, which the support staff know.
constexpr int32_t REPLY_STATE_MISMATCH = 1627;

// Each operation below returns 0, LINK_NOT_OPEN (no unit open: nothing sent),
// LINK_WRITE_FAILED, LINK_READ_FAILED, or what the operation names beside them. None of them
// closes the unit; hidLastError tells the system's code of a failed write or read.

// Sets the unit's system lock, which keeps its own firmware from acting on the ESC meanwhile.
// REPLY_STATE_MISMATCH when the reply's state is not "set"; the reply's status carries nothing.
int32_t setSystemLock(UnitConnection *connection);

// Clears the ESC's write protection. An error reply gives its error code (an error reply with
// code 0 is success, whatever its state); any other reply whose state is not "cleared" gives
// REPLY_STATE_MISMATCH.
int32_t clearWriteProtection(UnitConnection *connection);

// Erases the ESC's firmware: writes the command, waits ERASE_WAIT_MS, reads the reply. Returns
// at once, without the wait, when nothing could be written. An error reply gives its code.
int32_t eraseFirmware(UnitConnection *connection);

// Sets the write address to the start of the firmware. An error reply gives its nonzero error
// code; every other reply is success, whatever its state.
int32_t setWriteAddress(UnitConnection *connection);

// Writes one block of words 32-bit words (0 to MAX_BLOCK_WORDS) from block, which holds at least
// 4 * words bytes (null only for 0 words). An error reply gives its code. A word count above
// MAX_BLOCK_WORDS, or no block for a nonzero count, is refused with LINK_NOT_OPEN, as the unit
// would have nothing to take: nothing is sent and *wordsPlaced is not touched. Otherwise, when
// wordsPlaced is given, it receives words once the frame is filled, whatever the exchange
// brings: a caller that resumes a transfer knows what the frame carried.
int32_t writeBlock(UnitConnection *connection, const uint8_t *block, uint32_t words,
                   uint32_t *wordsPlaced = nullptr);

// After the last block: sets the write protection again, then releases the system lock. Each is
// sent only while the unit is open, and its reply only read when the command was written;
// neither reply is looked at, since the image is written and a failure here changes nothing
// for the ESC.
void finishFlashWrite(UnitConnection *connection);
