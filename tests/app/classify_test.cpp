// Classification at start-up and on arrival, device changes and the version display.
#include "app_fixture.h"

namespace {

enum Setup {
    NOTHING,
    OTHER_DEVICE,
    LIST_FAILS,
    IDENTIFY_FAILS,
    BOOTLOADER_1,
    BOOTLOADER_2,
    ESC_STATUS_2,
    TYPE_UNKNOWN,
    TYPE_ZERO,
    TYPE_FIRST,
    TYPE_SECOND
};

void prepare(Setup setup) {
    if (setup == NOTHING) {
        return;
    }
    if (setup == OTHER_DEVICE) {
        simAddInterface(simOtherInterface(0x046D, 0xC077, MOUSE_PATH));
        return;
    }
    if (setup == LIST_FAILS) {
        simSetListFails(true);
    }
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH));
    switch (setup) {
    case IDENTIFY_FAILS:
        gSimUnit.escInfoError = 5;
        break;
    case BOOTLOADER_1:
        gSimUnit.identifyState = 1;
        break;
    case BOOTLOADER_2:
        gSimUnit.identifyState = 2;
        break;
    case ESC_STATUS_2:
        gSimUnit.escStatus = 2;
        simSetEscType(0x12345678);
        break;
    case TYPE_UNKNOWN:
        simSetEscType(0x111F408D);
        break;
    case TYPE_ZERO:
        simSetEscType(0);
        break;
    case TYPE_FIRST:
        simSetEscType(0x111F408C);
        break;
    case TYPE_SECOND:
        simSetEscType(0x0A06408C);
        break;
    default:
        break;
    }
}

struct ClassifyCase {
    const char *name;
    Setup setup;
    uint16_t status; // 0: the ready text alone
    bool box;
};

const ClassifyCase CASES[] = {
    {"no unit", NOTHING, MSG_NO_UNIT, false},
    {"another HID device only", OTHER_DEVICE, MSG_NO_UNIT, false},
    {"no list of interfaces", LIST_FAILS, MSG_NO_UNIT, false},
    {"identification fails", IDENTIFY_FAILS, MSG_NO_UNIT, false},
    {"unit in its bootloader", BOOTLOADER_1, MSG_WRONG_MODE, false},
    {"bootloader state 2", BOOTLOADER_2, MSG_WRONG_MODE, false},
    {"ESC status 2", ESC_STATUS_2, MSG_NO_UPDATABLE_ESC, false},
    {"unknown ESC type", TYPE_UNKNOWN, MSG_ESC_NOT_COMPATIBLE, true},
    {"ESC type 0", TYPE_ZERO, MSG_ESC_NOT_COMPATIBLE, true},
    {"first supported type", TYPE_FIRST, 0, false},
    {"second supported type", TYPE_SECOND, 0, false},
};

class Classify : public AppTest {};

TEST_F(Classify, startup_outcome_steps_out_of_order) {
    const std::vector<std::string> ready =
        joined({{"status", "enable 1002 1"}, openDisplayCalls("2.3", "1.2", "2.10")});
    for (const ClassifyCase &c : CASES) {
        SCOPED_TRACE(c.name);
        restart();
        prepare(c.setup);
        bool closedDuringBox = false;
        setBoxHook([&](const UiCall &) {
            closedDuringBox = !isUnitOpen(&gUnit.connection) && !uiControlEnabled(IDC_UPDATE);
        });
        classifyConnection(&gUnit, TRIGGER_STARTUP);
        if (c.status == 0) {
            EXPECT_EQ(uiCallNames(), ready);
            EXPECT_EQ(uiStatusText(), message(MSG_READY));
            EXPECT_TRUE(isUnitOpen(&gUnit.connection));
            continue;
        }
        std::vector<std::string> expected = {"enable 1002 0"};
        if (c.box) {
            expected.push_back("inform");
        }
        expected = joined({expected, NOT_READY_CALLS, CLOSED_DISPLAY_CALLS});
        EXPECT_EQ(uiCallNames(), expected);
        EXPECT_EQ(uiStatusText(), notReadyText(c.status));
        EXPECT_FALSE(isUnitOpen(&gUnit.connection));
        EXPECT_EQ(simOpenHandleCount(), 0u);
        if (c.box) {
            EXPECT_TRUE(closedDuringBox);
            UiCall box = uiCallsOf(UI_INFORM).at(0);
            EXPECT_EQ(box.caption, L"ESC incompatible");
            EXPECT_NE(box.text.find(L"the type 'QUILLAR'. Other"), std::wstring::npos);
        }
        simSetListFails(false);
    }
}

TEST_F(Classify, arrival_outcome_steps_out_of_order) {
    const std::vector<std::string> ready =
        joined({{"status"}, openDisplayCalls("2.3", "1.2", "2.10"), {"enable 1002 1"}});
    for (const ClassifyCase &c : CASES) {
        SCOPED_TRACE(c.name);
        restart();
        classifyConnection(&gUnit, TRIGGER_STARTUP);
        clearUiTranscript();
        prepare(c.setup);
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        EXPECT_TRUE(handleDeviceChange(&gUnit, &arrival).handled);
        if (c.status == 0) {
            EXPECT_EQ(uiCallNames(), ready);
            EXPECT_EQ(uiStatusText(), message(MSG_READY));
            EXPECT_TRUE(isUnitOpen(&gUnit.connection));
            continue;
        }
        if (c.status == MSG_NO_UNIT) {
            // Nothing shown or switched; a unit whose identification failed stays open.
            EXPECT_EQ(uiCallNames(), std::vector<std::string>{});
            EXPECT_EQ(uiStatusText(), notReadyText(MSG_NO_UNIT));
            EXPECT_EQ(isUnitOpen(&gUnit.connection), c.setup == IDENTIFY_FAILS);
            simSetListFails(false);
            continue;
        }
        std::vector<std::string> expected = {"enable 1002 0"};
        if (c.box) {
            expected.push_back("inform");
        }
        EXPECT_EQ(uiCallNames(), joined({expected, NOT_READY_CALLS}));
        EXPECT_EQ(uiStatusText(), notReadyText(c.status));
        EXPECT_FALSE(isUnitOpen(&gUnit.connection));
        EXPECT_EQ(uiControlText(IDC_VERSION_UNIT), L"0.0.0");
    }
}

TEST_F(Classify, failed_identification_on_arrival_blocks_later_arrivals) {
    classifyConnection(&gUnit, TRIGGER_STARTUP);
    prepare(IDENTIFY_FAILS);
    DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
    handleDeviceChange(&gUnit, &arrival);
    ASSERT_TRUE(isUnitOpen(&gUnit.connection));
    EXPECT_FALSE(uiControlEnabled(IDC_UPDATE));

    // The unit is fixed but stays open unclassified: arrivals are not examined.
    gSimUnit.escInfoError = 0;
    clearUiTranscript();
    simClearLog();
    handleDeviceChange(&gUnit, &arrival);
    EXPECT_EQ(uiCallNames(), std::vector<std::string>{});
    EXPECT_TRUE(simSentFrames().empty());

    // Its removal gives the unit-removed outcome; the next arrival tries again.
    DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
    simRemoveInterface(UNIT_PATH);
    handleDeviceChange(&gUnit, &removal);
    EXPECT_EQ(uiStatusText(), notReadyText(MSG_CONNECTION_LOST));
    plugUnit();
    handleDeviceChange(&gUnit, &arrival);
    EXPECT_EQ(uiStatusText(), message(MSG_READY));
    EXPECT_TRUE(uiControlEnabled(IDC_UPDATE));
}

// The incompatible-ESC box handles device events. A ready unit that arrives while it is open
// shows its own status, which the notice about the ESC that left must not overwrite; anything
// else leaves the notice to come as before.
TEST_F(Classify, ready_arrival_in_incompatible_box_overwritten) {
    const struct {
        const char *name;
        ClassifyTrigger trigger;
        bool arrivesReady;
    } cases[] = {
        {"start-up, ready unit arrives", TRIGGER_STARTUP, true},
        {"arrival, ready unit arrives", TRIGGER_ARRIVAL, true},
        {"start-up, unidentified unit arrives", TRIGGER_STARTUP, false},
        {"arrival, unidentified unit arrives", TRIGGER_ARRIVAL, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        if (c.trigger == TRIGGER_ARRIVAL) {
            classifyConnection(&gUnit, TRIGGER_STARTUP);
        }
        prepare(TYPE_UNKNOWN);
        setBoxHook([&](const UiCall &call) {
            if (call.op != UI_INFORM || isUnitOpen(&gUnit.connection)) {
                return;
            }
            simRemoveInterface(UNIT_PATH);
            simSetEscType(SUPPORTED_ESC_TYPES[0]);
            gSimUnit.escInfoError = c.arrivesReady ? 0 : 5;
            plugUnit();
            DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
            appDeviceEvent(&gUnit, &arrival);
        });
        if (c.trigger == TRIGGER_ARRIVAL) {
            DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
            appDeviceEvent(&gUnit, &arrival);
        } else {
            classifyConnection(&gUnit, TRIGGER_STARTUP);
        }
        setBoxHook(nullptr);
        EXPECT_EQ(uiCallsOf(UI_INFORM).size(), 1u);
        EXPECT_TRUE(isUnitOpen(&gUnit.connection));
        if (c.arrivesReady) {
            EXPECT_EQ(uiStatusText(), message(MSG_READY));
            EXPECT_TRUE(uiControlEnabled(IDC_UPDATE));
            EXPECT_EQ(uiControlText(IDC_VERSION_ESC), L"2.10");
        } else {
            EXPECT_EQ(uiStatusText(), notReadyText(MSG_ESC_NOT_COMPATIBLE));
            EXPECT_FALSE(uiControlEnabled(IDC_UPDATE));
        }
    }
}

struct DeviceChangeCase {
    const char *name;
    DeviceEventKind kind;
    bool isDeviceInterface;
    bool unitOpen;
    std::wstring path;
    bool handled;
    bool unitRemoved;
};

TEST_F(Classify, device_change_misrouted) {
    std::wstring upper = UNIT_PATH;
    for (wchar_t &c : upper) {
        c = static_cast<wchar_t>(towupper(c));
    }
    const DeviceChangeCase cases[] = {
        {"arrival of a volume", DEVICE_ARRIVAL, false, false, L"", true, false},
        {"arrival while a unit is open", DEVICE_ARRIVAL, true, true, L"", true, false},
        {"removal of a volume", DEVICE_REMOVE_COMPLETE, false, true, UNIT_PATH, true, false},
        {"removal while no unit is open", DEVICE_REMOVE_COMPLETE, true, false, UNIT_PATH, true,
         false},
        {"removal of another interface", DEVICE_REMOVE_COMPLETE, true, true, MOUSE_PATH, true,
         false},
        {"removal of a longer path", DEVICE_REMOVE_COMPLETE, true, true, UNIT_PATH + L"x", true,
         false},
        {"removal of a shorter path", DEVICE_REMOVE_COMPLETE, true, true,
         UNIT_PATH.substr(0, UNIT_PATH.size() - 1), true, false},
        {"removal of the open unit", DEVICE_REMOVE_COMPLETE, true, true, UNIT_PATH, true, true},
        {"removal in other letter case", DEVICE_REMOVE_COMPLETE, true, true, upper, true, true},
        {"device nodes changed", DEVICE_OTHER, true, true, UNIT_PATH, false, false},
    };
    for (const DeviceChangeCase &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        plugUnit();
        if (!c.unitOpen) {
            gSimUnit.identifyState = 1;
        }
        classifyConnection(&gUnit, TRIGGER_STARTUP);
        ASSERT_EQ(isUnitOpen(&gUnit.connection), c.unitOpen);
        gSimUnit.identifyState = 0;
        // A second unit is present too: an arrival must not look at it while one is open.
        plugUnit(PRODUCT_ID_MERIVAN, MERIVAN_PATH);
        clearUiTranscript();
        simClearLog();
        DeviceEvent event = deviceEvent(c.kind, c.path, c.isDeviceInterface);
        EXPECT_EQ(handleDeviceChange(&gUnit, &event).handled, c.handled);
        if (c.unitRemoved) {
            EXPECT_EQ(uiCallNames(),
                      joined({{"enable 1002 0"}, CLOSED_DISPLAY_CALLS, NOT_READY_CALLS}));
            EXPECT_EQ(uiStatusText(), notReadyText(MSG_CONNECTION_LOST));
            EXPECT_FALSE(isUnitOpen(&gUnit.connection));
        } else {
            EXPECT_EQ(uiCallNames(), std::vector<std::string>{});
            EXPECT_EQ(isUnitOpen(&gUnit.connection), c.unitOpen);
        }
        EXPECT_TRUE(simSentFrames().empty());
    }
}

TEST_F(Classify, instructions_buffer_sized_wrong) {
    for (MessageLanguage language : {LANGUAGE_ENGLISH, LANGUAGE_GERMAN}) {
        restart();
        setMessageLanguage(language);
        showNotReadyStatus(&gUnit, MSG_CONNECTION_LOST);
        setMessageLanguage(LANGUAGE_ENGLISH);
        std::wstring status = catalogueText(MSG_CONNECTION_LOST, language);
        std::wstring instructions = catalogueText(MSG_INSTRUCTIONS, language);
        // Set once, whole: message, empty line, every character of the instructions.
        EXPECT_EQ(uiCallNames(), std::vector<std::string>{"status"});
        EXPECT_EQ(uiStatusText(), status + L"\r\n\r\n" + instructions);
    }
}

TEST(DevicePath, case_folding_beyond_ascii_letters) {
    EXPECT_TRUE(sameDevicePath(L"\\\\?\\HID#VID_3A7C", L"\\\\?\\hid#vid_3a7c"));
    EXPECT_FALSE(sameDevicePath(L"\u00e4", L"\u00c4"));
    EXPECT_FALSE(sameDevicePath(L"[", L"{")); // one apart like 'A' and 'a', but not letters
    EXPECT_FALSE(sameDevicePath(L"abc", L"ab"));
    EXPECT_FALSE(sameDevicePath(L"abc", nullptr));
    EXPECT_TRUE(sameDevicePath(L"", L""));
}

struct VersionCase {
    uint32_t unit;
    const char *unitText;
    uint32_t boot;
    const char *bootText;
    uint16_t esc;
    const char *escText;
};

TEST_F(Classify, version_text_misformatted) {
    const VersionCase cases[] = {
        {0x00010203, "2.3", 0x01020304, "1.3.4", 0x0300, "3.0"},
        {0x01020300, "2.3", 0x01000000, "1.0.0", 0x020A, "2.10"},
        {0x0A000105, "10.1.5", 0x00000102, "1.2", 0x00FF, "0.255"},
        {0x01020304, "1.3.4", 0x0A0B0C00, "10.12.0", 0x0000, "0.0"},
        {0x00000100, "0.1", 0, "0.0", 0xFFFF, "----------"},
        {0x00FF0000, "255.0", 0xFFFFFFFF, "255.255.255", 0xFFFE, "255.254"},
        {0, "0.0", 0x00FF0000, "0.0", 0x0100, "1.0"},
    };
    for (const VersionCase &c : cases) {
        SCOPED_TRACE(c.unitText);
        restart();
        gSimUnit.unitFirmwareVersion = c.unit;
        simSetEscBootloaderVersion(c.boot);
        simSetEscFirmwareVersion(c.esc);
        plugUnit();
        classifyConnection(&gUnit, TRIGGER_STARTUP);
        ASSERT_TRUE(isUnitOpen(&gUnit.connection));
        EXPECT_EQ(narrowText(uiControlText(IDC_VERSION_UNIT)), c.unitText);
        EXPECT_EQ(narrowText(uiControlText(IDC_VERSION_BOOTLOADER)), c.bootText);
        EXPECT_EQ(narrowText(uiControlText(IDC_VERSION_ESC)), c.escText);
    }
}

TEST_F(Classify, unit_label_wrong_or_lost_after_removal) {
    const struct {
        uint16_t productId;
        std::wstring path;
        const wchar_t *label;
    } cases[] = {{PRODUCT_ID_MERIVAN, MERIVAN_PATH, L"MERIVAN"},
                 {PRODUCT_ID_TALOMIR, UNIT_PATH, L"TALOMIR"}};
    for (const auto &c : cases) {
        restart();
        appInitialise(&gUnit);
        EXPECT_EQ(uiControlText(IDC_LABEL_UNIT), L"programming unit");
        EXPECT_EQ(uiControlText(IDC_VERSION_ESC), L"0.0.0");
        EXPECT_FALSE(uiControlEnabled(IDC_LABEL_UNIT));
        plugUnit(c.productId, c.path);
        DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
        appDeviceEvent(&gUnit, &arrival);
        EXPECT_EQ(uiControlText(IDC_LABEL_UNIT), c.label);
        EXPECT_TRUE(uiControlEnabled(IDC_LABEL_UNIT));
        simRemoveInterface(c.path);
        DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, c.path);
        appDeviceEvent(&gUnit, &removal);
        EXPECT_EQ(uiControlText(IDC_LABEL_UNIT), c.label);
        EXPECT_FALSE(uiControlEnabled(IDC_LABEL_UNIT));
        for (int control : {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC}) {
            EXPECT_EQ(uiControlText(control), L"0.0.0");
            EXPECT_FALSE(uiControlEnabled(control));
        }
        appClose(&gUnit);
    }
}

} // namespace
