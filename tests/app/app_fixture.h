// Shared set-up of the application tests: the simulated PC, the recording UI and clock.
#pragma once

#include "app/events.h"
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/update.h"
#include "link/frames.h"
#include "resource.h"
#include "sim/sim.h"
#include "tests/support/clock.h"
#include "tests/support/recording_ui.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Interface paths in the form the platform reports them.
inline const std::wstring UNIT_PATH =
    L"\\\\?\\hid#vid_3a7c&pid_0002#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
inline const std::wstring MERIVAN_PATH =
    L"\\\\?\\hid#vid_3a7c&pid_0001#7&5e6f7a8b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
inline const std::wstring MOUSE_PATH =
    L"\\\\?\\hid#vid_046d&pid_c077#7&0badf00d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

inline std::wstring message(uint16_t id) {
    return catalogueText(id, LANGUAGE_ENGLISH);
}

inline std::wstring notReadyText(uint16_t id) {
    return message(id) + L"\r\n\r\n" + message(MSG_INSTRUCTIONS);
}

inline DeviceEvent deviceEvent(DeviceEventKind kind, const std::wstring &path = L"",
                               bool isDeviceInterface = true) {
    DeviceEvent event{};
    event.kind = kind;
    event.isDeviceInterface = isDeviceInterface;
    path.copy(event.path, DEVICE_PATH_CAPACITY - 1);
    return event;
}

inline std::string narrowText(const std::wstring &text) {
    return std::string(text.begin(), text.end());
}

// The calls that showNotReadyStatus makes: the status, set once as a whole.
inline const std::vector<std::string> NOT_READY_CALLS = {"status"};
// The version display without a unit.
inline const std::vector<std::string> CLOSED_DISPLAY_CALLS = {
    "text 40013 0.0.0", "text 40014 0.0.0", "text 40015 0.0.0", "enable 40013 0", "enable 40014 0",
    "enable 40015 0",   "enable 40010 0",   "enable 1005 0",    "enable 40011 0"};

inline std::vector<std::string> openDisplayCalls(const std::string &unit, const std::string &boot,
                                                 const std::string &esc,
                                                 const std::string &label = "TALOMIR") {
    return {"enable 40013 1",    "enable 40014 1",     "enable 40015 1",     "enable 40010 1",
            "enable 1005 1",     "enable 40011 1",     "text 40013 " + unit, "text 40014 " + boot,
            "text 40015 " + esc, "text 40010 " + label};
}

inline std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        simReset();
        resetRecordingUi();
        resetRecordedPauses();
        appReset(&gUnit);
        setMessageLanguage(LANGUAGE_ENGLISH);
        setPauseHook([this](size_t, uint32_t milliseconds) {
            recordPause(milliseconds);
            if (onPause) {
                onPause(milliseconds);
            }
        });
    }

    void TearDown() override {
        EXPECT_EQ(unscriptedQuestions(), 0u) << "a question came that the test did not expect";
        setBoxHook(nullptr);
        resetRecordedPauses();
        appReset(&gUnit);
        EXPECT_EQ(simOpenHandleCount(), 0u);
        EXPECT_EQ(simOpenListCount(), 0u);
        EXPECT_EQ(simBadHandleUses(), 0u);
    }

    // A fresh PC and window inside one test, for tables of cases.
    void restart() {
        appReset(&gUnit);
        simReset();
        resetRecordingUi();
    }

    void plugUnit(uint16_t productId = PRODUCT_ID_TALOMIR, const std::wstring &path = UNIT_PATH) {
        simAddInterface(simUnitInterface(productId, path));
    }

    // A ready unit after start-up, with the transcript, log and pauses cleared.
    void startReady() {
        plugUnit();
        classifyConnection(&gUnit, TRIGGER_STARTUP);
        ASSERT_TRUE(isUnitOpen(&gUnit.connection));
        ASSERT_EQ(uiStatusText(), message(MSG_READY));
        forgetHistory();
    }

    void forgetHistory() {
        clearUiTranscript();
        simClearLog();
        resetRecordedPauses();
        setPauseHook([this](size_t, uint32_t milliseconds) {
            recordPause(milliseconds);
            if (onPause) {
                onPause(milliseconds);
            }
        });
    }

    // Called for every pause after it is recorded: tests act "during" a wait from here.
    std::function<void(uint32_t)> onPause;
};
