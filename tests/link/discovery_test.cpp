// Finding and opening the unit among the HID interfaces, and the record's states around it.
#include "link_fixture.h"

namespace {

std::wstring pathOf(const char *name) {
    std::wstring path = L"\\\\?\\hid#";
    for (const char *c = name; *c != '\0'; ++c) {
        path += static_cast<wchar_t>(*c);
    }
    return path;
}

::testing::AssertionResult isCleared(const UnitConnection &record) {
    bool cleared = record.handle == HID_INVALID_HANDLE && record.devicePath == nullptr &&
                   record.outputReportLength == 0 && record.inputReportLength == 0 &&
                   record.unitInBootloader == 0 && record.unitFirmwareVersion == 0 &&
                   record.unitAuxInfo == 0 && record.escStatus == 0 && record.statusAux == 0 &&
                   record.bootIdent1 == 0 && record.bootIdent2 == 0 && record.bootIdent3 == 0 &&
                   record.bootIdent4 == 0 && record.bootIdent5 == 0 &&
                   isZero(record.escInfo, sizeof record.escInfo) &&
                   isZero(record.escBootInfo, sizeof record.escBootInfo) && record.productId == 0;
    if (cleared) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "record not cleared: handle " << record.handle << ", path "
           << (record.devicePath != nullptr ? "set" : "none") << ", productId " << record.productId
           << ", escStatus " << record.escStatus << ", version 0x" << std::hex
           << record.unitFirmwareVersion;
}

// ---- The search ----

TEST_F(LinkTest, no_interface_not_no_device) {
    EXPECT_EQ(openUnit(&connection), LINK_NO_DEVICE);
    EXPECT_TRUE(isCleared(connection));
}

TEST_F(LinkTest, unavailable_list_not_refused) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    simSetListFails(true);
    EXPECT_EQ(openUnit(&connection), LINK_NOT_OPEN);
    EXPECT_TRUE(isCleared(connection));
    EXPECT_TRUE(simOpenedPaths().empty());
}

// Interfaces that are not the unit, or cannot be used, are passed over with everything taken
// for them released; a unit behind them is still found, and without one the search ends with
// LINK_NO_DEVICE.
struct PassedOverCase {
    const char *name;
    SimInterface device;
    bool opened; // the search opens it before it can tell
};

SimInterface unitWith(void (*change)(SimInterface &)) {
    SimInterface device = simUnitInterface(PRODUCT_ID_TALOMIR, pathOf("unusable"));
    change(device);
    return device;
}

const PassedOverCase PASSED_OVER[] = {
    {"other_vendor", simOtherInterface(0x046D, 0x0002, pathOf("other_vendor")), true},
    {"unit_vendor_product_3", simOtherInterface(UNIT_VENDOR_ID, 3, pathOf("product_3")), true},
    {"unit_vendor_product_0", simOtherInterface(UNIT_VENDOR_ID, 0, pathOf("product_0")), true},
    {"held_exclusively", unitWith([](SimInterface &d) { d.heldExclusively = true; }), false},
    {"size_unreadable", unitWith([](SimInterface &d) { d.sizeFails = true; }), false},
    {"detail_unreadable", unitWith([](SimInterface &d) { d.detailFails = true; }), false},
    {"attributes_unreadable", unitWith([](SimInterface &d) { d.attributesFail = true; }), true},
};

class PassedOver : public LinkTest, public ::testing::WithParamInterface<PassedOverCase> {};

TEST_P(PassedOver, unusable_interface_taken_or_leaked) {
    simAddInterface(GetParam().device);
    EXPECT_EQ(openUnit(&connection), LINK_NO_DEVICE);
    EXPECT_TRUE(isCleared(connection));
    EXPECT_EQ(simOpenHandleCount(), 0u);
    EXPECT_EQ(simOpenedPaths().size(), GetParam().opened ? 1u : 0u);
    EXPECT_TRUE(simLog().empty()) << "nothing is written to a device that is not the unit";
}

TEST_P(PassedOver, unusable_interface_stops_search) {
    simAddInterface(GetParam().device);
    simAddInterface(simUnitInterface(PRODUCT_ID_MERIVAN, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    EXPECT_EQ(connection.productId, PRODUCT_ID_MERIVAN);
    ASSERT_NE(connection.devicePath, nullptr);
    EXPECT_EQ(std::wstring(connection.devicePath), UNIT_PATH);
    EXPECT_EQ(simOpenHandleCount(), 1u);
    EXPECT_EQ(simPeakOpenHandleCount(), 1u) << "the passed-over device stayed open";
}

INSTANTIATE_TEST_SUITE_P(Search, PassedOver, ::testing::ValuesIn(PASSED_OVER), caseName);

TEST_F(LinkTest, busy_unit_reported_as_open) {
    SimInterface busy = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
    busy.heldExclusively = true;
    simAddInterface(busy);
    EXPECT_EQ(openUnit(&connection), LINK_NO_DEVICE);
    EXPECT_EQ(hidLastError(), SIM_SYSTEM_ERROR_SHARING);
}

// Units that another of our programs holds are passed over like any unit that cannot be opened,
// but a search that finds no other says so, whatever comes after them in the list.
TEST_F(LinkTest, held_unit_reported_as_missing_or_taken) {
    SimInterface held = simUnitInterface(PRODUCT_ID_TALOMIR, pathOf("held"));
    held.heldByOurs = true;
    SimInterface busy = simUnitInterface(PRODUCT_ID_TALOMIR, pathOf("busy"));
    busy.heldExclusively = true;
    struct Case {
        const char *name;
        std::vector<SimInterface> interfaces;
        int32_t result;
    };
    const Case cases[] = {
        {"held alone", {held}, LINK_UNIT_IN_USE},
        {"held, then another device and a busy unit",
         {held, simOtherInterface(0x046D, 0x0002, pathOf("mouse")), busy},
         LINK_UNIT_IN_USE},
        {"busy unit alone", {busy}, LINK_NO_DEVICE},
        {"held, then a free unit", {held, simUnitInterface(PRODUCT_ID_MERIVAN, UNIT_PATH)}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        closeConnection(&connection);
        simReset();
        for (const SimInterface &device : c.interfaces) {
            simAddInterface(device);
        }
        EXPECT_EQ(openUnit(&connection), c.result);
        if (c.result != 0) {
            EXPECT_TRUE(isCleared(connection));
            continue;
        }
        EXPECT_EQ(std::wstring(connection.devicePath), UNIT_PATH);
        EXPECT_EQ(simOpenHandleCount(), 1u);
    }
}

TEST_F(LinkTest, second_unit_taken_over_first) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, pathOf("first")));
    simAddInterface(simUnitInterface(PRODUCT_ID_MERIVAN, pathOf("second")));
    ASSERT_EQ(openUnit(&connection), 0);
    EXPECT_EQ(connection.productId, PRODUCT_ID_TALOMIR);
    EXPECT_EQ(std::wstring(connection.devicePath), pathOf("first"));
    EXPECT_EQ(simOpenedPaths(), std::vector<std::wstring>{pathOf("first")});
}

TEST_F(LinkTest, product_id_not_stored) {
    for (uint16_t product : {PRODUCT_ID_MERIVAN, PRODUCT_ID_TALOMIR}) {
        SCOPED_TRACE(product);
        closeConnection(&connection);
        simReset();
        simAddInterface(simUnitInterface(product, UNIT_PATH));
        ASSERT_EQ(openUnit(&connection), 0);
        EXPECT_EQ(connection.productId, product);
        EXPECT_EQ(connection.outputReportLength, FRAME_SIZE);
        EXPECT_EQ(connection.inputReportLength, FRAME_SIZE);
    }
}

// The record's path outlives the search: nothing freed when the search ends is left in it.
TEST_F(LinkTest, device_path_freed_with_search) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    // A buffer of the search's size, likely to reuse the freed detail buffer.
    std::vector<wchar_t> scribble(UNIT_PATH.size() + 1, L'#');
    EXPECT_EQ(std::wstring(connection.devicePath), UNIT_PATH);
}

// ---- Opening over an open unit ----

TEST_F(LinkTest, reopen_leaks_old_unit) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    HidHandle old = connection.handle;
    ASSERT_EQ(openUnit(&connection), 0);
    EXPECT_NE(connection.handle, old);
    EXPECT_EQ(simOpenHandleCount(), 1u);
    EXPECT_EQ(simPeakOpenHandleCount(), 1u) << "the old handle was still open during the search";
    EXPECT_EQ(simOpenedPaths().size(), 2u);
}

TEST_F(LinkTest, reopen_without_unit_leaks_old_unit) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    simRemoveInterface(UNIT_PATH);
    EXPECT_EQ(openUnit(&connection), LINK_NO_DEVICE);
    EXPECT_TRUE(isCleared(connection));
    EXPECT_EQ(simOpenHandleCount(), 0u);
}

TEST_F(LinkTest, reopen_with_failing_list_leaks_old_unit) {
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    ASSERT_EQ(openUnit(&connection), 0);
    simSetListFails(true);
    EXPECT_EQ(openUnit(&connection), LINK_NOT_OPEN);
    EXPECT_TRUE(isCleared(connection));
    EXPECT_EQ(simOpenHandleCount(), 0u);
}

// ---- Report lengths ----

TEST_F(LinkTest, unreadable_lengths_close_unit) {
    SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
    unit.lengthsFail = true;
    simAddInterface(unit);
    EXPECT_EQ(openUnit(&connection), LINK_NOT_OPEN);
    EXPECT_TRUE(isUnitOpen(&connection));
    EXPECT_EQ(std::wstring(connection.devicePath), UNIT_PATH);
    EXPECT_EQ(connection.productId, PRODUCT_ID_TALOMIR);
    EXPECT_EQ(connection.outputReportLength, 0u);
    EXPECT_EQ(connection.inputReportLength, 0u);
    EXPECT_EQ(simOpenHandleCount(), 1u);
    EXPECT_TRUE(simLog().empty());
}

// Lengths the 60-byte frames cannot serve would make writes read past the command frame and
// reads write past the reply frame (or carry no report ID at all), and an output report too short
// for a block would cut every block: such a unit is not used.
struct LengthsCase {
    uint32_t input;
    uint32_t output;
    int32_t result;
};

const LengthsCase LENGTHS[] = {
    {0, 60, LINK_NOT_OPEN},
    {60, 0, LINK_NOT_OPEN},
    {0, 0, LINK_NOT_OPEN},
    {61, 60, LINK_NOT_OPEN},
    {60, 61, LINK_NOT_OPEN},
    {64, 64, LINK_NOT_OPEN},
    {65535, 65535, LINK_NOT_OPEN},
    {60, 16, LINK_NOT_OPEN},
    {60, 4, LINK_NOT_OPEN},
    {60, MIN_OUTPUT_REPORT_LENGTH - 1, LINK_NOT_OPEN},
    {60, 60, 0},
    {16, 60, 0},
    {60, MIN_OUTPUT_REPORT_LENGTH, 0},
};

TEST_F(LinkTest, unusable_report_lengths_used) {
    for (const LengthsCase &c : LENGTHS) {
        SCOPED_TRACE(::testing::Message() << "input " << c.input << ", output " << c.output);
        closeConnection(&connection);
        simReset();
        SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
        unit.inputLength = c.input;
        unit.outputLength = c.output;
        simAddInterface(unit);
        EXPECT_EQ(openUnit(&connection), c.result);
        EXPECT_TRUE(isUnitOpen(&connection)) << "the unit stays open for the caller to close";
        if (c.result != 0) {
            EXPECT_TRUE(simLog().empty()) << "nothing may be sent with unusable lengths";
            EXPECT_EQ(connection.inputReportLength, 0u);
            EXPECT_EQ(connection.outputReportLength, 0u);
        }
    }
}

// ---- Closing ----

TEST_F(LinkTest, close_leaves_record_set) {
    openDefaultUnit();
    closeConnection(&connection);
    EXPECT_TRUE(isCleared(connection));
    EXPECT_EQ(simOpenHandleCount(), 0u);
    closeConnection(&connection);
    EXPECT_TRUE(isCleared(connection));
}

TEST_F(LinkTest, close_of_never_opened_record_touches_device) {
    UnitConnection record;
    std::memset(static_cast<void *>(&record), 0x5A, sizeof record); // garbage in every field
    record.handle = HID_INVALID_HANDLE;
    record.devicePath = nullptr;
    closeConnection(&record);
    EXPECT_TRUE(isCleared(record));
    EXPECT_EQ(simBadHandleUses(), 0u);
}

// A unit that leaves while open: later exchanges fail, and the next search does not find it.
TEST_F(LinkTest, unplugged_unit_still_used) {
    openDefaultUnit();
    simInjectFault(faultOn(SIM_FAULT_UNPLUGGED, CMD_READ_ESC_INFO));
    CommandFrame command;
    buildReadEscInfo(&command);
    ReplyFrame reply;
    EXPECT_EQ(exchange(command, &reply), LINK_WRITE_FAILED);
    EXPECT_EQ(hidLastError(), SIM_SYSTEM_ERROR_NOT_CONNECTED);
    buildIdentify(&command);
    EXPECT_EQ(exchange(command, &reply), LINK_WRITE_FAILED);
    EXPECT_TRUE(isUnitOpen(&connection));
    EXPECT_EQ(openUnit(&connection), LINK_NO_DEVICE);
    EXPECT_TRUE(isCleared(connection));
}

} // namespace
