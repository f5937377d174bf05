// The system error code in the update's failure box, with the hidraw backend under the link:
// a refusal by the unit after good exchanges shows 0, whatever failed before it.
#include "app/messages.h"
#include "app/status.h"
#include "app/update.h"
#include "link/connection.h"
#include "link/frames.h"
#include "link/hid.h"
#include "tests/support/recording_ui.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Plays a unit that answers every command with success but state 0: the system lock wants 1.
void answerWithState0(int peer) {
    uint8_t command[64];
    while (recv(peer, command, sizeof command, 0) > 0) {
        uint8_t reply[FRAME_SIZE] = {REPORT_ID_REPLY};
        send(peer, reply, sizeof reply, MSG_NOSIGNAL);
    }
}

TEST(HidrawUpdate, old_search_error_shown_with_refusal) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
    std::thread unit(answerWithState0, ends[1]);

    // The search met a node that it could not open before it found the unit.
    EXPECT_EQ(hidOpenPath(L"/dev/hidraw-none-here"), HID_INVALID_HANDLE);
    EXPECT_NE(hidLastError(), 0u);
    closeConnection(&gConnection);
    gConnection.handle = ends[0];
    gConnection.devicePath = static_cast<wchar_t *>(std::calloc(16, sizeof(wchar_t)));
    std::wcscpy(gConnection.devicePath, L"/dev/hidraw0");
    gConnection.inputReportLength = FRAME_SIZE;
    gConnection.outputReportLength = FRAME_SIZE;
    setEscFirmwareVersion(&gConnection, 0x0210);
    markOpenUnitReady();

    resetRecordingUi();
    setMessageLanguage(LANGUAGE_ENGLISH);
    std::vector<uint8_t> image(96, 0xFF);
    setImage(image.data(), image.size());
    scriptAnswers({true});
    runUpdate();
    // The failure closed the connection already; closing here too ends the unit's loop whatever
    // the update did.
    closeConnection(&gConnection);
    unit.join();
    close(ends[1]);
    std::vector<UiCall> boxes = uiCallsOf(UI_SHOW_ERROR);
    ASSERT_EQ(boxes.size(), 1u);
    const std::wstring line = L"0x0000065b-0x00000000";
    const std::wstring &text = boxes[0].text;
    EXPECT_TRUE(text.size() >= line.size() &&
                text.compare(text.size() - line.size(), line.size(), line) == 0)
        << std::string(text.begin(), text.end());
}

} // namespace
