// Command frames byte for byte, reply rules, and the exchange's handling of missing or short
// replies.
#include "link/flash.h"
#include "link_fixture.h"

#include <functional>

namespace {

struct FrameCase {
    const char *name;
    std::function<void(CommandFrame *)> build;
    std::vector<uint8_t> expected;
};

std::vector<uint8_t> blockOf12Words() {
    std::vector<uint8_t> block(48);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(0xC0 + i);
    }
    return block;
}

std::vector<uint8_t> writeBlockFrame12() {
    std::vector<uint8_t> frame = frameOf({0x01, 0x1B, 0x30, 0x00});
    std::vector<uint8_t> block = blockOf12Words();
    std::copy(block.begin(), block.end(), frame.begin() + 4);
    return frame;
}

const std::vector<uint8_t> BLOCK_12 = blockOf12Words();

const FrameCase FRAME_CASES[] = {
    {"identify", [](CommandFrame *f) { buildIdentify(f); }, frameOf({0x01, 0x08, 0x00})},
    {"read_memory", [](CommandFrame *f) { buildReadMemory(f); },
     frameOf({0x01, 0x0A, 0x0C, 0x00, 0x00, 0xFC, 0x01, 0x08})},
    {"system_lock_set", [](CommandFrame *f) { buildSystemLock(f, SYSTEM_LOCK_SET); },
     frameOf({0x01, 0x0B, 0x01, 0x01})},
    {"system_lock_release", [](CommandFrame *f) { buildSystemLock(f, SYSTEM_LOCK_RELEASE); },
     frameOf({0x01, 0x0B, 0x01, 0x00})},
    {"write_block_12_words", [](CommandFrame *f) { buildWriteBlock(f, BLOCK_12.data(), 12); },
     writeBlockFrame12()},
    {"read_esc_info", [](CommandFrame *f) { buildReadEscInfo(f); },
     frameOf({0x01, 0x1D, 0x08, 0x00, 0x20, 0x00, 0x00, 0x00, 0xE0, 0xFF, 0xFF, 0xFF})},
    {"erase_firmware", [](CommandFrame *f) { buildEraseFirmware(f); },
     frameOf({0x01, 0x1E, 0x04, 0x00, 0xE1, 0x96, 0x3C, 0x5A})},
    {"set_address", [](CommandFrame *f) { buildSetAddress(f); },
     frameOf({0x01, 0x1F, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0xE1, 0x96, 0x3C, 0x5A})},
    {"write_protect_clear", [](CommandFrame *f) { buildWriteProtect(f, WRITE_PROTECT_CLEAR); },
     frameOf({0x01, 0x20, 0x01, 0x00})},
    {"write_protect_set", [](CommandFrame *f) { buildWriteProtect(f, WRITE_PROTECT_SET); },
     frameOf({0x01, 0x20, 0x01, 0x01})},
    {"read_esc_boot_info", [](CommandFrame *f) { buildReadEscBootInfo(f); }, frameOf({0x01, 0x22})},
};

class FrameBytes : public LinkTest, public ::testing::WithParamInterface<FrameCase> {};

// A builder that misses a byte, or leaves an earlier frame's bytes behind, sends a command
// the unit refuses or misreads.
TEST_P(FrameBytes, wrong_command_bytes) {
    openDefaultUnit();
    CommandFrame command;
    std::memset(&command, 0xEE, sizeof command);
    GetParam().build(&command);
    ReplyFrame reply;
    ASSERT_EQ(exchange(command, &reply), 0);
    std::vector<std::vector<uint8_t>> sent = simSentFrames();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sameBytes(GetParam().expected, sent[0]));
}

INSTANTIATE_TEST_SUITE_P(CommandTable, FrameBytes, ::testing::ValuesIn(FRAME_CASES), caseName);

// The link's own operations send exactly the table's frames, in order.
TEST_F(LinkTest, identification_sends_wrong_frames) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    std::vector<std::vector<uint8_t>> sent = simSentFrames();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_TRUE(sameBytes(frameOf({0x01, 0x08, 0x00}), sent[0]));
    EXPECT_TRUE(
        sameBytes(frameOf({0x01, 0x1D, 0x08, 0x00, 0x20, 0x00, 0x00, 0x00, 0xE0, 0xFF, 0xFF, 0xFF}),
                  sent[1]));
    EXPECT_TRUE(sameBytes(frameOf({0x01, 0x22}), sent[2]));
}

TEST_F(LinkTest, bootloader_identification_sends_wrong_frames) {
    gSimUnit.identifyState = 0x01;
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    std::vector<std::vector<uint8_t>> sent = simSentFrames();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sameBytes(frameOf({0x01, 0x08, 0x00}), sent[0]));
    EXPECT_TRUE(sameBytes(frameOf({0x01, 0x0A, 0x0C, 0x00, 0x00, 0xFC, 0x01, 0x08}), sent[1]));
}

TEST_F(LinkTest, flash_primitives_send_wrong_frames) {
    openDefaultUnit();
    prepareForWriting();
    uint32_t placed = 0;
    ASSERT_EQ(writeBlock(&connection, BLOCK_12.data(), 12, &placed), 0);
    ASSERT_EQ(eraseFirmware(&connection), 0);
    std::vector<std::vector<uint8_t>> sent = simSentFrames();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sameBytes(writeBlockFrame12(), sent[0]));
    EXPECT_TRUE(sameBytes(frameOf({0x01, 0x1E, 0x04, 0x00, 0xE1, 0x96, 0x3C, 0x5A}), sent[1]));
}

// Every exchange writes the unit's whole output report, not a fixed or shorter size.
TEST_F(LinkTest, write_length_not_output_report_length) {
    SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
    unit.outputLength = MIN_OUTPUT_REPORT_LENGTH;
    simAddInterface(unit);
    ASSERT_EQ(openUnit(&connection), 0);
    for (const std::vector<uint8_t> &frame : simSentFrames()) {
        EXPECT_EQ(frame.size(), MIN_OUTPUT_REPORT_LENGTH);
    }
}

// ---- Reply rules ----

struct StandardRuleCase {
    const char *name;
    uint8_t status;
    uint32_t code;
    int32_t expected;
};

const StandardRuleCase STANDARD_RULE_CASES[] = {
    {"error_reply_code_0_is_success", 0xFF, 0, 0},
    {"error_reply_code_passed_on", 0xFF, 0x10, 0x10},
    {"error_reply_code_all_32_bits", 0xFF, 0xDEAD0007, static_cast<int32_t>(0xDEAD0007)},
    {"other_status_is_success", 0x01, 0x10, 0},
    {"status_fe_is_success", 0xFE, 0x10, 0},
};

TEST_F(LinkTest, standard_rule_misread) {
    for (const StandardRuleCase &c : STANDARD_RULE_CASES) {
        SCOPED_TRACE(c.name);
        ReplyFrame reply;
        std::memset(&reply, 0, sizeof reply);
        reply.status = c.status;
        putU32(reply.data, c.code);
        EXPECT_EQ(standardReplyResult(&reply), c.expected);
    }
}

// An error reply with code 0 from the unit counts as success for the erase, a block and the
// write address, and a nonzero one is passed on whole.
TEST_F(LinkTest, error_reply_code_0_taken_as_failure) {
    openDefaultUnit();
    prepareForWriting();
    uint32_t placed = 0;

    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 1, 0));
    EXPECT_EQ(writeBlock(&connection, BLOCK_12.data(), 12, &placed), 0);
    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 1, 0x00070000));
    EXPECT_EQ(writeBlock(&connection, BLOCK_12.data(), 12, &placed), 0x00070000);

    CommandFrame command;
    buildSetAddress(&command);
    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_SET_ADDRESS, 1, 0));
    EXPECT_EQ(exchangeResult(command), 0);

    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 1, 0));
    EXPECT_EQ(eraseFirmware(&connection), 0);
}

// ---- The exchange's waits and its reply frame ----

// A unit that never answers must not hang the program: the read is bounded and fails.
TEST_F(LinkTest, missing_reply_hangs) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    simInjectFault(faultOn(SIM_FAULT_NO_REPLY, CMD_IDENTIFY));
    EXPECT_EQ(openUnit(&connection), LINK_READ_FAILED);
    EXPECT_EQ(simTimedOutReads(), 1u);
    EXPECT_EQ(simLastReadTimeout(), REPLY_TIMEOUT_MS);
    EXPECT_EQ(hidLastError(), SIM_SYSTEM_ERROR_TIMEOUT);
    EXPECT_TRUE(isUnitOpen(&connection));
}

TEST_F(LinkTest, missing_erase_reply_hangs) {
    openDefaultUnit();
    prepareForWriting();
    simInjectFault(faultOn(SIM_FAULT_NO_REPLY, CMD_ERASE_FIRMWARE));
    EXPECT_EQ(eraseFirmware(&connection), LINK_READ_FAILED);
    EXPECT_EQ(simLastReadTimeout(), REPLY_TIMEOUT_MS);
    EXPECT_EQ(recordedPauses(), std::vector<uint32_t>{ERASE_WAIT_MS});
}

// A unit whose input report is shorter than the frame delivers only its bytes; the rest of
// the frame must not keep what an earlier reply left there.
TEST_F(LinkTest, short_reply_keeps_stale_bytes) {
    openDefaultUnit();
    CommandFrame command;
    buildIdentify(&command);
    ReplyFrame reply;
    std::memset(&reply, 0xEE, sizeof reply);
    connection.inputReportLength = 8;
    ASSERT_EQ(exchange(command, &reply), 0);
    std::vector<uint8_t> expected = frameOf({0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01, 0x00});
    EXPECT_TRUE(sameBytes(expected, bytesOf(&reply, sizeof reply)));
}

TEST_F(LinkTest, short_reply_identification_keeps_stale_version) {
    SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
    unit.inputLength = 8;
    simAddInterface(unit);
    ASSERT_EQ(openUnit(&connection), 0);
    EXPECT_EQ(connection.escStatus, 3);
    EXPECT_EQ(connection.unitFirmwareVersion, 0u);
    EXPECT_EQ(escFirmwareVersion(&connection), 0u);
    EXPECT_TRUE(isZero(connection.escInfo + 4, ESC_INFO_BLOCK_SIZE - 4));
    EXPECT_TRUE(isZero(connection.escBootInfo + 4, ESC_BOOT_INFO_BLOCK_SIZE - 4));
}

// A read that fails leaves the frame cleared with the reply report ID, not the earlier reply.
TEST_F(LinkTest, failed_read_leaves_earlier_reply) {
    openDefaultUnit();
    CommandFrame command;
    buildIdentify(&command);
    ReplyFrame reply;
    std::memset(&reply, 0xEE, sizeof reply);
    simInjectFault(faultOn(SIM_FAULT_READ_FAILS, CMD_IDENTIFY, 1, 0, 31));
    ASSERT_EQ(exchange(command, &reply), LINK_READ_FAILED);
    EXPECT_EQ(hidLastError(), 31u);
    EXPECT_TRUE(sameBytes(frameOf({0x02}), bytesOf(&reply, sizeof reply)));
}

// A failed write ends the exchange: no read, no wait.
TEST_F(LinkTest, read_after_failed_write) {
    openDefaultUnit();
    simInjectFault(faultOn(SIM_FAULT_WRITE_FAILS, CMD_ERASE_FIRMWARE, 1, 0, 0x1F));
    EXPECT_EQ(eraseFirmware(&connection), LINK_WRITE_FAILED);
    EXPECT_EQ(hidLastError(), 0x1Fu);
    EXPECT_TRUE(recordedPauses().empty());
    EXPECT_EQ(simTimedOutReads(), 0u);
    EXPECT_TRUE(simDeliveredReplies().empty());
}

// A unit whose lengths were refused stays open for the caller to close; until then no exchange
// may hand the backend a report of 0 bytes, a cut frame or one longer than the frames.
TEST_F(LinkTest, exchange_with_unusable_lengths_sends) {
    const struct {
        uint32_t input;
        uint32_t output;
    } cases[] = {{0, 0}, {60, 0}, {0, 60}, {60, MIN_OUTPUT_REPORT_LENGTH - 1}, {61, 60}, {60, 61}};
    SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
    unit.lengthsFail = true;
    simAddInterface(unit);
    ASSERT_EQ(openUnit(&connection), LINK_NOT_OPEN);
    ASSERT_TRUE(isUnitOpen(&connection));
    CommandFrame command;
    buildSystemLock(&command, SYSTEM_LOCK_SET);
    ReplyFrame reply;
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "input " << c.input << ", output " << c.output);
        connection.inputReportLength = c.input;
        connection.outputReportLength = c.output;
        EXPECT_EQ(exchange(command, &reply), LINK_NOT_OPEN);
        EXPECT_EQ(eraseFirmware(&connection), LINK_NOT_OPEN);
        EXPECT_TRUE(simLog().empty());
    }
}

TEST_F(LinkTest, exchange_without_unit_sends) {
    CommandFrame command;
    buildIdentify(&command);
    ReplyFrame reply;
    EXPECT_EQ(exchange(command, &reply), LINK_NOT_OPEN);
    EXPECT_TRUE(simLog().empty());
}

} // namespace
