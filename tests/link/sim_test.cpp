// The simulated unit refuses what a real one would, so commands out of order show up in tests.
#include "link/flash.h"
#include "link_fixture.h"

#include <functional>

namespace {

// Where the unit stands before the command, as the update would have brought it there.
enum Stage { IDLE, LOCKED, UNPROTECTED, ERASED, ADDRESSED };

struct RefusalCase {
    const char *name;
    Stage stage;
    std::function<void(CommandFrame *)> build;
    uint32_t code; // 0: accepted
};

void withBlock(CommandFrame *f) {
    uint8_t block[48] = {};
    buildWriteBlock(f, block, 12);
}

const RefusalCase REFUSALS[] = {
    // Order of the update's commands.
    {"block_before_lock", IDLE, withBlock, SIM_ERROR_NOT_LOCKED},
    {"block_while_protected", LOCKED, withBlock, SIM_ERROR_PROTECTED},
    {"block_before_erase", UNPROTECTED, withBlock, SIM_ERROR_NOT_ERASED},
    {"block_before_set_address", ERASED, withBlock, SIM_ERROR_NO_ADDRESS},
    {"block_in_order", ADDRESSED, withBlock, 0},
    {"erase_without_lock", IDLE, [](CommandFrame *f) { buildEraseFirmware(f); },
     SIM_ERROR_NOT_LOCKED},
    {"erase_while_protected", LOCKED, [](CommandFrame *f) { buildEraseFirmware(f); },
     SIM_ERROR_PROTECTED},
    {"set_address_before_erase", UNPROTECTED, [](CommandFrame *f) { buildSetAddress(f); },
     SIM_ERROR_NOT_ERASED},
    {"unprotect_without_lock", IDLE,
     [](CommandFrame *f) { buildWriteProtect(f, WRITE_PROTECT_CLEAR); }, SIM_ERROR_NOT_LOCKED},
    // Bytes that differ from the command table.
    {"identify_length_byte", IDLE,
     [](CommandFrame *f) {
         buildIdentify(f);
         f->length = 0x01;
     },
     SIM_ERROR_BAD_FRAME},
    {"erase_wrong_confirmation", UNPROTECTED,
     [](CommandFrame *f) {
         buildEraseFirmware(f);
         putU32(f->payload, 0x5A3C96E2);
     },
     SIM_ERROR_BAD_FRAME},
    {"set_address_wrong_address", ERASED,
     [](CommandFrame *f) {
         buildSetAddress(f);
         putU32(f->payload, 0x08000000);
     },
     SIM_ERROR_BAD_FRAME},
    {"set_address_wrong_param", ERASED,
     [](CommandFrame *f) {
         buildSetAddress(f);
         f->param = 0x00;
     },
     SIM_ERROR_BAD_FRAME},
    {"block_length_not_whole_words", ADDRESSED,
     [](CommandFrame *f) {
         withBlock(f);
         f->length = 0x2E;
     },
     SIM_ERROR_BAD_FRAME},
    {"block_length_past_payload", ADDRESSED,
     [](CommandFrame *f) {
         withBlock(f);
         f->length = 0x3C;
     },
     SIM_ERROR_BAD_FRAME},
    {"read_memory_wrong_address", IDLE,
     [](CommandFrame *f) {
         buildReadMemory(f);
         putU32(f->payload, 0x08000000);
     },
     SIM_ERROR_BAD_FRAME},
    {"lock_unknown_param", IDLE,
     [](CommandFrame *f) {
         buildSystemLock(f, SYSTEM_LOCK_SET);
         f->param = 0x02;
     },
     SIM_ERROR_BAD_FRAME},
    {"unknown_command", IDLE,
     [](CommandFrame *f) {
         buildIdentify(f);
         f->command = 0x55;
     },
     SIM_ERROR_UNKNOWN_COMMAND},
    // Bytes the table does not set are ignored, as the real unit ignores them.
    {"identify_unset_bytes_ignored", IDLE,
     [](CommandFrame *f) {
         buildIdentify(f);
         f->param = 0x77;
         std::memset(f->payload, 0x99, sizeof f->payload);
     },
     0},
    {"erase_unset_bytes_ignored", UNPROTECTED,
     [](CommandFrame *f) {
         buildEraseFirmware(f);
         f->param = 0x33;
         f->payload[4] = 0x44;
     },
     0},
};

class UnitRefusal : public LinkTest, public ::testing::WithParamInterface<RefusalCase> {
  protected:
    void reach(Stage stage) {
        CommandFrame command;
        if (stage >= LOCKED) {
            buildSystemLock(&command, SYSTEM_LOCK_SET);
            ASSERT_EQ(exchangeResult(command), 0);
        }
        if (stage >= UNPROTECTED) {
            buildWriteProtect(&command, WRITE_PROTECT_CLEAR);
            ASSERT_EQ(exchangeResult(command), 0);
        }
        if (stage >= ERASED) {
            buildEraseFirmware(&command);
            ASSERT_EQ(exchangeResult(command), 0);
        }
        if (stage >= ADDRESSED) {
            buildSetAddress(&command);
            ASSERT_EQ(exchangeResult(command), 0);
        }
    }
};

TEST_P(UnitRefusal, out_of_order_or_malformed_command_accepted) {
    openDefaultUnit();
    reach(GetParam().stage);
    CommandFrame command;
    GetParam().build(&command);
    EXPECT_EQ(exchangeResult(command), static_cast<int32_t>(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(Unit, UnitRefusal, ::testing::ValuesIn(REFUSALS), caseName);

// A report shorter than the command needs is refused by the unit: the bytes past it count as
// missing. (The link itself never sends one; see the length check of opening.)
TEST_F(LinkTest, short_command_report_accepted) {
    CommandFrame command;
    buildReadEscInfo(&command);
    ReplyFrame reply;
    simUnitHandle(reinterpret_cast<const uint8_t *>(&command), 6,
                  reinterpret_cast<uint8_t *>(&reply));
    EXPECT_EQ(reply.status, STATUS_ERROR);
    EXPECT_EQ(getU16(reply.data), SIM_ERROR_BAD_FRAME);
}

// The whole update through the link: the flash ends up holding the image, then 0xFF.
TEST_F(LinkTest, update_sequence_corrupts_flash) {
    openDefaultUnit();
    std::vector<uint8_t> image(1000);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    CommandFrame command;
    ReplyFrame reply;
    buildSystemLock(&command, SYSTEM_LOCK_SET);
    ASSERT_EQ(exchange(command, &reply), 0);
    EXPECT_EQ(reply.state, SYSTEM_LOCK_STATE_SET);
    buildWriteProtect(&command, WRITE_PROTECT_CLEAR);
    ASSERT_EQ(exchange(command, &reply), 0);
    EXPECT_EQ(reply.state, WRITE_PROTECT_STATE_CLEARED);
    ASSERT_EQ(eraseFirmware(&connection), 0);
    buildSetAddress(&command);
    ASSERT_EQ(exchangeResult(command), 0);
    for (size_t at = 0; at < image.size(); at += 48) {
        uint32_t words = static_cast<uint32_t>(std::min<size_t>(48, image.size() - at) / 4);
        uint32_t placed = 0;
        ASSERT_EQ(writeBlock(&connection, image.data() + at, words, &placed), 0);
    }
    buildWriteProtect(&command, WRITE_PROTECT_SET);
    ASSERT_EQ(exchangeResult(command), 0);
    buildSystemLock(&command, SYSTEM_LOCK_RELEASE);
    ASSERT_EQ(exchangeResult(command), 0);

    EXPECT_TRUE(sameBytes(
        image, std::vector<uint8_t>(gSimUnit.flash.begin(), gSimUnit.flash.begin() + 1000)));
    EXPECT_EQ(gSimUnit.flash[1000], 0xFF);
    EXPECT_EQ(gSimUnit.flash.back(), 0xFF);
    EXPECT_TRUE(gSimUnit.writeProtected);
    EXPECT_FALSE(gSimUnit.systemLock);
    EXPECT_EQ(recordedPauses(), std::vector<uint32_t>{ERASE_WAIT_MS});
    // Protecting again ends the session: another block is refused until the next erase.
    uint32_t placed = 0;
    EXPECT_NE(writeBlock(&connection, image.data(), 12, &placed), 0);
}

// Faults aimed at the Nth matching command hit that one only, and a read with no reply
// pending runs out instead of blocking.
TEST_F(LinkTest, fault_hits_wrong_command) {
    openDefaultUnit();
    simInjectFault(faultOn(SIM_FAULT_STATE, CMD_SYSTEM_LOCK, 2, 0x00));
    CommandFrame command;
    ReplyFrame reply;
    buildSystemLock(&command, SYSTEM_LOCK_SET);
    ASSERT_EQ(exchange(command, &reply), 0);
    EXPECT_EQ(reply.state, 0x01);
    ASSERT_EQ(exchange(command, &reply), 0);
    EXPECT_EQ(reply.state, 0x00);
    ASSERT_EQ(exchange(command, &reply), 0);
    EXPECT_EQ(reply.state, 0x01);

    uint8_t report[FRAME_SIZE];
    EXPECT_FALSE(hidRead(connection.handle, report, sizeof report, 250));
    EXPECT_EQ(simLastReadTimeout(), 250u);
    EXPECT_EQ(simTimedOutReads(), 1u);
}

TEST_F(LinkTest, esc_command_answered_in_bootloader) {
    gSimUnit.identifyState = 0x01;
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    CommandFrame command;
    buildReadEscInfo(&command);
    ReplyFrame reply;
    ASSERT_EQ(exchange(command, &reply), 0);
    EXPECT_EQ(reply.status, STATUS_ERROR);
    EXPECT_EQ(getU16(reply.data), SIM_ERROR_UNKNOWN_COMMAND);
}

} // namespace
