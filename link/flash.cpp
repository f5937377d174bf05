// The flash commands of the update, each one exchange with its reply checked.
#include "link/flash.h"

#include "link/connection.h"
#include "link/frames.h"

int32_t setSystemLock(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildSystemLock(&command, SYSTEM_LOCK_SET);
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return result;
    }
    return reply.state == SYSTEM_LOCK_STATE_SET ? 0 : REPLY_STATE_MISMATCH;
}

int32_t clearWriteProtection(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildWriteProtect(&command, WRITE_PROTECT_CLEAR);
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return result;
    }
    if (reply.status == STATUS_ERROR) {
        return standardReplyResult(&reply);
    }
    return reply.state == WRITE_PROTECT_STATE_CLEARED ? 0 : REPLY_STATE_MISMATCH;
}

int32_t eraseFirmware(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildEraseFirmware(&command);
    int32_t result = sendCommand(connection, &command, &reply, ERASE_WAIT_MS);
    return result != 0 ? result : standardReplyResult(&reply);
}

int32_t setWriteAddress(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildSetAddress(&command);
    int32_t result = sendCommand(connection, &command, &reply);
    return result != 0 ? result : standardReplyResult(&reply);
}

int32_t writeBlock(UnitConnection *connection, const uint8_t *block, uint32_t words,
                   uint32_t *wordsPlaced) {
    if (!isUnitOpen(connection) || words > MAX_BLOCK_WORDS || (block == nullptr && words > 0)) {
        return LINK_NOT_OPEN;
    }
    CommandFrame command;
    ReplyFrame reply;
    buildWriteBlock(&command, block, words);
    if (wordsPlaced != nullptr) {
        *wordsPlaced = words;
    }
    int32_t result = sendCommand(connection, &command, &reply);
    return result != 0 ? result : standardReplyResult(&reply);
}

void finishFlashWrite(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildWriteProtect(&command, WRITE_PROTECT_SET);
    sendCommand(connection, &command, &reply);
    buildSystemLock(&command, SYSTEM_LOCK_RELEASE);
    sendCommand(connection, &command, &reply);
}
