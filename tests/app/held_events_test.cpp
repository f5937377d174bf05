// Device events that arrive while the update sends wait for it; those in its boxes do not.
#include "app_fixture.h"

namespace {

size_t blockFrames() {
    size_t count = 0;
    for (const std::vector<uint8_t> &frame : simSentFrames()) {
        count += frame.at(1) == CMD_WRITE_BLOCK ? 1 : 0;
    }
    return count;
}

std::vector<std::wstring> statusTexts() {
    std::vector<std::wstring> texts;
    for (const UiCall &call : uiCallsOf(UI_SET_STATUS)) {
        texts.push_back(call.text);
    }
    return texts;
}

class HeldEvents : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        image.assign(480, 0xA5);
        setImage(image.data(), image.size());
        startReady();
        scriptAnswers({true});
    }

    // Runs fn once, during the pause after the given block (from 1).
    void duringBlock(size_t block, std::function<void()> fn) {
        blocksSeen = 0;
        onPause = [this, block, fn](uint32_t) {
            if (uiProgressWindowExists() && ++blocksSeen == block) {
                fn();
            }
        };
    }

    std::vector<uint8_t> image;
    size_t blocksSeen = 0;
};

TEST_F(HeldEvents, handled_during_transfer_or_out_of_order) {
    size_t statusCallsBefore = 0;
    duringBlock(3, [&] {
        statusCallsBefore = uiCallsOf(UI_SET_STATUS).size();
        DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        EXPECT_TRUE(appDeviceEvent(&gUnit, &removal).handled);
        EXPECT_TRUE(appDeviceEvent(&gUnit, &arrival).handled);
        DeviceEvent other = deviceEvent(DEVICE_OTHER);
        EXPECT_FALSE(appDeviceEvent(&gUnit, &other).handled);
        EXPECT_EQ(heldDeviceEventCount(&gUnit), 2u);
        EXPECT_TRUE(isUnitOpen(&gUnit.connection));
        EXPECT_EQ(uiCallsOf(UI_SET_STATUS).size(), statusCallsBefore);
    });
    appUpdate(&gUnit);
    EXPECT_EQ(heldDeviceEventCount(&gUnit), 0u);
    // The update finished on the unit; then the removal, then the arrival found it again.
    EXPECT_EQ(blockFrames(), 10u);
    std::vector<std::wstring> expected = {message(MSG_UPDATE_SUCCEEDED),
                                          notReadyText(MSG_CONNECTION_LOST), message(MSG_READY)};
    EXPECT_EQ(statusTexts(), expected);
    EXPECT_TRUE(isUnitOpen(&gUnit.connection));
    EXPECT_TRUE(uiControlEnabled(IDC_UPDATE));
}

TEST_F(HeldEvents, removal_mid_transfer_not_a_failed_block) {
    duringBlock(3, [&] {
        simRemoveInterface(UNIT_PATH);
        DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        appDeviceEvent(&gUnit, &removal);
        appDeviceEvent(&gUnit, &arrival);
    });
    appUpdate(&gUnit);
    UiCall box = uiCallsOf(UI_SHOW_ERROR).at(0);
    EXPECT_EQ(narrowText(box.text.substr(0, box.text.find(L"\r\n"))),
              narrowText(message(MSG_WRITE_BLOCK_FAILED)));
    EXPECT_NE(box.text.find(L"errorcode: 0xfffffffe-"), std::wstring::npos);
    // The removal then concerned no open unit, and the arrival found none.
    EXPECT_EQ(statusTexts(), std::vector<std::wstring>{message(MSG_UPDATE_FAILED)});
    EXPECT_FALSE(isUnitOpen(&gUnit.connection));
    EXPECT_EQ(heldDeviceEventCount(&gUnit), 0u);
}

TEST_F(HeldEvents, held_arrival_missed_by_failure_box) {
    // A block fails while the unit stays plugged in: the arrival that waited is delivered when
    // the failure box opens, after the connection was closed, and finds the unit again.
    simInjectFault({SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 5, 0x0106, 0});
    duringBlock(2, [&] {
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        appDeviceEvent(&gUnit, &arrival);
    });
    appUpdate(&gUnit);
    std::vector<std::string> names = uiCallNames({UI_SET_STATUS, UI_SHOW_ERROR});
    EXPECT_EQ(names, (std::vector<std::string>{"status", "error", "status"}));
    EXPECT_EQ(statusTexts(),
              (std::vector<std::wstring>{message(MSG_READY), message(MSG_UPDATE_FAILED)}));
    EXPECT_TRUE(isUnitOpen(&gUnit.connection));
}

TEST_F(HeldEvents, removal_in_confirmation_box_held) {
    setBoxHook([&](const UiCall &call) {
        if (call.op != UI_ASK_OK_CANCEL) {
            return;
        }
        simRemoveInterface(UNIT_PATH);
        DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
        EXPECT_TRUE(appDeviceEvent(&gUnit, &removal).handled);
        EXPECT_FALSE(isUnitOpen(&gUnit.connection));
        EXPECT_EQ(uiStatusText(), notReadyText(MSG_CONNECTION_LOST));
    });
    appUpdate(&gUnit);
    EXPECT_TRUE(simLog().empty());
    UiCall box = uiCallsOf(UI_SHOW_ERROR).at(0);
    EXPECT_EQ(box.text, message(MSG_SYSTEM_LOCK_FAILED));
    EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_FAILED));
}

TEST_F(HeldEvents, events_in_failure_box_held) {
    simInjectFault({SIM_FAULT_READ_FAILS, CMD_ERASE_FIRMWARE, 1, 0, 5});
    setBoxHook([&](const UiCall &call) {
        if (call.op == UI_SHOW_ERROR) {
            DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
            appDeviceEvent(&gUnit, &arrival);
            EXPECT_EQ(uiStatusText(), message(MSG_READY));
        }
    });
    appUpdate(&gUnit);
    EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_FAILED));
    EXPECT_TRUE(isUnitOpen(&gUnit.connection));
}

TEST_F(HeldEvents, overflow_loses_removal_of_unit) {
    duringBlock(2, [&] {
        DeviceEvent mouse = deviceEvent(DEVICE_REMOVE_COMPLETE, MOUSE_PATH);
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
        for (int i = 0; i < 100; ++i) {
            appDeviceEvent(&gUnit, &mouse);
        }
        appDeviceEvent(&gUnit, &removal);
        for (int i = 0; i < 100; ++i) {
            appDeviceEvent(&gUnit, &arrival);
            appDeviceEvent(&gUnit, &mouse);
        }
        EXPECT_LE(heldDeviceEventCount(&gUnit), HELD_EVENT_CAPACITY);
    });
    appUpdate(&gUnit);
    std::vector<std::wstring> texts = statusTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], message(MSG_UPDATE_SUCCEEDED));
    EXPECT_EQ(texts[1], notReadyText(MSG_CONNECTION_LOST));
    EXPECT_EQ(texts.back(), message(MSG_READY));
    EXPECT_EQ(uiCallsOf(UI_SET_STATUS).size(), 3u);
}

// A device that comes and goes fills the queue; the unit pulled out after the last block must
// still be closed, or the record stays open on a gone unit and every later arrival is ignored.
TEST_F(HeldEvents, full_queue_loses_last_removal_of_unit) {
    duringBlock(10, [&] {
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        DeviceEvent mouse = deviceEvent(DEVICE_REMOVE_COMPLETE, MOUSE_PATH);
        for (size_t i = 0; i < HELD_EVENT_CAPACITY; ++i) {
            appDeviceEvent(&gUnit, &arrival);
            appDeviceEvent(&gUnit, &mouse);
        }
        simRemoveInterface(UNIT_PATH);
        DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
        appDeviceEvent(&gUnit, &removal);
        EXPECT_LE(heldDeviceEventCount(&gUnit), HELD_EVENT_CAPACITY);
    });
    appUpdate(&gUnit);
    EXPECT_EQ(blockFrames(), 10u);
    EXPECT_FALSE(isUnitOpen(&gUnit.connection));
    EXPECT_EQ(uiStatusText(), notReadyText(MSG_CONNECTION_LOST));
    EXPECT_FALSE(uiControlEnabled(IDC_UPDATE));

    // Plugged in again, it is found.
    plugUnit();
    DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
    appDeviceEvent(&gUnit, &arrival);
    EXPECT_EQ(uiStatusText(), message(MSG_READY));
}

// However the queue is squeezed, what the held events leave behind is what handling each of
// them in turn leaves: the connection, the status and the Update button.
TEST_F(HeldEvents, squeezed_queue_ends_elsewhere) {
    const DeviceEvent A = deviceEvent(DEVICE_ARRIVAL);
    const DeviceEvent U = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
    const DeviceEvent M = deviceEvent(DEVICE_REMOVE_COMPLETE, MOUSE_PATH);
    const DeviceEvent V = deviceEvent(DEVICE_ARRIVAL, L"", false);
    const struct {
        const char *name;
        std::vector<DeviceEvent> events;
    } cases[] = {
        {"unit removed, then arrivals", {U, A, M, A, M}},
        {"arrival, unit removed, arrival", {A, U, M, A}},
        {"arrivals, unit removed last", {A, M, A, M, U}},
        {"unit removed twice around an arrival", {M, U, A, U, M, U}},
        {"unit removed, no arrival", {U, M}},
        {"volumes only", {V, V}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // What handling them one by one leaves: the unit stays plugged in throughout.
        restart();
        setImage(image.data(), image.size());
        startReady();
        for (const DeviceEvent &event : c.events) {
            handleDeviceChange(&gUnit, &event);
        }
        const bool open = isUnitOpen(&gUnit.connection);
        const std::wstring status = uiStatusText();
        const bool enabled = uiControlEnabled(IDC_UPDATE);

        // The same events held in a queue padded to overflow with volume arrivals in between.
        restart();
        setImage(image.data(), image.size());
        startReady();
        holdDeviceEvents(&gUnit);
        for (const DeviceEvent &event : c.events) {
            for (size_t i = 0; i < HELD_EVENT_CAPACITY / c.events.size(); ++i) {
                appDeviceEvent(&gUnit, &V);
            }
            appDeviceEvent(&gUnit, &event);
        }
        EXPECT_LE(heldDeviceEventCount(&gUnit), HELD_EVENT_CAPACITY);
        releaseDeviceEvents(&gUnit);
        EXPECT_EQ(isUnitOpen(&gUnit.connection), open);
        EXPECT_EQ(narrowText(uiStatusText()), narrowText(status));
        EXPECT_EQ(uiControlEnabled(IDC_UPDATE), enabled);
    }
}

TEST_F(HeldEvents, busy_flag_wrong) {
    bool busyDuring = false;
    duringBlock(1, [&] { busyDuring = appUpdateBusy(&gUnit); });
    EXPECT_FALSE(appUpdateBusy(&gUnit));
    appUpdate(&gUnit);
    EXPECT_TRUE(busyDuring);
    EXPECT_FALSE(appUpdateBusy(&gUnit));
    EXPECT_FALSE(deviceEventsWaiting(&gUnit));
}

} // namespace

TEST_F(HeldEvents, close_mid_transfer_pulls_unit) {
    duringBlock(2, [&] { appClose(&gUnit); });
    appUpdate(&gUnit);
    EXPECT_EQ(blockFrames(), 10u);
    EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
    EXPECT_TRUE(isUnitOpen(&gUnit.connection));
    EXPECT_TRUE(uiCallsOf(UI_END_WINDOW).empty());
    appClose(&gUnit);
    EXPECT_EQ(uiCallsOf(UI_END_WINDOW).size(), 1u);
    EXPECT_FALSE(isUnitOpen(&gUnit.connection));
}
