// Identification: what each mode and each failing step leaves in the record, and the result.
#include "link/identify.h"
#include "link_fixture.h"

#include <sstream>

namespace {

// Which groups of identification fields the record is expected to hold, taken from the unit.
enum Held : unsigned {
    HOLDS_NOTHING = 0,
    HOLDS_APP = 1,       // unitInBootloader 0, escStatus, statusAux, version, aux info
    HOLDS_BOOT = 2,      // unitInBootloader, bootIdent1 to bootIdent5
    HOLDS_MEMORY = 4,    // version and aux info read from the unit's memory
    HOLDS_ESC_INFO = 8,  // escInfo
    HOLDS_BOOT_INFO = 16 // escBootInfo
};

UnitConnection expectedRecord(unsigned held) {
    UnitConnection expected = CLEARED_CONNECTION;
    const SimUnit &unit = gSimUnit;
    if (held & HOLDS_APP) {
        expected.escStatus = unit.escStatus;
        expected.statusAux = unit.statusAux;
        expected.unitFirmwareVersion = unit.unitFirmwareVersion;
        expected.unitAuxInfo = unit.unitAuxInfo;
    }
    if (held & HOLDS_BOOT) {
        expected.unitInBootloader = unit.identifyState;
        expected.bootIdent1 = unit.bootIdentity[0];
        expected.bootIdent2 = getU16(unit.bootIdentity + 1);
        expected.bootIdent3 = getU32(unit.bootIdentity + 3);
        expected.bootIdent4 = getU32(unit.bootIdentity + 7);
        expected.bootIdent5 = unit.bootIdentity[11];
    }
    if (held & HOLDS_MEMORY) {
        expected.unitFirmwareVersion = getU32(unit.memory + 4);
        expected.unitAuxInfo = getU32(unit.memory + 8);
    }
    if (held & HOLDS_ESC_INFO) {
        std::memcpy(expected.escInfo, unit.escInfo, ESC_INFO_BLOCK_SIZE);
    }
    if (held & HOLDS_BOOT_INFO) {
        std::memcpy(expected.escBootInfo, unit.escBootInfo, ESC_BOOT_INFO_BLOCK_SIZE);
    }
    return expected;
}

// Compares every identification field, and checks that what opening stored is in place.
::testing::AssertionResult recordHolds(const UnitConnection &actual, unsigned held,
                                       uint16_t productId = PRODUCT_ID_TALOMIR) {
    UnitConnection expected = expectedRecord(held);
    std::ostringstream wrong;
    auto field = [&](const char *name, uint64_t want, uint64_t got) {
        if (want != got) {
            wrong << "\n  " << name << ": expected 0x" << std::hex << want << ", got 0x" << got;
        }
    };
    field("open", 1, isUnitOpen(&actual) ? 1 : 0);
    field("devicePath set", 1, actual.devicePath != nullptr && actual.devicePath == UNIT_PATH);
    field("outputReportLength", FRAME_SIZE, actual.outputReportLength);
    field("inputReportLength", FRAME_SIZE, actual.inputReportLength);
    field("productId", productId, actual.productId);
    field("unitInBootloader", expected.unitInBootloader, actual.unitInBootloader);
    field("unitFirmwareVersion", expected.unitFirmwareVersion, actual.unitFirmwareVersion);
    field("unitAuxInfo", expected.unitAuxInfo, actual.unitAuxInfo);
    field("escStatus", expected.escStatus, actual.escStatus);
    field("statusAux", expected.statusAux, actual.statusAux);
    field("bootIdent1", expected.bootIdent1, actual.bootIdent1);
    field("bootIdent2", expected.bootIdent2, actual.bootIdent2);
    field("bootIdent3", expected.bootIdent3, actual.bootIdent3);
    field("bootIdent4", expected.bootIdent4, actual.bootIdent4);
    field("bootIdent5", expected.bootIdent5, actual.bootIdent5);
    if (std::memcmp(expected.escInfo, actual.escInfo, ESC_INFO_BLOCK_SIZE) != 0) {
        wrong << "\n  escInfo: expected\n"
              << simHex(expected.escInfo, ESC_INFO_BLOCK_SIZE) << "\n  got\n"
              << simHex(actual.escInfo, ESC_INFO_BLOCK_SIZE);
    }
    if (std::memcmp(expected.escBootInfo, actual.escBootInfo, ESC_BOOT_INFO_BLOCK_SIZE) != 0) {
        wrong << "\n  escBootInfo: expected\n"
              << simHex(expected.escBootInfo, ESC_BOOT_INFO_BLOCK_SIZE) << "\n  got\n"
              << simHex(actual.escBootInfo, ESC_BOOT_INFO_BLOCK_SIZE);
    }
    if (wrong.str().empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "record differs:" << wrong.str();
}

class Identification : public LinkTest {
  protected:
    int32_t open() {
        simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
        return openUnit(&connection);
    }
};

// ---- One row for each way a step of identification can fail ----

struct FailureRow {
    const char *name;
    bool bootloader;
    SimFault fault;
    uint16_t escInfoError;
    uint16_t escBootInfoError;
    int32_t result; // INT32_MIN: any nonzero result
    unsigned held;
    std::vector<int> sent;
};

constexpr int32_t ANY_FAILURE = INT32_MIN;
const SimFault NO_FAULT = {SIM_FAULT_STATUS, 0x7F, 0, 0, 0}; // matches no command

const FailureRow FAILURE_ROWS[] = {
    {"identify_write_fails",
     false,
     faultOn(SIM_FAULT_WRITE_FAILS, CMD_IDENTIFY),
     0,
     0,
     LINK_WRITE_FAILED,
     HOLDS_NOTHING,
     {}},
    {"identify_read_fails",
     false,
     faultOn(SIM_FAULT_READ_FAILS, CMD_IDENTIFY),
     0,
     0,
     LINK_READ_FAILED,
     HOLDS_NOTHING,
     {CMD_IDENTIFY}},
    {"read_memory_write_fails",
     true,
     faultOn(SIM_FAULT_WRITE_FAILS, CMD_READ_MEMORY),
     0,
     0,
     ANY_FAILURE,
     HOLDS_BOOT,
     {CMD_IDENTIFY}},
    {"read_memory_read_fails",
     true,
     faultOn(SIM_FAULT_READ_FAILS, CMD_READ_MEMORY),
     0,
     0,
     ANY_FAILURE,
     HOLDS_BOOT,
     {CMD_IDENTIFY, CMD_READ_MEMORY}},
    {"esc_info_write_fails",
     false,
     faultOn(SIM_FAULT_WRITE_FAILS, CMD_READ_ESC_INFO),
     0,
     0,
     LINK_WRITE_FAILED,
     HOLDS_APP,
     {CMD_IDENTIFY}},
    {"esc_info_read_fails",
     false,
     faultOn(SIM_FAULT_READ_FAILS, CMD_READ_ESC_INFO),
     0,
     0,
     LINK_READ_FAILED,
     HOLDS_APP,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO}},
    {"esc_info_error_code",
     false,
     NO_FAULT,
     0x0005,
     0,
     5,
     HOLDS_APP,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO}},
    {"esc_info_error_code_ffff",
     false,
     NO_FAULT,
     0xFFFF,
     0,
     0xFFFF,
     HOLDS_APP,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO}},
    {"esc_info_error_code_0_goes_on",
     false,
     faultOn(SIM_FAULT_ERROR_REPLY, CMD_READ_ESC_INFO, 0, 0x00070000),
     0,
     0,
     0,
     HOLDS_APP | HOLDS_BOOT_INFO,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO, CMD_READ_ESC_BOOT_INFO}},
    {"boot_info_write_fails",
     false,
     faultOn(SIM_FAULT_WRITE_FAILS, CMD_READ_ESC_BOOT_INFO),
     0,
     0,
     LINK_WRITE_FAILED,
     HOLDS_APP | HOLDS_ESC_INFO,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO}},
    {"boot_info_read_fails",
     false,
     faultOn(SIM_FAULT_READ_FAILS, CMD_READ_ESC_BOOT_INFO),
     0,
     0,
     LINK_READ_FAILED,
     HOLDS_APP | HOLDS_ESC_INFO,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO, CMD_READ_ESC_BOOT_INFO}},
    {"boot_info_error_code",
     false,
     NO_FAULT,
     0,
     0x0009,
     9,
     HOLDS_APP | HOLDS_ESC_INFO,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO, CMD_READ_ESC_BOOT_INFO}},
    {"boot_info_error_code_0",
     false,
     faultOn(SIM_FAULT_ERROR_REPLY, CMD_READ_ESC_BOOT_INFO, 0, 0x12340000),
     0,
     0,
     0,
     HOLDS_APP | HOLDS_ESC_INFO,
     {CMD_IDENTIFY, CMD_READ_ESC_INFO, CMD_READ_ESC_BOOT_INFO}},
};

class IdentificationFailure : public Identification,
                              public ::testing::WithParamInterface<FailureRow> {};

TEST_P(IdentificationFailure, wrong_result_or_record) {
    const FailureRow &row = GetParam();
    if (row.bootloader) {
        gSimUnit.identifyState = 0x01;
    }
    gSimUnit.escInfoError = row.escInfoError;
    gSimUnit.escBootInfoError = row.escBootInfoError;
    simInjectFault(row.fault);
    int32_t result = open();
    if (row.result == ANY_FAILURE) {
        EXPECT_NE(result, 0);
    } else {
        EXPECT_EQ(result, row.result);
    }
    EXPECT_TRUE(recordHolds(connection, row.held));
    EXPECT_EQ(sentCommands(), row.sent);
    EXPECT_EQ(simOpenHandleCount(), 1u) << "identification must not close the unit";
}

INSTANTIATE_TEST_SUITE_P(Steps, IdentificationFailure, ::testing::ValuesIn(FAILURE_ROWS), caseName);

// ---- Modes and answers ----

TEST_F(Identification, ready_unit_record_incomplete) {
    ASSERT_EQ(open(), 0);
    EXPECT_TRUE(recordHolds(connection, HOLDS_APP | HOLDS_ESC_INFO | HOLDS_BOOT_INFO));
    EXPECT_EQ(escTypeId(&connection), 0x111F408Cu);
    EXPECT_EQ(escFirmwareVersion(&connection), 0x020A);
    EXPECT_EQ(escBootloaderVersion(&connection), 0x00000102u);
    EXPECT_EQ(connection.unitFirmwareVersion, 0x00010203u);
}

// The identify reply is used whatever its status byte says.
TEST_F(Identification, identify_error_status_discards_answer) {
    simInjectFault(faultOn(SIM_FAULT_STATUS, CMD_IDENTIFY, 0, 0xFF));
    ASSERT_EQ(open(), 0);
    EXPECT_TRUE(recordHolds(connection, HOLDS_APP | HOLDS_ESC_INFO | HOLDS_BOOT_INFO));
}

TEST_F(Identification, read_memory_error_status_discards_version) {
    gSimUnit.identifyState = 0x01;
    simInjectFault(faultOn(SIM_FAULT_STATUS, CMD_READ_MEMORY, 0, 0xFF));
    ASSERT_EQ(open(), 0);
    EXPECT_TRUE(recordHolds(connection, HOLDS_BOOT | HOLDS_MEMORY));
}

TEST_F(Identification, bootloader_state_other_than_1_taken_as_application_mode) {
    for (uint8_t state : {uint8_t{0x01}, uint8_t{0x02}, uint8_t{0x80}, uint8_t{0xFF}}) {
        SCOPED_TRACE(state);
        closeConnection(&connection);
        simReset();
        gSimUnit.identifyState = state;
        ASSERT_EQ(open(), 0);
        EXPECT_EQ(connection.unitInBootloader, state);
        EXPECT_TRUE(recordHolds(connection, HOLDS_BOOT | HOLDS_MEMORY));
        EXPECT_EQ(sentCommands(), (std::vector<int>{CMD_IDENTIFY, CMD_READ_MEMORY}));
    }
}

// In bootloader mode reply bytes 4-5 belong to the bootloader identity, not escStatus.
TEST_F(Identification, bootloader_identity_read_as_esc_status) {
    gSimUnit.identifyState = 0x01;
    gSimUnit.bootIdentity[0] = 0x03;
    gSimUnit.bootIdentity[1] = 0x00;
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(connection.escStatus, 0);
    EXPECT_TRUE(recordHolds(connection, HOLDS_BOOT | HOLDS_MEMORY));
    EXPECT_EQ(sentCommands(), (std::vector<int>{CMD_IDENTIFY, CMD_READ_MEMORY}));
}

TEST_F(Identification, esc_read_without_updatable_esc) {
    for (uint16_t escStatus : {uint16_t{0}, uint16_t{2}, uint16_t{4}, uint16_t{0x0103}}) {
        SCOPED_TRACE(escStatus);
        closeConnection(&connection);
        simReset();
        gSimUnit.escStatus = escStatus;
        ASSERT_EQ(open(), 0);
        EXPECT_TRUE(recordHolds(connection, HOLDS_APP));
        EXPECT_EQ(sentCommands(), std::vector<int>{CMD_IDENTIFY});
    }
}

// Only bytes 4-5 of an ESC read's error reply are its code; the unit fills 6-7 with anything.
TEST_F(Identification, esc_error_code_read_as_32_bits) {
    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_READ_ESC_INFO, 0, 0xBEEF0005));
    EXPECT_EQ(open(), 5);
    EXPECT_TRUE(recordHolds(connection, HOLDS_APP));
    EXPECT_EQ(sentCommands(), (std::vector<int>{CMD_IDENTIFY, CMD_READ_ESC_INFO}));
}

TEST_F(Identification, esc_info_error_0_leaves_stale_version) {
    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_READ_ESC_INFO, 0, 0));
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(escFirmwareVersion(&connection), 0);
    EXPECT_TRUE(isZero(connection.escInfo, ESC_INFO_BLOCK_SIZE));
    EXPECT_EQ(escTypeId(&connection), 0x111F408Cu);
}

TEST_F(Identification, boot_info_error_0_leaves_stale_type) {
    simInjectFault(faultOn(SIM_FAULT_ERROR_REPLY, CMD_READ_ESC_BOOT_INFO, 0, 0));
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(escTypeId(&connection), 0u);
    EXPECT_EQ(escBootloaderVersion(&connection), 0u);
    EXPECT_EQ(escFirmwareVersion(&connection), 0x020A);
}

// Reopening clears what the previous identification stored before the new one runs.
TEST_F(Identification, reopen_keeps_previous_identification) {
    ASSERT_EQ(open(), 0);
    simRemoveInterface(UNIT_PATH);
    simResetUnit();
    gSimUnit.identifyState = 0x01;
    ASSERT_EQ(open(), 0);
    EXPECT_TRUE(recordHolds(connection, HOLDS_BOOT | HOLDS_MEMORY));
}

TEST_F(Identification, identify_without_unit_sends) {
    EXPECT_EQ(identifyUnit(&connection), LINK_NOT_OPEN);
    EXPECT_TRUE(simLog().empty());
}

} // namespace
