// Start-up and close of the main window.
#include "app_fixture.h"

namespace {

class Startup : public AppTest {};

TEST_F(Startup, title_labels_or_order_wrong) {
    appInitialise(&gUnit);
    EXPECT_EQ(uiTitle(), L"ZARVELO QUILLAR FW Updater 3.0 TEST BUILD");
    std::vector<std::string> names = uiCallNames();
    names.resize(6);
    EXPECT_EQ(names,
              (std::vector<std::string>{"icon", "title", "text 40010 programming unit",
                                        "text 1005 ESC-bootloader", "text 40011 ESC", "register"}));
    // Start-up classification with no unit follows.
    EXPECT_EQ(uiStatusText(), notReadyText(MSG_NO_UNIT));
    EXPECT_EQ(uiControlText(IDC_VERSION_UNIT), L"0.0.0");
    EXPECT_EQ(uiEndResult(), 0);
}

TEST_F(Startup, german_labels_missing) {
    setMessageLanguage(LANGUAGE_GERMAN);
    appInitialise(&gUnit);
    setMessageLanguage(LANGUAGE_ENGLISH);
    EXPECT_EQ(uiTitle(), L"ZARVELO QUILLAR FW Updater 3.0 TEST BUILD");
    EXPECT_EQ(uiControlText(IDC_LABEL_UNIT), L"Programmiereinheit");
    EXPECT_EQ(uiControlText(IDC_LABEL_BOOTLOADER), L"Regler-Bootloader");
    EXPECT_EQ(uiControlText(IDC_LABEL_ESC), L"Regler");
    EXPECT_EQ(uiStatusText().substr(0, 22), L"Es wurde keine Program");
}

TEST_F(Startup, registration_failure_goes_on) {
    plugUnit();
    setRegistrationFails(true);
    appInitialise(&gUnit);
    EXPECT_EQ(uiCallNames(),
              (std::vector<std::string>{"icon", "title", "text 40010 programming unit",
                                        "text 1005 ESC-bootloader", "text 40011 ESC", "register",
                                        "error", "end 1"}));
    UiCall box = uiCallsOf(UI_SHOW_ERROR).at(0);
    EXPECT_EQ(box.caption, L"Error in the application.");
    EXPECT_EQ(box.text, message(MSG_REGISTRATION_FAILED));
    EXPECT_TRUE(simSentFrames().empty());
    EXPECT_FALSE(isUnitOpen(&gUnit.connection));

    // Closing after that does not unregister what was never registered.
    clearUiTranscript();
    appClose(&gUnit);
    EXPECT_EQ(uiCallNames(), std::vector<std::string>{"end 2"});
}

TEST_F(Startup, close_leaves_unit_open_or_registered) {
    plugUnit();
    appInitialise(&gUnit);
    ASSERT_TRUE(isUnitOpen(&gUnit.connection));
    clearUiTranscript();
    appClose(&gUnit);
    EXPECT_EQ(uiCallNames(), (std::vector<std::string>{"unregister", "end 2"}));
    EXPECT_FALSE(isUnitOpen(&gUnit.connection));
    EXPECT_EQ(simOpenHandleCount(), 0u);
    EXPECT_EQ(uiEndResult(), WINDOW_RESULT_CLOSED);
}

TEST_F(Startup, reset_leaves_record_dirty) {
    plugUnit();
    classifyConnection(&gUnit, TRIGGER_STARTUP);
    ASSERT_TRUE(isUnitOpen(&gUnit.connection));
    appReset(&gUnit);
    EXPECT_EQ(gUnit.connection.handle, HID_INVALID_HANDLE);
    EXPECT_EQ(gUnit.connection.devicePath, nullptr);
    EXPECT_EQ(gUnit.connection.productId, 0);
    EXPECT_EQ(simOpenHandleCount(), 0u);
}

} // namespace
