// The GTK window and its front end driven against the simulated unit under a virtual X server.
#include "tests/gtk/driver.h"

#include "app/mainwindow.h"
#include "link/units.h"
#include "app/messages.h"
#include "app/texts.h"
#include "link/frames.h"
#include "resource.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const wchar_t *const UNIT_NODE = L"/dev/hidraw3";

class GtkWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        simReset();
        gBoxes.clear();
        gAnswers.clear();
        gProgressSeen = ProgressSeen{};
        gPokeDuringTransfer = false;
        gPoked = false;
        gKeepBoxOpen = nullptr;
    }

    void TearDown() override {
        if (guiMainWindow() != nullptr) {
            appClose(&gUnit);
        }
        spin(20);
        EXPECT_EQ(guiMainWindow(), nullptr);
        EXPECT_EQ(guiProgressWindow(), nullptr);
        EXPECT_EQ(simOpenHandleCount(), 0u) << "the unit stays open after the window ended";
        simReset();
    }

    static void plugReadyUnit() {
        simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_NODE));
    }

    static void open(GtkApplication *app = nullptr) {
        ASSERT_NE(guiOpenMainWindow(app), nullptr);
        spin(150);
    }

    static void pressUpdate() {
        gtk_button_clicked(GTK_BUTTON(guiControl(IDC_UPDATE)));
        spin(50);
    }
};

TEST_F(GtkWindowTest, no_unit_startup_shows_not_ready) {
    open();
    EXPECT_EQ(shownStatus(), shown(notReady(MSG_NO_UNIT)));
    EXPECT_EQ(shownStatus().find('\r'), std::string::npos);
    EXPECT_FALSE(sensitive(IDC_UPDATE));
    EXPECT_TRUE(sensitive(IDCANCEL));
    for (int id : {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC}) {
        EXPECT_EQ(labelText(id), "0.0.0") << id;
    }
    for (int id : {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC, IDC_LABEL_UNIT,
                   IDC_LABEL_BOOTLOADER, IDC_LABEL_ESC}) {
        EXPECT_FALSE(sensitive(id)) << id;
    }
    EXPECT_EQ(labelText(IDC_LABEL_UNIT), shown(message(MSG_LABEL_UNIT)));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(guiMainWindow())),
                 "ZARVELO QUILLAR FW Updater 3.0 TEST BUILD");
    EXPECT_TRUE(gBoxes.empty());
}

TEST_F(GtkWindowTest, ready_unit_shows_versions_and_enables_update) {
    plugReadyUnit();
    simSetEscFirmwareVersion(0x020A);
    simSetEscBootloaderVersion(0x00000102);
    open();
    EXPECT_EQ(shownStatus(), shown(message(MSG_READY)));
    EXPECT_TRUE(sensitive(IDC_UPDATE));
    EXPECT_EQ(labelText(IDC_VERSION_ESC), "2.10");
    EXPECT_EQ(labelText(IDC_VERSION_BOOTLOADER), "1.2");
    EXPECT_EQ(labelText(IDC_LABEL_UNIT), "TALOMIR");
    for (int id : {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC, IDC_LABEL_UNIT,
                   IDC_LABEL_BOOTLOADER, IDC_LABEL_ESC}) {
        EXPECT_TRUE(sensitive(id)) << id;
    }
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(guiMainWindow())), guiControl(IDCANCEL))
        << "Close is the first tab stop";
}

TEST_F(GtkWindowTest, incompatible_esc_box_is_information_with_ok) {
    plugReadyUnit();
    simSetEscType(0x12345678);
    open();
    ASSERT_EQ(gBoxes.size(), 1u);
    const FormatArg model[] = {{TEXT_MODEL_NAME, 0}};
    wchar_t text[MESSAGE_BUFFER_SIZE];
    formatText(text, MESSAGE_BUFFER_SIZE, message(MSG_ESC_INCOMPATIBLE).c_str(), model, 1);
    EXPECT_EQ(gBoxes[0].caption, shown(message(MSG_ESC_INCOMPATIBLE_CAPTION)));
    EXPECT_EQ(gBoxes[0].text, shown(text));
    EXPECT_EQ(gBoxes[0].type, GTK_MESSAGE_INFO);
    EXPECT_EQ(gBoxes[0].icon, "dialog-information");
    for (const char *name : {"dialog-information", "dialog-warning", "dialog-error"}) {
        EXPECT_TRUE(gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), name)) << name;
    }
    EXPECT_EQ(gBoxes[0].responses, std::vector<int>{GTK_RESPONSE_OK});
    EXPECT_EQ(shownStatus(), shown(notReady(MSG_ESC_NOT_COMPATIBLE)));
    EXPECT_FALSE(sensitive(IDC_UPDATE));
}

TEST_F(GtkWindowTest, whole_update_succeeds_with_progress_drawn) {
    prepareUnits(); // the demo's own unit, so the screenshots show the demo
    // As the program runs it: inside an application, which keeps the system awake meanwhile.
    GtkApplication *app =
        gtk_application_new("example.zarvelo.QuillarUpdaterTest", G_APPLICATION_NON_UNIQUE);
    ASSERT_TRUE(g_application_register(G_APPLICATION(app), nullptr, nullptr));
    open(app);
    EXPECT_NE(g_list_find(gtk_application_get_windows(app), guiMainWindow()), nullptr);
    writeScreenshot("demo-ready.png");
    gAnswers = {GTK_RESPONSE_OK};
    guint watch = g_timeout_add(5, watchProgress, nullptr);
    pressUpdate();
    g_source_remove(watch);

    ASSERT_EQ(gBoxes.size(), 1u) << "firmware 2.x asks only the first question";
    EXPECT_EQ(gBoxes[0].caption, shown(message(MSG_IMPORTANT_CAPTION)));
    EXPECT_EQ(gBoxes[0].text, shown(message(MSG_IMPORTANT)));
    EXPECT_EQ(gBoxes[0].type, GTK_MESSAGE_WARNING);
    EXPECT_EQ(gBoxes[0].icon, "dialog-warning");
    EXPECT_EQ(gBoxes[0].responses, (std::vector<int>{GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL}));
    EXPECT_EQ(shownStatus(), shown(message(MSG_UPDATE_SUCCEEDED)));
    EXPECT_EQ(labelText(IDC_VERSION_ESC), "3.0");
    EXPECT_FALSE(sensitive(IDC_UPDATE));

    EXPECT_TRUE(gProgressSeen.existed);
    EXPECT_EQ(gProgressSeen.title, shown(message(MSG_PROGRESS)));
    EXPECT_TRUE(gProgressSeen.transientForMain);
    EXPECT_GT(gProgressSeen.draws, 0) << "the progress bar was never drawn during the transfer";
    EXPECT_DOUBLE_EQ(gProgressSeen.lastFraction, 1.0);
    EXPECT_EQ(guiProgressWindow(), nullptr);
    writeScreenshot("demo-updated.png");
    appClose(&gUnit);
    spin(20);
    g_object_unref(app);
}

TEST_F(GtkWindowTest, progress_window_centred_on_main_window) {
    plugReadyUnit();
    open();
    UiRect main = mainFrame();
    gAnswers = {GTK_RESPONSE_OK};
    guint watch = g_timeout_add(5, watchProgress, nullptr);
    pressUpdate();
    g_source_remove(watch);
    ASSERT_TRUE(gProgressSeen.existed);
    EXPECT_EQ(gProgressSeen.x, main.left + (main.right - main.left) / 2 - 200);
    EXPECT_EQ(gProgressSeen.y, main.top + (main.bottom - main.top) / 2 - 25);
    // The window as it stood on the screen: 400 x 50 like its template, so that its middle is
    // the main window's (the virtual display has no window manager to add a frame).
    EXPECT_EQ(gProgressSeen.frame.width, 400);
    EXPECT_EQ(gProgressSeen.frame.height, 50);
    EXPECT_EQ(gProgressSeen.frame.x + gProgressSeen.frame.width / 2,
              main.left + (main.right - main.left) / 2);
    EXPECT_EQ(gProgressSeen.frame.y + gProgressSeen.frame.height / 2,
              main.top + (main.bottom - main.top) / 2);
}

TEST_F(GtkWindowTest, declined_confirmation_changes_nothing) {
    plugReadyUnit();
    open();
    simClearLog();
    gAnswers = {GTK_RESPONSE_CANCEL};
    pressUpdate();
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_TRUE(simSentFrames().empty());
    EXPECT_EQ(shownStatus(), shown(message(MSG_READY)));
    EXPECT_TRUE(sensitive(IDC_UPDATE));
}

TEST_F(GtkWindowTest, newer_installed_firmware_asks_yes_no) {
    plugReadyUnit();
    simSetEscFirmwareVersion(0x0300);
    open();
    gAnswers = {GTK_RESPONSE_OK, GTK_RESPONSE_NO};
    pressUpdate();
    ASSERT_EQ(gBoxes.size(), 2u);
    EXPECT_EQ(gBoxes[1].caption, shown(message(MSG_NEWER_FIRMWARE_CAPTION)));
    EXPECT_EQ(gBoxes[1].type, GTK_MESSAGE_WARNING);
    EXPECT_EQ(gBoxes[1].responses, (std::vector<int>{GTK_RESPONSE_YES, GTK_RESPONSE_NO}));
    EXPECT_EQ(shownStatus(), shown(message(MSG_READY)));
}

TEST_F(GtkWindowTest, failed_update_shows_error_box_and_failed_status) {
    plugReadyUnit();
    open();
    simInjectFault(SimFault{SIM_FAULT_WRITE_FAILS, CMD_SYSTEM_LOCK, 1, 0, 0x1F});
    gAnswers = {GTK_RESPONSE_OK, GTK_RESPONSE_OK};
    pressUpdate();
    ASSERT_EQ(gBoxes.size(), 2u);
    wchar_t codes[MESSAGE_BUFFER_SIZE];
    const FormatArg args[] = {{nullptr, 0xFFFFFFFEu}, {nullptr, 0x1Fu}};
    formatText(codes, MESSAGE_BUFFER_SIZE, message(MSG_ERROR_CODE).c_str(), args, 2);
    EXPECT_EQ(gBoxes[1].caption, shown(message(MSG_UPDATE_FAILED_CAPTION)));
    EXPECT_EQ(gBoxes[1].text, shown(message(MSG_SYSTEM_LOCK_FAILED) + L"\r\n" + codes));
    EXPECT_EQ(gBoxes[1].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(gBoxes[1].icon, "dialog-error");
    EXPECT_EQ(gBoxes[1].responses, std::vector<int>{GTK_RESPONSE_OK});
    EXPECT_EQ(shownStatus(), shown(message(MSG_UPDATE_FAILED)));
    EXPECT_FALSE(sensitive(IDC_UPDATE));
    EXPECT_EQ(labelText(IDC_VERSION_ESC), "0.0.0");
    EXPECT_FALSE(gProgressSeen.existed);
}

TEST_F(GtkWindowTest, input_during_transfer_does_not_close_window) {
    plugReadyUnit();
    open();
    gAnswers = {GTK_RESPONSE_OK};
    gPokeDuringTransfer = true;
    guint watch = g_timeout_add(5, watchProgress, nullptr);
    pressUpdate();
    g_source_remove(watch);
    EXPECT_TRUE(gPoked);
    ASSERT_NE(guiMainWindow(), nullptr) << "Escape or the close box ended the update";
    EXPECT_EQ(shownStatus(), shown(message(MSG_UPDATE_SUCCEEDED)));
    // Once the update is over, the same keys act again.
    sendKey(guiMainWindow(), GDK_KEY_Escape);
    spin(50);
    EXPECT_EQ(guiMainWindow(), nullptr);
    EXPECT_EQ(guiWindowResult(), WINDOW_RESULT_CLOSED);
}

TEST_F(GtkWindowTest, registration_failure_reports_and_ends) {
    // A window first, so that fonts and theme are loaded while descriptors are still free.
    open();
    appClose(&gUnit);
    spin(20);
    simReset();
    plugReadyUnit();
    // No descriptor left for the udev monitor's socket: registration fails.
    const int lowestFree = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    GtkWidget *window = guiOpenMainWindow(nullptr);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(guiWindowResult(), WINDOW_RESULT_REGISTRATION_FAILED);
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0].caption, shown(message(MSG_APPLICATION_ERROR_CAPTION)));
    EXPECT_EQ(gBoxes[0].text, shown(message(MSG_REGISTRATION_FAILED)));
    EXPECT_EQ(gBoxes[0].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(gBoxes[0].responses, std::vector<int>{GTK_RESPONSE_OK});
    EXPECT_TRUE(simOpenedPaths().empty()) << "the unit was opened after registration failed";
}

TEST_F(GtkWindowTest, close_paths_end_window_and_close_unit) {
    enum Path { CLOSE_BUTTON, ESCAPE, CLOSE_BOX, ENTER_DEFAULT };
    for (Path path : {CLOSE_BUTTON, ESCAPE, CLOSE_BOX, ENTER_DEFAULT}) {
        simReset();
        plugReadyUnit();
        open();
        ASSERT_EQ(simOpenHandleCount(), 1u);
        switch (path) {
        case CLOSE_BUTTON:
            gtk_button_clicked(GTK_BUTTON(guiControl(IDCANCEL)));
            break;
        case ESCAPE:
            sendKey(guiMainWindow(), GDK_KEY_Escape);
            break;
        case CLOSE_BOX:
            sendDelete(guiMainWindow());
            break;
        case ENTER_DEFAULT:
            sendKey(guiMainWindow(), GDK_KEY_Return);
            break;
        }
        // A button activated from the keyboard shows itself pressed for a moment first.
        spin(400);
        EXPECT_EQ(guiMainWindow(), nullptr) << "path " << path;
        EXPECT_EQ(guiWindowResult(), WINDOW_RESULT_CLOSED) << "path " << path;
        EXPECT_EQ(simOpenHandleCount(), 0u) << "path " << path;
    }
}

TEST_F(GtkWindowTest, only_removal_of_open_node_counts) {
    plugReadyUnit();
    open();
    struct Case {
        const char *action;
        const char *subsystem;
        const char *node;
    };
    const Case nothing[] = {
        {"remove", "hidraw", "/dev/hidraw4"},  // another hidraw node
        {"remove", "hidraw", "/dev/hidraw33"}, // a longer name with the same start
        {"remove", "usb", "/dev/hidraw3"},     // another subsystem: no device interface
        {"change", "hidraw", "/dev/hidraw3"},  // neither arrival nor removal
        {"add", "hidraw", "/dev/hidraw5"},     // arrival while a unit is open
    };
    for (const Case &c : nothing) {
        DeviceEvent event = deviceEventFromUdev(c.action, c.subsystem, c.node);
        appDeviceEvent(&gUnit, &event);
        EXPECT_EQ(shownStatus(), shown(message(MSG_READY)))
            << c.action << " " << c.subsystem << " " << c.node;
        EXPECT_TRUE(sensitive(IDC_UPDATE)) << c.node;
        EXPECT_EQ(simOpenHandleCount(), 1u) << c.node;
    }
    simRemoveInterface(UNIT_NODE);
    DeviceEvent removal = deviceEventFromUdev("remove", "hidraw", "/dev/hidraw3");
    EXPECT_TRUE(appDeviceEvent(&gUnit, &removal).handled);
    EXPECT_EQ(shownStatus(), shown(notReady(MSG_CONNECTION_LOST)));
    EXPECT_FALSE(sensitive(IDC_UPDATE));
    EXPECT_EQ(labelText(IDC_VERSION_UNIT), "0.0.0");
    EXPECT_EQ(labelText(IDC_LABEL_UNIT), "TALOMIR") << "the name stays after the unit left";

    plugReadyUnit();
    DeviceEvent arrival = deviceEventFromUdev("add", "hidraw", "/dev/hidraw3");
    EXPECT_TRUE(appDeviceEvent(&gUnit, &arrival).handled);
    EXPECT_EQ(shownStatus(), shown(message(MSG_READY)));
    EXPECT_TRUE(sensitive(IDC_UPDATE));
}

// Device events through the program's own watch, as udev would deliver them: one byte on a
// pipe for each event queued here.
std::deque<DeviceEvent> gPiped;
int gPipe[2] = {-1, -1};

bool readPiped(DeviceEvent *event) {
    char byte = 0;
    if (read(gPipe[0], &byte, 1) != 1 || gPiped.empty()) {
        return false;
    }
    *event = gPiped.front();
    gPiped.pop_front();
    return true;
}

void pipeEvent(const char *action, const char *node) {
    gPiped.push_back(deviceEventFromUdev(action, "hidraw", node));
    ASSERT_EQ(write(gPipe[1], "e", 1), 1);
}

TEST_F(GtkWindowTest, unit_swapped_inside_incompatible_box_is_handled_meanwhile) {
    open();
    ASSERT_EQ(pipe(gPipe), 0);
    const guint watch = guiWatchDeviceEvents(gPipe[0], readPiped, &gUnit);
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, UNIT_NODE));
    simSetEscType(0x12345678);
    // While the incompatible-ESC box is open, that unit leaves and a MERIVAN with a supported
    // ESC arrives; the box is answered 300 ms later.
    int rounds = 0;
    std::string statusInBox;
    bool updateInBox = false;
    gKeepBoxOpen = [&] {
        if (rounds++ == 0) {
            simRemoveInterface(UNIT_NODE);
            pipeEvent("remove", "/dev/hidraw3");
            simSetEscType(SUPPORTED_ESC_TYPES[0]);
            simAddInterface(simUnitInterface(PRODUCT_ID_MERIVAN, L"/dev/hidraw4"));
            pipeEvent("add", "/dev/hidraw4");
            return true;
        }
        if (rounds < 30) {
            return true;
        }
        statusInBox = shownStatus();
        updateInBox = sensitive(IDC_UPDATE);
        return false;
    };
    pipeEvent("add", "/dev/hidraw3");
    spin(600);
    g_source_remove(watch);
    close(gPipe[0]);
    close(gPipe[1]);

    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0].caption, shown(message(MSG_ESC_INCOMPATIBLE_CAPTION)));
    EXPECT_EQ(statusInBox, shown(message(MSG_READY))) << "the arrival waited for the box to close";
    EXPECT_TRUE(updateInBox);
    // The MERIVAN stays open and ready once the box is gone.
    EXPECT_EQ(simOpenedPaths().back(), L"/dev/hidraw4");
    EXPECT_EQ(simOpenHandleCount(), 1u);
    EXPECT_TRUE(sensitive(IDC_UPDATE));
    EXPECT_EQ(labelText(IDC_LABEL_UNIT), "MERIVAN");
    EXPECT_TRUE(gPiped.empty());
}

TEST_F(GtkWindowTest, layout_follows_dialog_units) {
    plugReadyUnit();
    open();
    const DialogBaseUnits units = guiDialogBaseUnits();
    struct Place {
        int id;
        int x, y, width, height;
    };
    const Place places[] = {
        {IDCANCEL, 157, 199, 50, 14},          {IDC_UPDATE, 61, 199, 50, 14},
        {IDC_LABEL_UNIT, 22, 24, 60, 8},       {IDC_VERSION_UNIT, 90, 24, 50, 8},
        {IDC_LABEL_ESC, 22, 50, 60, 8},        {IDC_VERSION_ESC, 90, 50, 50, 8},
        {IDC_GROUP_VERSIONS, 15, 10, 135, 57},
    };
    for (const Place &place : places) {
        GtkAllocation box;
        gtk_widget_get_allocation(guiControl(place.id), &box);
        EXPECT_EQ(box.x, dluToPixelsX(place.x, units)) << place.id;
        EXPECT_EQ(box.y, dluToPixelsY(place.y, units)) << place.id;
        EXPECT_EQ(box.width, dluToPixelsX(place.width, units)) << place.id;
        EXPECT_EQ(box.height, dluToPixelsY(place.height, units)) << place.id;
    }
    GtkAllocation status;
    gtk_widget_get_allocation(gtk_widget_get_parent(guiControl(IDC_STATUS)), &status);
    EXPECT_EQ(status.x, dluToPixelsX(15, units));
    EXPECT_EQ(status.y, dluToPixelsY(89, units));
    EXPECT_EQ(gtk_widget_get_allocated_width(guiMainWindow()), dluToPixelsX(300, units));
    EXPECT_EQ(gtk_widget_get_allocated_height(guiMainWindow()), dluToPixelsY(228, units));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(guiMainWindow())));
    EXPECT_TRUE(gtk_widget_has_default(guiControl(IDCANCEL)));

    // The ESC's line alone is red.
    auto colour = [](int id) {
        GdkRGBA rgba;
        GtkStyleContext *style = gtk_widget_get_style_context(guiControl(id));
        gtk_style_context_get_color(style, gtk_style_context_get_state(style), &rgba);
        return rgba;
    };
    for (int id : {IDC_LABEL_ESC, IDC_VERSION_ESC}) {
        GdkRGBA red = colour(id);
        EXPECT_TRUE(red.red == 1.0 && red.green == 0.0 && red.blue == 0.0) << id;
    }
    for (int id : {IDC_LABEL_UNIT, IDC_VERSION_UNIT, IDC_LABEL_BOOTLOADER}) {
        GdkRGBA other = colour(id);
        EXPECT_FALSE(other.red == 1.0 && other.green == 0.0 && other.blue == 0.0) << id;
    }

    // The logo: level with the group box, 20 pixels right of it, at most half its width.
    GtkAllocation group;
    gtk_widget_get_allocation(guiControl(IDC_GROUP_VERSIONS), &group);
    GdkRectangle logo = guiLogoRect();
    LogoSize expected =
        logoSize(gtk_widget_get_allocated_width(guiMainWindow()), group.x + group.width, 1772, 263);
    EXPECT_EQ(logo.x, group.x + group.width + 20);
    EXPECT_EQ(logo.y, group.y);
    EXPECT_EQ(logo.width, expected.width);
    EXPECT_EQ(logo.height, expected.height);
    EXPECT_GT(logo.width, 0);
}

TEST_F(GtkWindowTest, German_texts_follow_language) {
    ASSERT_STREQ(g_getenv("LANGUAGE"), "de") << "run with LANGUAGE=de";
    open();
    EXPECT_EQ(messageLanguage(), LANGUAGE_GERMAN);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(guiControl(IDCANCEL))), "Beenden");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(guiHintLabel())), "Hinweisfenster:");
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(guiControl(IDC_GROUP_VERSIONS))),
                 "Installierte Firmware Versionen");
    EXPECT_EQ(labelText(IDC_LABEL_BOOTLOADER), "Regler-Bootloader");
    EXPECT_EQ(shownStatus(), shown(notReady(MSG_NO_UNIT)));
    EXPECT_EQ(shown(message(MSG_NO_UNIT)).rfind("Es wurde keine Programmiereinheit", 0), 0u);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(guiMainWindow())),
                 "ZARVELO QUILLAR FW Updater 3.0 TEST BUILD");
    writeScreenshot("german-no-unit.png");
}

TEST_F(GtkWindowTest, English_texts_by_default) {
    open();
    EXPECT_EQ(messageLanguage(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(guiControl(IDCANCEL))), "Close");
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(guiControl(IDC_UPDATE))), "Update");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(guiHintLabel())), "Hint:");
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(guiControl(IDC_GROUP_VERSIONS))),
                 "Installed firmware version");
    EXPECT_EQ(labelText(IDC_LABEL_ESC), "ESC");
}

} // namespace
