// The flash primitives: block sizes, the count of words placed, the erase and its wait.
#include "link/flash.h"
#include "link_fixture.h"

namespace {

constexpr uint32_t UNTOUCHED = 0xDEADBEEF;

std::vector<uint8_t> wordsOf(uint32_t words, uint8_t first) {
    std::vector<uint8_t> block(4 * words);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(first + i);
    }
    return block;
}

class Flash : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        openDefaultUnit();
        prepareForWriting();
    }
};

// ---- writeBlock ----

struct BlockCase {
    uint32_t words;
    uint8_t lengthByte;
};

const BlockCase BLOCKS[] = {{0, 0x00}, {1, 0x04}, {8, 0x20}, {12, 0x30}, {14, 0x38}};

TEST_F(Flash, block_frame_wrong_for_word_count) {
    uint32_t pointer = 0;
    for (const BlockCase &c : BLOCKS) {
        SCOPED_TRACE(::testing::Message() << c.words << " words");
        simClearLog();
        // A full-size source, so a frame that copies too much shows bytes past the block.
        std::vector<uint8_t> source = wordsOf(MAX_BLOCK_WORDS + 1, 0x11);
        uint32_t placed = UNTOUCHED;
        ASSERT_EQ(writeBlock(&connection, source.data(), c.words, &placed), 0);
        EXPECT_EQ(placed, c.words);
        std::vector<uint8_t> expected = frameOf({0x01, 0x1B, c.lengthByte, 0x00});
        std::copy(source.begin(), source.begin() + 4 * c.words, expected.begin() + 4);
        std::vector<std::vector<uint8_t>> sent = simSentFrames();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_TRUE(sameBytes(expected, sent[0]));
        // The unit stored exactly the block, where the previous one ended.
        EXPECT_TRUE(
            sameBytes(std::vector<uint8_t>(source.begin(), source.begin() + 4 * c.words),
                      std::vector<uint8_t>(gSimUnit.flash.begin() + pointer,
                                           gSimUnit.flash.begin() + pointer + 4 * c.words)));
        pointer += 4 * c.words;
        EXPECT_EQ(gSimUnit.writePointer, pointer);
    }
    EXPECT_EQ(gSimUnit.flash[pointer], 0xFF);
}

TEST_F(Flash, block_zero_words_without_buffer_refused) {
    uint32_t placed = UNTOUCHED;
    EXPECT_EQ(writeBlock(&connection, nullptr, 0, &placed), 0);
    EXPECT_EQ(placed, 0u);
    ASSERT_EQ(simSentFrames().size(), 1u);
    EXPECT_TRUE(sameBytes(frameOf({0x01, 0x1B, 0x00}), simSentFrames()[0]));
}

// More than a frame's payload: refused before anything happens, the count keeps its value.
TEST_F(Flash, oversized_block_sent_or_count_touched) {
    std::vector<uint8_t> source = wordsOf(64, 0x11);
    for (uint32_t words : {15u, 16u, 64u, 0xFFFFFFFFu, 0x40000000u}) {
        SCOPED_TRACE(words);
        uint32_t placed = UNTOUCHED;
        EXPECT_EQ(writeBlock(&connection, source.data(), words, &placed), LINK_NOT_OPEN);
        EXPECT_EQ(placed, UNTOUCHED);
    }
    EXPECT_TRUE(simLog().empty());
}

// A missing block is refused like a count out of range, instead of crashing the program.
TEST_F(Flash, missing_block_dereferenced) {
    uint32_t placed = UNTOUCHED;
    EXPECT_EQ(writeBlock(&connection, nullptr, 12, &placed), LINK_NOT_OPEN);
    EXPECT_EQ(placed, UNTOUCHED);
    EXPECT_TRUE(simLog().empty());
}

TEST_F(LinkTest, block_on_cleared_record_sent_or_count_touched) {
    std::vector<uint8_t> source = wordsOf(12, 0x11);
    uint32_t placed = UNTOUCHED;
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), LINK_NOT_OPEN);
    EXPECT_EQ(placed, UNTOUCHED);
    EXPECT_TRUE(simLog().empty());
}

// Once the frame is filled, the count holds the block's words whatever the exchange brings.
struct BlockFailure {
    const char *name;
    SimFault fault;
    int32_t result;
};

const BlockFailure BLOCK_FAILURES[] = {
    {"write_fails", faultOn(SIM_FAULT_WRITE_FAILS, CMD_WRITE_BLOCK), LINK_WRITE_FAILED},
    {"read_fails", faultOn(SIM_FAULT_READ_FAILS, CMD_WRITE_BLOCK), LINK_READ_FAILED},
    {"no_reply", faultOn(SIM_FAULT_NO_REPLY, CMD_WRITE_BLOCK), LINK_READ_FAILED},
    {"error_reply", faultOn(SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 0, 0x0104), 0x0104},
    {"unplugged", faultOn(SIM_FAULT_UNPLUGGED, CMD_WRITE_BLOCK), LINK_WRITE_FAILED},
};

TEST_F(Flash, failed_block_count_lost) {
    for (const BlockFailure &c : BLOCK_FAILURES) {
        SCOPED_TRACE(c.name);
        simClearFaults();
        simInjectFault(c.fault);
        std::vector<uint8_t> source = wordsOf(12, 0x11);
        uint32_t placed = UNTOUCHED;
        EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), c.result);
        EXPECT_EQ(placed, 12u);
        EXPECT_TRUE(recordedPauses().empty()) << "a block is read at once, without a wait";
    }
}

// The code of a refusal reaches the caller whole, and the Nth block alone can fail.
TEST_F(Flash, refused_block_reported_as_written) {
    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 3, 0x80000001));
    std::vector<uint8_t> source = wordsOf(12, 0x11);
    uint32_t placed = 0;
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), 0);
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), 0);
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed),
              static_cast<int32_t>(0x80000001));
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), 0);
    EXPECT_EQ(gSimUnit.writePointer, 3u * 48u);
}

// ---- eraseFirmware ----

TEST_F(Flash, erase_wait_missing) {
    gSimUnit.erased = false;
    EXPECT_EQ(eraseFirmware(&connection), 0);
    EXPECT_EQ(recordedPauses(), std::vector<uint32_t>{ERASE_WAIT_MS});
    EXPECT_TRUE(gSimUnit.erased);
    EXPECT_EQ(gSimUnit.flash.front(), 0xFF);
    EXPECT_EQ(gSimUnit.flash.back(), 0xFF);
}

TEST_F(LinkTest, erase_on_cleared_record_waits) {
    EXPECT_EQ(eraseFirmware(&connection), LINK_NOT_OPEN);
    EXPECT_TRUE(recordedPauses().empty());
    EXPECT_TRUE(simLog().empty());
}

struct EraseCase {
    const char *name;
    SimFault fault;
    int32_t result;
    std::vector<uint32_t> pauses;
};

const EraseCase ERASE_CASES[] = {
    {"write_fails_no_wait",
     faultOn(SIM_FAULT_WRITE_FAILS, CMD_ERASE_FIRMWARE),
     LINK_WRITE_FAILED,
     {}},
    {"read_fails_after_wait",
     faultOn(SIM_FAULT_READ_FAILS, CMD_ERASE_FIRMWARE),
     LINK_READ_FAILED,
     {ERASE_WAIT_MS}},
    {"error_16", faultOn(SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 0, 16), 16, {ERASE_WAIT_MS}},
    {"error_0_is_success",
     faultOn(SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 0, 0),
     0,
     {ERASE_WAIT_MS}},
    {"other_status_is_success",
     faultOn(SIM_FAULT_STATUS, CMD_ERASE_FIRMWARE, 0, 0x01),
     0,
     {ERASE_WAIT_MS}},
};

TEST_F(Flash, erase_result_or_wait_wrong) {
    for (const EraseCase &c : ERASE_CASES) {
        SCOPED_TRACE(c.name);
        simClearFaults();
        resetRecordedPauses();
        simInjectFault(c.fault);
        EXPECT_EQ(eraseFirmware(&connection), c.result);
        EXPECT_EQ(recordedPauses(), c.pauses);
    }
}

// The unit's own refusal of an erase out of order reaches the caller.
TEST_F(LinkTest, erase_refusal_lost) {
    openDefaultUnit();
    EXPECT_EQ(eraseFirmware(&connection), static_cast<int32_t>(SIM_ERROR_NOT_LOCKED));
    EXPECT_NE(gSimUnit.flash.front(), 0xFF);
}

// The write and read errors of the system reach hidLastError for the failure report.
TEST_F(Flash, system_error_lost) {
    simInjectFault(faultOn(SIM_FAULT_WRITE_FAILS, CMD_WRITE_BLOCK, 1, 0, 0x000003E3));
    simInjectFault(faultOn(SIM_FAULT_READ_FAILS, CMD_WRITE_BLOCK, 2));
    simInjectFault(faultOn(SIM_FAULT_NO_REPLY, CMD_WRITE_BLOCK, 3));
    std::vector<uint8_t> source = wordsOf(12, 0x11);
    uint32_t placed = 0;
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), LINK_WRITE_FAILED);
    EXPECT_EQ(hidLastError(), 0x3E3u);
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), LINK_READ_FAILED);
    EXPECT_EQ(hidLastError(), SIM_SYSTEM_ERROR_NOT_CONNECTED);
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), LINK_READ_FAILED);
    EXPECT_EQ(hidLastError(), SIM_SYSTEM_ERROR_TIMEOUT);
}

// A unit pulled out in the middle of the transfer: every later exchange fails at the write.
TEST_F(Flash, removed_mid_transfer) {
    simInjectFault(faultOn(SIM_FAULT_UNPLUGGED, CMD_WRITE_BLOCK, 2));
    std::vector<uint8_t> source = wordsOf(12, 0x11);
    uint32_t placed = 0;
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), 0);
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), LINK_WRITE_FAILED);
    EXPECT_EQ(writeBlock(&connection, source.data(), 12, &placed), LINK_WRITE_FAILED);
    EXPECT_EQ(eraseFirmware(&connection), LINK_WRITE_FAILED);
    EXPECT_EQ(hidLastError(), SIM_SYSTEM_ERROR_NOT_CONNECTED);
    EXPECT_EQ(gSimUnit.writePointer, 48u);
}

} // namespace
