// Report frames, the command set and the one command exchange with the programming unit.
#pragma once

#include <cstddef>
#include <cstdint>

struct UnitConnection;

// Link results: 0 is success, any value not named here is an error code of the unit.
constexpr int32_t LINK_NOT_OPEN = -1;
constexpr int32_t LINK_WRITE_FAILED = -2;
constexpr int32_t LINK_READ_FAILED = -3;
constexpr int32_t LINK_NO_DEVICE = -4;
constexpr int32_t LINK_UNIT_IN_USE = -5;

constexpr size_t FRAME_SIZE = 60;
constexpr size_t FRAME_PAYLOAD_SIZE = 56;
// The longest frame that the update sends: 4 header bytes and a block of 48. A shorter output
// report would cut every block, and at 4 bytes even the erase's confirmation code.
constexpr uint32_t MIN_OUTPUT_REPORT_LENGTH = 52;

constexpr uint8_t REPORT_ID_COMMAND = 0x01;
constexpr uint8_t REPORT_ID_REPLY = 0x02;
constexpr uint8_t STATUS_ERROR = 0xFF;

constexpr uint8_t CMD_IDENTIFY = 0x08;
constexpr uint8_t CMD_READ_MEMORY = 0x0A;
constexpr uint8_t CMD_SYSTEM_LOCK = 0x0B;
constexpr uint8_t CMD_WRITE_BLOCK = 0x1B;
constexpr uint8_t CMD_READ_ESC_INFO = 0x1D;
constexpr uint8_t CMD_ERASE_FIRMWARE = 0x1E;
constexpr uint8_t CMD_SET_ADDRESS = 0x1F;
constexpr uint8_t CMD_WRITE_PROTECT = 0x20;
constexpr uint8_t CMD_READ_ESC_BOOT_INFO = 0x22;

constexpr uint8_t READ_MEMORY_LENGTH = 0x0C;
constexpr uint32_t UNIT_INFO_ADDRESS = 0x0801FC00;
constexpr uint8_t SYSTEM_LOCK_LENGTH = 0x01;
constexpr uint8_t SYSTEM_LOCK_SET = 0x01;
constexpr uint8_t SYSTEM_LOCK_RELEASE = 0x00;
constexpr uint8_t SYSTEM_LOCK_STATE_SET = 0x01;
constexpr uint8_t ESC_INFO_LENGTH = 0x08;
constexpr uint32_t ESC_INFO_SIZE = 0x00000020;
constexpr uint32_t ESC_INFO_OFFSET = 0xFFFFFFE0;
constexpr uint8_t ERASE_LENGTH = 0x04;
constexpr uint32_t CONFIRMATION_CODE = 0x5A3C96E1;
constexpr uint8_t SET_ADDRESS_LENGTH = 0x09;
constexpr uint8_t SET_ADDRESS_PARAM = 0x01;
constexpr uint32_t WRITE_ADDRESS = 0x00000000;
constexpr uint8_t WRITE_PROTECT_LENGTH = 0x01;
constexpr uint8_t WRITE_PROTECT_CLEAR = 0x00;
constexpr uint8_t WRITE_PROTECT_SET = 0x01;
constexpr uint8_t WRITE_PROTECT_STATE_CLEARED = 0x00;
constexpr uint32_t MAX_BLOCK_WORDS = 14;

// The unit answers a command within milliseconds and the erase within about a second; a reply
// that has not come after this long never will, and the exchange fails instead of hanging.
constexpr uint32_t REPLY_TIMEOUT_MS = 10000;
// The erase reply is read this long after the erase command is written.
constexpr uint32_t ERASE_WAIT_MS = 1000;

// HID output report 0x01.
struct CommandFrame {
    uint8_t reportId;
    uint8_t command;
    uint8_t length;
    uint8_t param;
    uint8_t payload[FRAME_PAYLOAD_SIZE];
};

// HID input report 0x02.
struct ReplyFrame {
    uint8_t reportId;
    uint8_t status;
    uint8_t unused;
    uint8_t state;
    uint8_t data[FRAME_PAYLOAD_SIZE];
};

static_assert(sizeof(CommandFrame) == FRAME_SIZE, "the command frame is 60 bytes");
static_assert(sizeof(ReplyFrame) == FRAME_SIZE, "the reply frame is 60 bytes");

// Little-endian access to frame bytes.
uint16_t getU16(const uint8_t *bytes);
uint32_t getU32(const uint8_t *bytes);
void putU16(uint8_t *bytes, uint16_t value);
void putU32(uint8_t *bytes, uint32_t value);

// Each builder clears the whole frame, so bytes that the command does not set are 0, and then
// sets byte 0, the command code and the command's own bytes.
void buildIdentify(CommandFrame *frame);
void buildReadMemory(CommandFrame *frame);
void buildSystemLock(CommandFrame *frame, uint8_t param);
// words must be at most MAX_BLOCK_WORDS; block must hold 4 * words bytes (may be null for 0).
void buildWriteBlock(CommandFrame *frame, const uint8_t *block, uint32_t words);
void buildReadEscInfo(CommandFrame *frame);
void buildEraseFirmware(CommandFrame *frame);
void buildSetAddress(CommandFrame *frame);
void buildWriteProtect(CommandFrame *frame, uint8_t param);
void buildReadEscBootInfo(CommandFrame *frame);

// The error code of a reply under the standard rule: the u32 at data bytes 0-3 when status is
// STATUS_ERROR (so an error reply with code 0 is success), otherwise 0.
int32_t standardReplyResult(const ReplyFrame *reply);

// True when the unit's report lengths serve the frames: neither is 0 (no room for the report
// ID) or longer than a frame (a write would read past the command frame, a read write past
// the reply frame), and the output report holds MIN_OUTPUT_REPORT_LENGTH bytes.
bool reportLengthsUsable(uint32_t inputLength, uint32_t outputLength);

// Which way a traced report went.
enum FrameDirection { FRAME_WRITTEN, FRAME_READ };
// Sees each report that sendCommand writes (the bytes handed to hidWrite, before the write) and
// each reply it reads (after a successful read): for support's diagnostics only, never protocol
// logic. It is called on the thread that exchanges, so it must be safe to call from several
// threads at once.
using FrameTrace = void (*)(FrameDirection direction, const uint8_t *bytes, size_t length);
// Sets the trace, or none with nullptr (the default). The command-line program's -v sets it.
void setFrameTrace(FrameTrace trace);

// One exchange on the open unit: writes outputReportLength bytes of the command frame, waits
// waitBeforeReadMs (only the erase waits), and reads one input report of inputReportLength
// bytes into reply, which is cleared first apart from the report ID 0x02. Returns
// LINK_NOT_OPEN (nothing sent; also while the record's report lengths are not usable),
// LINK_WRITE_FAILED (no reply read), LINK_READ_FAILED (also after REPLY_TIMEOUT_MS without a
// reply), or 0 with the reply filled.
int32_t sendCommand(UnitConnection *connection, const CommandFrame *command, ReplyFrame *reply,
                    uint32_t waitBeforeReadMs = 0);
