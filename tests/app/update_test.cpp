// The update: failures of every step, declines, the version guard, whole transfers.
#include "app_fixture.h"

#include "link/connection.h"

#include <cstring>

namespace {

std::vector<uint8_t> makeImage(size_t length) {
    std::vector<uint8_t> image(length);
    for (size_t i = 0; i < length; ++i) {
        image[i] = static_cast<uint8_t>((i * 131 + i / 256 + 17) & 0xFF);
    }
    return image;
}

std::vector<uint8_t> frameOf(void (*build)(CommandFrame *, uint8_t), uint8_t param) {
    CommandFrame frame;
    build(&frame, param);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&frame);
    return std::vector<uint8_t>(bytes, bytes + FRAME_SIZE);
}

std::vector<uint8_t> frameOf(void (*build)(CommandFrame *)) {
    CommandFrame frame;
    build(&frame);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&frame);
    return std::vector<uint8_t>(bytes, bytes + FRAME_SIZE);
}

// Every frame written to the unit, the failed ones too, by command code.
std::vector<uint8_t> writtenCommands() {
    std::vector<uint8_t> commands;
    for (const SimLogEntry &entry : simLog()) {
        if (entry.direction == SIM_TO_UNIT) {
            commands.push_back(entry.bytes.at(1));
        }
    }
    return commands;
}

size_t countOf(const std::vector<uint8_t> &commands, uint8_t command) {
    size_t count = 0;
    for (uint8_t c : commands) {
        count += c == command ? 1 : 0;
    }
    return count;
}

std::wstring errorLine(uint32_t result, uint32_t systemError) {
    wchar_t line[MESSAGE_BUFFER_SIZE];
    const FormatArg args[] = {{nullptr, result}, {nullptr, systemError}};
    formatText(line, MESSAGE_BUFFER_SIZE, catalogueText(MSG_ERROR_CODE, LANGUAGE_ENGLISH), args, 2);
    return line;
}

class Update : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        image = makeImage(480);
        setImage(image.data(), image.size());
    }

    void expectFailedState() {
        EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_FAILED));
        EXPECT_FALSE(isUnitOpen(&gUnit.connection));
        EXPECT_EQ(gUnit.connection.devicePath, nullptr);
        EXPECT_FALSE(uiControlEnabled(IDC_UPDATE));
        for (int control : {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC}) {
            EXPECT_EQ(uiControlText(control), L"0.0.0");
            EXPECT_FALSE(uiControlEnabled(control));
        }
        EXPECT_FALSE(uiProgressWindowExists());
        EXPECT_FALSE(uiKeepingAwake());
    }

    std::vector<uint8_t> image;
};

struct FailureCase {
    const char *name;
    SimFault fault;
    int32_t result;
    uint16_t text;
    bool systemCallFailed; // the fault's system error is shown; else the unit refused: 0
};

constexpr uint32_t SYS = 0x0000001F;

const FailureCase FAILURES[] = {
    {"lock write", {SIM_FAULT_WRITE_FAILS, CMD_SYSTEM_LOCK, 1, 0, SYS}, -2, 40026, true},
    {"lock read", {SIM_FAULT_READ_FAILS, CMD_SYSTEM_LOCK, 1, 0, SYS}, -3, 40026, true},
    {"lock state 0", {SIM_FAULT_STATE, CMD_SYSTEM_LOCK, 1, 0, 0}, 1627, 40026, false},
    {"protection write", {SIM_FAULT_WRITE_FAILS, CMD_WRITE_PROTECT, 1, 0, SYS}, -2, 40027, true},
    {"protection read", {SIM_FAULT_READ_FAILS, CMD_WRITE_PROTECT, 1, 0, SYS}, -3, 40027, true},
    {"protection error",
     {SIM_FAULT_ERROR_REPLY, CMD_WRITE_PROTECT, 1, 0x1234, 0},
     0x1234,
     40027,
     false},
    {"protection error -1",
     {SIM_FAULT_ERROR_REPLY, CMD_WRITE_PROTECT, 1, 0xFFFFFFFF, 0},
     -1,
     40027,
     false},
    {"protection state 1", {SIM_FAULT_STATE, CMD_WRITE_PROTECT, 1, 1, 0}, 1627, 40027, false},
    {"erase write", {SIM_FAULT_WRITE_FAILS, CMD_ERASE_FIRMWARE, 1, 0, SYS}, -2, 40028, true},
    {"erase read", {SIM_FAULT_READ_FAILS, CMD_ERASE_FIRMWARE, 1, 0, SYS}, -3, 40028, true},
    {"erase error",
     {SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 1, 0x0104, 0},
     0x0104,
     40028,
     false},
    {"address write", {SIM_FAULT_WRITE_FAILS, CMD_SET_ADDRESS, 1, 0, SYS}, -2, 40008, true},
    {"address read", {SIM_FAULT_READ_FAILS, CMD_SET_ADDRESS, 1, 0, SYS}, -3, 40008, true},
    {"address error", {SIM_FAULT_ERROR_REPLY, CMD_SET_ADDRESS, 1, 0x0105, 0}, 0x0105, 40008, false},
    {"first block write", {SIM_FAULT_WRITE_FAILS, CMD_WRITE_BLOCK, 1, 0, SYS}, -2, 40009, true},
    {"last block write", {SIM_FAULT_WRITE_FAILS, CMD_WRITE_BLOCK, 10, 0, SYS}, -2, 40009, true},
    {"block read", {SIM_FAULT_READ_FAILS, CMD_WRITE_BLOCK, 4, 0, SYS}, -3, 40009, true},
    {"block error", {SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 5, 0x0106, 0}, 0x0106, 40009, false},
    {"block error -1",
     {SIM_FAULT_ERROR_REPLY, CMD_WRITE_BLOCK, 5, 0xFFFFFFFF, 0},
     -1,
     40009,
     false},
    {"unplugged at a block", {SIM_FAULT_UNPLUGGED, CMD_WRITE_BLOCK, 3, 0, 1167}, -2, 40009, true},
};

TEST_F(Update, failure_misreported_or_goes_on) {
    for (const FailureCase &c : FAILURES) {
        SCOPED_TRACE(c.name);
        restart();
        setImage(image.data(), image.size());
        // A device that the search could not open leaves a system error behind; a refusal by
        // the unit must not show it.
        SimInterface held = simOtherInterface(0x046D, 0xC077, MOUSE_PATH);
        held.heldExclusively = true;
        simAddInterface(held);
        startReady();
        simInjectFault(c.fault);
        scriptAnswers({true});
        UpdateResult result = runUpdate(&gUnit);

        // What the box shows is what the update returns.
        EXPECT_EQ(result.status, UPDATE_FAILED);
        EXPECT_EQ(result.textId, c.text);
        EXPECT_EQ(result.result, c.result);
        EXPECT_EQ(result.systemError, c.systemCallFailed ? c.fault.systemError : 0);
        std::vector<UiCall> boxes = uiCallsOf(UI_SHOW_ERROR);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, L"Update failed!");
        std::wstring expected = message(c.text);
        if (c.result != -1) {
            expected += L"\r\n" + errorLine(static_cast<uint32_t>(c.result),
                                            c.systemCallFailed ? c.fault.systemError : 0);
        }
        EXPECT_EQ(narrowText(boxes[0].text), narrowText(expected));
        expectFailedState();
        EXPECT_EQ(uiCallNames({UI_KEEP_AWAKE, UI_SHOW_ERROR, UI_SET_STATUS}),
                  (std::vector<std::string>{"keepAwake 1", "error", "status", "keepAwake 0"}));

        // Nothing is written after the failing command.
        std::vector<uint8_t> commands = writtenCommands();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), static_cast<uint8_t>(c.fault.command));
        EXPECT_EQ(countOf(commands, static_cast<uint8_t>(c.fault.command)),
                  c.fault.command == CMD_WRITE_BLOCK ? c.fault.nth : 1u);
    }
}

TEST_F(Update, error_box_before_erase_pause) {
    startReady();
    simInjectFault({SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 1, 0x0104, 0});
    scriptAnswers({true});
    runUpdate(&gUnit);
    EXPECT_EQ(
        uiCallNames({UI_PAUSE, UI_SHOW_ERROR}),
        (std::vector<std::string>{"pause 20", "pause 20", "pause 1000", "pause 4000", "error"}));
}

TEST_F(Update, system_error_read_at_wrong_moment) {
    // The erase's system error is read after its 4000 ms pause; another failing operation during
    // that pause changes it (here, opening a path that is not there).
    startReady();
    simInjectFault({SIM_FAULT_READ_FAILS, CMD_ERASE_FIRMWARE, 1, 0, 5});
    onPause = [](uint32_t milliseconds) {
        if (milliseconds == AFTER_ERASE_PAUSE_MS) {
            EXPECT_EQ(hidOpenPath(L"\\\\?\\nowhere"), HID_INVALID_HANDLE);
        }
    };
    scriptAnswers({true});
    runUpdate(&gUnit);
    UiCall box = uiCallsOf(UI_SHOW_ERROR).at(0);
    EXPECT_EQ(narrowText(box.text), narrowText(message(MSG_ERASE_FAILED) + L"\r\n" +
                                               errorLine(0xFFFFFFFD, hidLastError())));
    EXPECT_NE(hidLastError(), 5u);
}

TEST_F(Update, replies_that_pass_rejected) {
    const struct {
        const char *name;
        SimFault fault;
    } cases[] = {
        {"lock status error, state 1", {SIM_FAULT_STATUS, CMD_SYSTEM_LOCK, 1, 0xFF, 0}},
        {"address state 7", {SIM_FAULT_STATE, CMD_SET_ADDRESS, 1, 7, 0}},
        {"protection set fails", {SIM_FAULT_WRITE_FAILS, CMD_WRITE_PROTECT, 2, 0, SYS}},
        {"lock release read fails", {SIM_FAULT_READ_FAILS, CMD_SYSTEM_LOCK, 2, 0, SYS}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        setImage(image.data(), image.size());
        startReady();
        simInjectFault(c.fault);
        scriptAnswers({true});
        runUpdate(&gUnit);
        EXPECT_TRUE(uiCallsOf(UI_SHOW_ERROR).empty());
        EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
        EXPECT_EQ(uiControlText(IDC_VERSION_ESC), L"3.0");
        EXPECT_EQ(escFirmwareVersion(&gUnit.connection), 0x0300);
        EXPECT_TRUE(isUnitOpen(&gUnit.connection));
    }
}

TEST_F(Update, error_reply_with_code_0_stops_update) {
    // The simulated unit does not act on a command it answers with an error, so the step after
    // fails in the unit; what matters is that the sequence went on to it.
    const struct {
        const char *name;
        SimFault fault;
        uint8_t next;
        uint16_t stepText;
    } cases[] = {
        {"protection",
         {SIM_FAULT_ERROR_REPLY, CMD_WRITE_PROTECT, 1, 0, 0},
         CMD_ERASE_FIRMWARE,
         MSG_WRITE_PROTECT_FAILED},
        {"address",
         {SIM_FAULT_ERROR_REPLY, CMD_SET_ADDRESS, 1, 0, 0},
         CMD_WRITE_BLOCK,
         MSG_SET_ADDRESS_FAILED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        setImage(image.data(), image.size());
        startReady();
        simInjectFault(c.fault);
        scriptAnswers({true});
        runUpdate(&gUnit);
        EXPECT_EQ(countOf(writtenCommands(), c.next), 1u);
        for (const UiCall &box : uiCallsOf(UI_SHOW_ERROR)) {
            EXPECT_NE(box.text.substr(0, message(c.stepText).size()), message(c.stepText));
        }
    }
}

TEST_F(Update, no_unit_guard_asks_or_sends) {
    classifyConnection(&gUnit, TRIGGER_STARTUP);
    forgetHistory();
    runUpdate(&gUnit);
    EXPECT_EQ(uiCallNames(),
              joined({{"enable 1002 0"}, CLOSED_DISPLAY_CALLS, {"error", "status"}}));
    UiCall box = uiCallsOf(UI_SHOW_ERROR).at(0);
    EXPECT_EQ(box.caption, L"Update failed!");
    EXPECT_EQ(box.text, message(MSG_UNIT_NOT_DETECTED));
    EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_FAILED));
    EXPECT_TRUE(simLog().empty());
}

// The questions' boxes handle device events: the unit may leave and arrive again. Only a unit
// that classified ready since it was opened may be erased; one that is open without having
// been identified fails like no unit at all, before anything is sent.
TEST_F(Update, unclassified_unit_erased_after_questions) {
    const struct {
        const char *name;
        UiOp box; // the question during which the unit leaves and arrives again
        void (*change)(SimInterface &);
        bool updates;
    } cases[] = {
        {"identification fails", UI_ASK_OK_CANCEL,
         [](SimInterface &) { gSimUnit.escInfoError = 5; }, false},
        {"lengths unreadable", UI_ASK_OK_CANCEL, [](SimInterface &d) { d.lengthsFail = true; },
         false},
        {"output report too short", UI_ASK_OK_CANCEL, [](SimInterface &d) { d.outputLength = 16; },
         false},
        {"identification fails in the version question", UI_ASK_YES_NO,
         [](SimInterface &) { gSimUnit.escInfoError = 5; }, false},
        {"ready again", UI_ASK_OK_CANCEL, [](SimInterface &) {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        setImage(image.data(), image.size());
        simSetEscFirmwareVersion(0x0300);
        startReady();
        setBoxHook([&](const UiCall &call) {
            if (call.op != c.box) {
                return;
            }
            simRemoveInterface(UNIT_PATH);
            DeviceEvent removal = deviceEvent(DEVICE_REMOVE_COMPLETE, UNIT_PATH);
            appDeviceEvent(&gUnit, &removal);
            SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_PATH);
            c.change(unit);
            simAddInterface(unit);
            DeviceEvent arrival = deviceEvent(DEVICE_ARRIVAL);
            appDeviceEvent(&gUnit, &arrival);
            ASSERT_TRUE(isUnitOpen(&gUnit.connection));
            simClearLog();
        });
        scriptAnswers({true, true});
        appUpdate(&gUnit);
        setBoxHook(nullptr);
        if (c.updates) {
            EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
            EXPECT_EQ(std::memcmp(gSimUnit.flash.data(), image.data(), image.size()), 0);
            continue;
        }
        EXPECT_TRUE(simLog().empty());
        std::vector<UiCall> boxes = uiCallsOf(UI_SHOW_ERROR);
        EXPECT_EQ(boxes.size(), 1u);
        for (const UiCall &box : boxes) {
            EXPECT_EQ(box.caption, L"Update failed!");
            EXPECT_EQ(box.text, message(MSG_UNIT_NOT_DETECTED));
        }
        expectFailedState();
        EXPECT_EQ(simOpenHandleCount(), 0u);
    }
}

TEST_F(Update, decline_changes_something) {
    const struct {
        const char *name;
        uint16_t installed;
        std::vector<bool> answers;
    } cases[] = {
        {"cancel", 0x020A, {false}},
        {"no to the version question", 0x0300, {true, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        setImage(image.data(), image.size());
        simSetEscFirmwareVersion(c.installed);
        startReady();
        const UnitConnection before = gUnit.connection;
        scriptAnswers(c.answers);
        EXPECT_EQ(runUpdate(&gUnit).status, UPDATE_DECLINED);
        std::vector<std::string> boxes = {"askOkCancel"};
        if (c.answers.size() == 2) {
            boxes.push_back("askYesNo");
        }
        EXPECT_EQ(uiCallNames(), boxes);
        EXPECT_TRUE(simLog().empty());
        EXPECT_TRUE(recordedPauses().empty());
        EXPECT_EQ(std::memcmp(&before, &gUnit.connection, sizeof before), 0);
        EXPECT_EQ(uiStatusText(), message(MSG_READY));
        EXPECT_TRUE(uiControlEnabled(IDC_UPDATE));
    }
}

TEST_F(Update, version_guard_asks_wrongly) {
    const struct {
        uint16_t installed;
        bool asks;
    } cases[] = {{0x02FF, false}, {0xFFFF, false}, {0x0000, false},
                 {0x0300, true},  {0x0301, true},  {0xFFFE, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.installed);
        restart();
        setImage(image.data(), image.size());
        simSetEscFirmwareVersion(c.installed);
        startReady();
        scriptAnswers(c.asks ? std::vector<bool>{true, true} : std::vector<bool>{true});
        runUpdate(&gUnit);
        EXPECT_EQ(uiCallsOf(UI_ASK_YES_NO).size(), c.asks ? 1u : 0u);
        EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
        if (c.asks) {
            UiCall question = uiCallsOf(UI_ASK_YES_NO).at(0);
            EXPECT_EQ(question.caption, L"Newer firmware found.");
            EXPECT_EQ(question.text, message(MSG_OLDER_FIRMWARE));
        }
    }
    UiCall confirmation = uiCallsOf(UI_ASK_OK_CANCEL).at(0);
    EXPECT_EQ(confirmation.caption, L"important note");
    EXPECT_EQ(confirmation.text, message(MSG_IMPORTANT));
}

TEST_F(Update, whole_image_not_written_as_is) {
    const std::vector<uint8_t> full = makeImage(97808);
    setImage(full.data(), full.size());
    startReady();
    scriptAnswers({true});
    EXPECT_EQ(runUpdate(&gUnit).status, UPDATE_SUCCEEDED);

    // The frames: lock, clear protection, erase, address, 2,038 blocks, protect, release.
    std::vector<std::vector<uint8_t>> frames = simSentFrames();
    ASSERT_EQ(frames.size(), 4u + 2038u + 2u);
    const std::vector<std::vector<uint8_t>> fixed = {
        frameOf(buildSystemLock, SYSTEM_LOCK_SET), frameOf(buildWriteProtect, WRITE_PROTECT_CLEAR),
        frameOf(buildEraseFirmware), frameOf(buildSetAddress)};
    for (size_t i = 0; i < fixed.size(); ++i) {
        EXPECT_EQ(frames[i], fixed[i])
            << "frame " << i << "\n sent " << simHex(frames[i].data(), 60) << "\n want "
            << simHex(fixed[i].data(), 60);
    }
    EXPECT_EQ(frames[2042], frameOf(buildWriteProtect, WRITE_PROTECT_SET));
    EXPECT_EQ(frames[2043], frameOf(buildSystemLock, SYSTEM_LOCK_RELEASE));
    for (size_t block = 0; block < 2038; ++block) {
        const std::vector<uint8_t> &frame = frames[4 + block];
        ASSERT_EQ(frame[1], CMD_WRITE_BLOCK);
        ASSERT_EQ(frame[2], block < 2037 ? 48 : 32) << "block " << block;
    }
    ASSERT_GE(gSimUnit.flash.size(), full.size());
    EXPECT_EQ(std::memcmp(gSimUnit.flash.data(), full.data(), full.size()), 0);

    EXPECT_EQ(recordedPauseTotal(), 45840u);
    std::vector<UiCall> progress = uiCallsOf(UI_SET_PROGRESS);
    ASSERT_EQ(progress.size(), 1u + 2038u);
    EXPECT_EQ(progress[0].value, 0);
    EXPECT_EQ(progress[1].value, 0);
    EXPECT_EQ(progress[2037].value, 99);
    EXPECT_EQ(progress[2038].value, 100);

    EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
    EXPECT_EQ(uiControlText(IDC_VERSION_ESC), L"3.0");
    EXPECT_EQ(escFirmwareVersion(&gUnit.connection), 0x0300);
    EXPECT_TRUE(isUnitOpen(&gUnit.connection));
    EXPECT_FALSE(uiControlEnabled(IDC_UPDATE));
    EXPECT_TRUE(uiCallsOf(UI_SHOW_ERROR).empty());
    EXPECT_FALSE(uiProgressWindowExists());
    EXPECT_EQ(uiCallNames({UI_KEEP_AWAKE}),
              (std::vector<std::string>{"keepAwake 1", "keepAwake 0"}));
}

TEST_F(Update, steps_out_of_order) {
    const std::vector<uint8_t> small = makeImage(96);
    setImage(small.data(), small.size());
    startReady();
    scriptAnswers({true});
    runUpdate(&gUnit);
    EXPECT_EQ(uiCallNames(),
              joined({{"askOkCancel",     "loadImage",      "keepAwake 1",    "pause 20",
                       "pause 20",        "pause 1000",     "pause 4000",     "pause 20",
                       "pause 20",        "dialogRect",     "createProgress", "progress 0",
                       "raise main",      "raise progress", "progress 50",    "foreground",
                       "foreground",      "raise main",     "raise progress", "show main",
                       "show progress",   "pause 20",       "progress 100",   "pause 20",
                       "destroyProgress", "enable 1002 0"},
                      openDisplayCalls("2.3", "1.2", "3.0"),
                      {"status", "keepAwake 0"}}));
    UiCall created = uiCallsOf(UI_CREATE_PROGRESS).at(0);
    EXPECT_EQ(created.text, message(MSG_PROGRESS));
}

// The progress window only shows the transfer: without one the image is written all the same.
TEST_F(Update, missing_progress_window_stops_transfer) {
    setProgressWindowFails(true);
    startReady();
    scriptAnswers({true});
    runUpdate(&gUnit);
    EXPECT_EQ(countOf(writtenCommands(), CMD_WRITE_BLOCK), image.size() / BLOCK_SIZE);
    EXPECT_EQ(std::memcmp(gSimUnit.flash.data(), image.data(), image.size()), 0);
    EXPECT_TRUE(uiCallsOf(UI_SHOW_ERROR).empty());
    EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
    EXPECT_TRUE(uiCallsOf(UI_SET_PROGRESS).empty());
}

TEST_F(Update, progress_window_off_centre) {
    const struct {
        UiRect dialog;
        int32_t dpi;
        UiRect expected; // left, top, width, height
    } cases[] = {
        {{100, 200, 700, 600}, 96, {200, 375, 400, 50}},
        {{0, 0, 301, 51}, 96, {-50, 0, 400, 50}},
        {{-301, -51, 0, 0}, 96, {-351, -51, 400, 50}},
        {{100, 200, 856, 776}, 144, {178, 451, 600, 75}},
    };
    for (const auto &c : cases) {
        restart();
        setImage(image.data(), image.size());
        setDialogRect(c.dialog);
        setWindowDpi(c.dpi);
        startReady();
        scriptAnswers({true});
        runUpdate(&gUnit);
        UiRect place = uiCallsOf(UI_CREATE_PROGRESS).at(0).place;
        EXPECT_EQ(place.left, c.expected.left);
        EXPECT_EQ(place.top, c.expected.top);
        EXPECT_EQ(place.right, c.expected.right);
        EXPECT_EQ(place.bottom, c.expected.bottom);
    }
}

TEST_F(Update, foreground_raised_too_often_or_never) {
    const struct {
        const char *name;
        std::vector<UiWindow> foreground;
        std::vector<std::string> expected;
    } cases[] = {
        {"another program first",
         {FAKE_OTHER_WINDOW, FAKE_OTHER_WINDOW},
         {"progress 25", "foreground", "progress 50", "foreground", "progress 75", "foreground",
          "foreground", "raise main", "raise progress", "show main", "show progress",
          "progress 100"}},
        {"focus lost between the two reads",
         {FAKE_PROGRESS_WINDOW, FAKE_OTHER_WINDOW},
         {"progress 25", "foreground", "foreground", "raise main", "raise progress", "show main",
          "show progress", "progress 50", "foreground", "foreground", "raise main",
          "raise progress", "show main", "show progress", "progress 75", "progress 100"}},
        {"never ours",
         {FAKE_OTHER_WINDOW, FAKE_OTHER_WINDOW, FAKE_OTHER_WINDOW, FAKE_OTHER_WINDOW},
         {"progress 25", "foreground", "progress 50", "foreground", "progress 75", "foreground",
          "progress 100", "foreground"}},
    };
    const std::vector<uint8_t> four = makeImage(4 * 48);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        setImage(four.data(), four.size());
        startReady();
        scriptForegroundWindows(c.foreground);
        if (std::string(c.name) == "never ours") {
            setForegroundWindow(FAKE_OTHER_WINDOW);
        }
        scriptAnswers({true});
        runUpdate(&gUnit);
        std::vector<std::string> names =
            uiCallNames({UI_SET_PROGRESS, UI_FOREGROUND, UI_RAISE, UI_SHOW});
        // Leave out the start: progress 0 and the first raising of both windows.
        names.erase(names.begin(), names.begin() + 3);
        EXPECT_EQ(names, c.expected);
    }
}

TEST_F(Update, image_bytes_dropped_or_misplaced) {
    const struct {
        size_t length;
        std::vector<uint8_t> words; // word count of each block
    } cases[] = {
        {4, {1}}, {47, {12}}, {48, {12}}, {50, {12, 1}}, {52, {12, 1}}, {1, {1}}, {97, {12, 12, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        restart();
        const std::vector<uint8_t> data = makeImage(c.length);
        setImage(data.data(), data.size());
        startReady();
        scriptAnswers({true});
        runUpdate(&gUnit);
        EXPECT_EQ(uiStatusText(), message(MSG_UPDATE_SUCCEEDED));
        std::vector<std::vector<uint8_t>> frames = simSentFrames();
        ASSERT_EQ(frames.size(), 4 + c.words.size() + 2);
        size_t offset = 0;
        for (size_t block = 0; block < c.words.size(); ++block) {
            const std::vector<uint8_t> &frame = frames[4 + block];
            EXPECT_EQ(frame[2], 4 * c.words[block]);
            std::vector<uint8_t> want(4 * c.words[block], 0xFF);
            for (size_t i = 0; i < want.size() && offset + i < c.length; ++i) {
                want[i] = data[offset + i];
            }
            EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 4,
                                           frame.begin() + 4 + static_cast<long>(want.size())),
                      want)
                << "block " << block << "\n sent " << simHex(frame.data() + 4, want.size())
                << "\n want " << simHex(want.data(), want.size());
            offset += want.size();
        }
        EXPECT_EQ(std::memcmp(gSimUnit.flash.data(), data.data(), c.length), 0);
        for (size_t i = c.length; i < offset; ++i) {
            EXPECT_EQ(gSimUnit.flash[i], 0xFF) << "padding at " << i;
        }
    }
}

TEST_F(Update, unusable_image_sent_anyway) {
    for (bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "missing" : "empty");
        restart();
        if (missing) {
            setImageMissing();
        } else {
            setImage(image.data(), 0);
        }
        startReady();
        scriptAnswers({true});
        runUpdate(&gUnit);
        EXPECT_TRUE(simLog().empty());
        UiCall box = uiCallsOf(UI_SHOW_ERROR).at(0);
        EXPECT_EQ(box.caption, L"Update failed!");
        EXPECT_EQ(box.text, message(MSG_WRITE_BLOCK_FAILED));
        expectFailedState();
        EXPECT_TRUE(uiCallsOf(UI_KEEP_AWAKE).empty());
    }
}

} // namespace
