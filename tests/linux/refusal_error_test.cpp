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
    const std::wstring text = updateHandOpenedUnit(ends[0], L"/dev/hidraw0");
    unit.join();
    close(ends[1]);
    EXPECT_EQ(uiCallsOf(UI_SHOW_ERROR).size(), 1u);
    const std::wstring line = L"0x0000065b-0x00000000";
    EXPECT_TRUE(text.size() >= line.size() &&
                text.compare(text.size() - line.size(), line.size(), line) == 0)
        << std::string(text.begin(), text.end());
}

} // namespace
