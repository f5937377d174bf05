// Report frames, the command set and the one command exchange with the programming unit.
#include "link/frames.h"

#include "link/connection.h"
#include "link/hid.h"
#include "link/pause.h"

#include <atomic>
#include <cstring>

namespace {
// Not a unit's state: one diagnostic hook for the whole process, null unless a program sets it.
std::atomic<FrameTrace> gFrameTrace{nullptr};

void trace(FrameDirection direction, const void *bytes, size_t length) {
    FrameTrace hook = gFrameTrace.load();
    if (hook != nullptr) {
        hook(direction, static_cast<const uint8_t *>(bytes), length);
    }
}
} // namespace

void setFrameTrace(FrameTrace hook) {
    gFrameTrace.store(hook);
}

uint16_t getU16(const uint8_t *bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t getU32(const uint8_t *bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void putU16(uint8_t *bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t *bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

static void startFrame(CommandFrame *frame, uint8_t command) {
    std::memset(frame, 0, sizeof *frame);
    frame->reportId = REPORT_ID_COMMAND;
    frame->command = command;
}

void buildIdentify(CommandFrame *frame) {
    startFrame(frame, CMD_IDENTIFY);
    frame->length = 0x00;
}

void buildReadMemory(CommandFrame *frame) {
    startFrame(frame, CMD_READ_MEMORY);
    frame->length = READ_MEMORY_LENGTH;
    putU32(frame->payload, UNIT_INFO_ADDRESS);
}

void buildSystemLock(CommandFrame *frame, uint8_t param) {
    startFrame(frame, CMD_SYSTEM_LOCK);
    frame->length = SYSTEM_LOCK_LENGTH;
    frame->param = param;
}

void buildWriteBlock(CommandFrame *frame, const uint8_t *block, uint32_t words) {
    startFrame(frame, CMD_WRITE_BLOCK);
    frame->length = static_cast<uint8_t>(4 * words);
    if (words > 0) {
        std::memcpy(frame->payload, block, 4 * words);
    }
}

void buildReadEscInfo(CommandFrame *frame) {
    startFrame(frame, CMD_READ_ESC_INFO);
    frame->length = ESC_INFO_LENGTH;
    putU32(frame->payload, ESC_INFO_SIZE);
    putU32(frame->payload + 4, ESC_INFO_OFFSET);
}

void buildEraseFirmware(CommandFrame *frame) {
    startFrame(frame, CMD_ERASE_FIRMWARE);
    frame->length = ERASE_LENGTH;
    putU32(frame->payload, CONFIRMATION_CODE);
}

void buildSetAddress(CommandFrame *frame) {
    startFrame(frame, CMD_SET_ADDRESS);
    frame->length = SET_ADDRESS_LENGTH;
    frame->param = SET_ADDRESS_PARAM;
    putU32(frame->payload, WRITE_ADDRESS);
    putU32(frame->payload + 4, CONFIRMATION_CODE);
}

void buildWriteProtect(CommandFrame *frame, uint8_t param) {
    startFrame(frame, CMD_WRITE_PROTECT);
    frame->length = WRITE_PROTECT_LENGTH;
    frame->param = param;
}

void buildReadEscBootInfo(CommandFrame *frame) {
    // This command sets no length byte.
    startFrame(frame, CMD_READ_ESC_BOOT_INFO);
}

int32_t standardReplyResult(const ReplyFrame *reply) {
    if (reply->status == STATUS_ERROR) {
        return static_cast<int32_t>(getU32(reply->data));
    }
    return 0;
}

bool reportLengthsUsable(uint32_t inputLength, uint32_t outputLength) {
    return inputLength > 0 && inputLength <= FRAME_SIZE &&
           outputLength >= MIN_OUTPUT_REPORT_LENGTH && outputLength <= FRAME_SIZE;
}

int32_t sendCommand(UnitConnection *connection, const CommandFrame *command, ReplyFrame *reply,
                    uint32_t waitBeforeReadMs) {
    // A unit whose lengths were refused or never read stays open for its caller to close; it
    // must not be handed a report of 0 bytes or a cut frame meanwhile.
    if (!isUnitOpen(connection) ||
        !reportLengthsUsable(connection->inputReportLength, connection->outputReportLength)) {
        return LINK_NOT_OPEN;
    }
    trace(FRAME_WRITTEN, command, connection->outputReportLength);
    if (!hidWrite(connection->handle, reinterpret_cast<const uint8_t *>(command),
                  connection->outputReportLength)) {
        return LINK_WRITE_FAILED;
    }
    if (waitBeforeReadMs > 0) {
        pauseMs(waitBeforeReadMs);
    }
    // A short report must not leave bytes of an earlier reply behind to be taken for this one's.
    std::memset(reply, 0, sizeof *reply);
    reply->reportId = REPORT_ID_REPLY;
    if (!hidRead(connection->handle, reinterpret_cast<uint8_t *>(reply),
                 connection->inputReportLength, REPLY_TIMEOUT_MS)) {
        return LINK_READ_FAILED;
    }
    trace(FRAME_READ, reply, connection->inputReportLength);
    return 0;
}
