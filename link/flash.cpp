// The two flash primitives of the update: erase the ESC's firmware and write one block.
#include "link/flash.h"

#include "link/connection.h"
#include "link/frames.h"

int32_t eraseFirmware(UnitConnection *connection) {
    if (!isUnitOpen(connection)) {
        return LINK_NOT_OPEN;
    }
    CommandFrame command;
    ReplyFrame reply;
    buildEraseFirmware(&command);
    int32_t result = sendCommand(connection, &command, &reply, ERASE_WAIT_MS);
    if (result != 0) {
        return result;
    }
    return standardReplyResult(&reply);
}

int32_t writeBlock(UnitConnection *connection, const uint8_t *block, uint32_t words,
                   uint32_t *wordsPlaced) {
    // A missing block or count is refused like a count out of range: nothing is sent.
    if (!isUnitOpen(connection) || words > MAX_BLOCK_WORDS || wordsPlaced == nullptr ||
        (block == nullptr && words > 0)) {
        return LINK_NOT_OPEN;
    }
    *wordsPlaced = 0;
    CommandFrame command;
    ReplyFrame reply;
    buildWriteBlock(&command, block, words);
    *wordsPlaced = words;
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return result;
    }
    return standardReplyResult(&reply);
}
