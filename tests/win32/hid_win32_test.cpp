// The Win32 HID backend under Wine: discovery without a unit, error codes, and the bounded read
// and the write over a named pipe standing in for the device.
#include "app/messages.h"
#include "app/status.h"
#include "app/update.h"
#include "link/connection.h"
#include "link/frames.h"
#include "link/hid.h"
#include "os/win32/hid_win32.h"
#include "sim/sim.h"
#include "tests/support/recording_ui.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

#define EXPECT_BYTES(expected, actual, length)                                                     \
    EXPECT_EQ(0, std::memcmp(expected, actual, length))                                            \
        << "expected:\n"                                                                           \
        << simHex(expected, length) << "\nactual:\n"                                               \
        << simHex(actual, length)

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// One end of a message pipe plays the unit; the backend opens the other end by its path, as it
// would open a HID interface.
struct FakeDevice {
    std::wstring path;
    HANDLE server = INVALID_HANDLE_VALUE;
    HidHandle client = HID_INVALID_HANDLE;
};

FakeDevice openFakeDevice() {
    static int serial = 0;
    FakeDevice device;
    device.path = L"\\\\.\\pipe\\quillar-hid-test-" + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::to_wstring(++serial);
    device.server = CreateNamedPipeW(device.path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                     4096, 0, nullptr);
    if (device.server != INVALID_HANDLE_VALUE) {
        device.client = hidOpenPath(device.path.c_str());
    }
    return device;
}

void closeFakeDevice(FakeDevice *device) {
    hidClose(device->client);
    if (device->server != INVALID_HANDLE_VALUE) {
        CloseHandle(device->server);
    }
    device->client = HID_INVALID_HANDLE;
    device->server = INVALID_HANDLE_VALUE;
}

// Transfers on the unit's end; the pipe is overlapped, so each one is waited for here.
bool serverTransfer(HANDLE server, bool write, uint8_t *bytes, DWORD length, DWORD *done) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BOOL started = write ? WriteFile(server, bytes, length, nullptr, &overlapped)
                         : ReadFile(server, bytes, length, nullptr, &overlapped);
    bool ok = started || GetLastError() == ERROR_IO_PENDING;
    if (ok) {
        ok = GetOverlappedResult(server, &overlapped, done, TRUE) != FALSE;
    }
    CloseHandle(overlapped.hEvent);
    return ok;
}

bool unitSends(const FakeDevice &device, std::vector<uint8_t> report) {
    DWORD done = 0;
    return serverTransfer(device.server, true, report.data(), static_cast<DWORD>(report.size()),
                          &done);
}

std::vector<uint8_t> reply(uint8_t first) {
    std::vector<uint8_t> frame(FRAME_SIZE);
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<uint8_t>(first + i);
    }
    frame[0] = REPORT_ID_REPLY;
    return frame;
}

class FakeDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device = openFakeDevice();
        ASSERT_NE(INVALID_HANDLE_VALUE, device.server) << "pipe error " << GetLastError();
        ASSERT_NE(HID_INVALID_HANDLE, device.client) << "open error " << hidLastError();
    }
    void TearDown() override {
        closeFakeDevice(&device);
    }
    FakeDevice device;
};

} // namespace

// Wine has no unit; whatever HID interfaces it offers must be walked and passed over, and the
// list itself must be obtainable (LINK_NOT_OPEN would mean SetupAPI was asked wrongly).
TEST(Win32Discovery, foreign_interfaces_taken_for_unit) {
    UnitConnection connection = CLEARED_CONNECTION;
    EXPECT_EQ(LINK_NO_DEVICE, openUnit(&connection)) << "system error " << hidLastError();
    EXPECT_EQ(HID_INVALID_HANDLE, connection.handle);
    EXPECT_EQ(nullptr, connection.devicePath);
    EXPECT_EQ(0, connection.productId);
    closeConnection(&connection);
}

// Every interface that reports a path size must yield its whole path in exactly that many wide
// characters, and refuse a buffer one character short rather than cut the path.
TEST(Win32Discovery, interface_path_truncated_or_overrun) {
    HidList *list = hidOpenList();
    ASSERT_NE(nullptr, list) << "system error " << hidLastError();
    uint32_t index = 0;
    uint32_t checked = 0;
    for (; index < 1000 && hidListHas(list, index); ++index) {
        size_t size = hidPathSize(list, index);
        if (size == 0) {
            continue;
        }
        ++checked;
        std::vector<wchar_t> path(size + 1, L'#');
        ASSERT_TRUE(hidGetPath(list, index, path.data(), size)) << "index " << index;
        EXPECT_EQ(size, std::wcslen(path.data()) + 1) << "index " << index;
        EXPECT_EQ(L'#', path[size]) << "wrote past the buffer at index " << index;
        EXPECT_FALSE(hidGetPath(list, index, path.data(), size - 1)) << "index " << index;
        HidHandle handle = hidOpenPath(path.data());
        hidClose(handle);
    }
    EXPECT_LT(index, 1000u) << "the list never ends";
    // Wine's bus driver always offers its virtual mouse and keyboard as HID interfaces.
    EXPECT_GT(checked, 0u) << "no interface had a path: nothing was checked";
    EXPECT_FALSE(hidListHas(list, index));
    EXPECT_EQ(0u, hidPathSize(list, index));
    std::printf("Wine lists %u HID interface(s)\n", index);
    hidCloseList(list);
    hidCloseList(nullptr);
}

// A closed or never-opened unit must fail every operation with a code, never touch a handle.
TEST(Win32Hid, operation_on_invalid_handle_succeeds) {
    uint8_t frame[FRAME_SIZE] = {REPORT_ID_COMMAND};
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint32_t input = 0;
    uint32_t output = 0;
    struct Case {
        const char *name;
        bool result;
    } cases[] = {
        {"write", hidWrite(HID_INVALID_HANDLE, frame, sizeof frame)},
        {"read", hidRead(HID_INVALID_HANDLE, frame, sizeof frame, 10)},
        {"attributes", hidGetAttributes(HID_INVALID_HANDLE, &vendor, &product)},
        {"report lengths", hidGetReportLengths(HID_INVALID_HANDLE, &input, &output)},
    };
    for (const Case &c : cases) {
        EXPECT_FALSE(c.result) << c.name;
    }
    EXPECT_NE(0u, hidLastError());
    hidClose(HID_INVALID_HANDLE);
}

// The code shown to the user must be the failing call's, not that of the cleanup after it.
TEST(Win32Hid, open_error_code_clobbered) {
    std::wstring missing =
        L"\\\\.\\pipe\\quillar-hid-missing-" + std::to_wstring(GetCurrentProcessId());
    EXPECT_EQ(HID_INVALID_HANDLE, hidOpenPath(missing.c_str()));
    SetLastError(ERROR_SUCCESS);
    hidClose(HID_INVALID_HANDLE);
    CloseHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), hidLastError());
}

TEST_F(FakeDeviceTest, command_frame_cut_or_padded) {
    std::vector<uint8_t> frame = reply(0x40);
    frame[0] = REPORT_ID_COMMAND;
    ASSERT_TRUE(hidWrite(device.client, frame.data(), frame.size())) << hidLastError();
    std::vector<uint8_t> received(2 * FRAME_SIZE, 0);
    DWORD done = 0;
    ASSERT_TRUE(serverTransfer(device.server, false, received.data(),
                               static_cast<DWORD>(received.size()), &done));
    ASSERT_EQ(FRAME_SIZE, done);
    EXPECT_BYTES(frame.data(), received.data(), FRAME_SIZE);
}

TEST_F(FakeDeviceTest, waiting_reply_lost) {
    std::vector<uint8_t> sent = reply(0x10);
    ASSERT_TRUE(unitSends(device, sent));
    std::vector<uint8_t> frame(FRAME_SIZE, 0);
    ASSERT_TRUE(hidRead(device.client, frame.data(), frame.size(), 1000)) << hidLastError();
    EXPECT_BYTES(sent.data(), frame.data(), FRAME_SIZE);
}

// A reply that comes while the read waits ends the wait at once, not at the limit.
TEST_F(FakeDeviceTest, slow_reply_waits_for_limit) {
    std::vector<uint8_t> sent = reply(0x20);
    std::thread unit([&] {
        Sleep(50);
        unitSends(device, sent);
    });
    std::vector<uint8_t> frame(FRAME_SIZE, 0);
    auto start = std::chrono::steady_clock::now();
    bool read = hidRead(device.client, frame.data(), frame.size(), 5000);
    double elapsed = millisecondsSince(start);
    unit.join();
    ASSERT_TRUE(read) << hidLastError();
    EXPECT_LT(elapsed, 2500.0);
    EXPECT_BYTES(sent.data(), frame.data(), FRAME_SIZE);
}

TEST_F(FakeDeviceTest, timeout_rx) {
    std::vector<uint8_t> frame(FRAME_SIZE, 0xAA);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(hidRead(device.client, frame.data(), frame.size(), 100));
    double elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 99.0);
    EXPECT_LT(elapsed, 2000.0);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_TIMEOUT), hidLastError());

    // The input queue is emptied before the next command; the command itself must still go out.
    std::vector<uint8_t> command(FRAME_SIZE, REPORT_ID_COMMAND);
    ASSERT_TRUE(hidWrite(device.client, command.data(), command.size())) << hidLastError();
    std::vector<uint8_t> received(FRAME_SIZE, 0);
    DWORD done = 0;
    ASSERT_TRUE(serverTransfer(device.server, false, received.data(), FRAME_SIZE, &done));
    EXPECT_EQ(FRAME_SIZE, done);
    EXPECT_BYTES(command.data(), received.data(), FRAME_SIZE);
}

// After a timeout the abandoned read must be over: a late reply may not land in the frame of
// the read that gave up, and must reach the next read whole.
TEST_F(FakeDeviceTest, late_reply_into_abandoned_frame) {
    std::vector<uint8_t> abandoned(FRAME_SIZE, 0xAA);
    ASSERT_FALSE(hidRead(device.client, abandoned.data(), abandoned.size(), 50));
    std::vector<uint8_t> late = reply(0x30);
    ASSERT_TRUE(unitSends(device, late));
    Sleep(50);
    std::vector<uint8_t> untouched(FRAME_SIZE, 0xAA);
    EXPECT_BYTES(untouched.data(), abandoned.data(), FRAME_SIZE);

    std::vector<uint8_t> next(FRAME_SIZE, 0);
    ASSERT_TRUE(hidRead(device.client, next.data(), next.size(), 1000)) << hidLastError();
    EXPECT_BYTES(late.data(), next.data(), FRAME_SIZE);
}

// A unit that goes away while a read waits ends the read at once, with the system's reason.
TEST_F(FakeDeviceTest, removed_mid_read) {
    std::thread unplug([&] {
        Sleep(50);
        CloseHandle(device.server);
    });
    std::vector<uint8_t> frame(FRAME_SIZE, 0);
    auto start = std::chrono::steady_clock::now();
    bool read = hidRead(device.client, frame.data(), frame.size(), 5000);
    double elapsed = millisecondsSince(start);
    unplug.join();
    device.server = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(read);
    EXPECT_LT(elapsed, 2500.0);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_BROKEN_PIPE), hidLastError());
}

TEST_F(FakeDeviceTest, write_to_removed_unit_succeeds) {
    CloseHandle(device.server);
    device.server = INVALID_HANDLE_VALUE;
    std::vector<uint8_t> frame(FRAME_SIZE, REPORT_ID_COMMAND);
    EXPECT_FALSE(hidWrite(device.client, frame.data(), frame.size()));
    EXPECT_NE(0u, hidLastError());
}

// A unit that takes no more reports must not hold the window in a write forever. The pipe
// buffers nothing, so with nobody reading on the unit's end the write cannot complete.
TEST(Win32Hid, stalled_write_hangs) {
    std::wstring path = L"\\\\.\\pipe\\quillar-hid-stall-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 0,
                                     0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server) << "pipe error " << GetLastError();
    HidHandle client = hidOpenPath(path.c_str());
    ASSERT_NE(HID_INVALID_HANDLE, client) << "open error " << hidLastError();
    uint32_t saved = gHidWriteTimeoutMs;
    gHidWriteTimeoutMs = 200;
    std::vector<uint8_t> frame(FRAME_SIZE, REPORT_ID_COMMAND);
    bool accepted = true;
    double elapsed = 0;
    // A pipe may take a first message into its buffer; a stalled unit takes none after it.
    for (int attempt = 0; attempt < 4 && accepted; ++attempt) {
        auto start = std::chrono::steady_clock::now();
        accepted = hidWrite(client, frame.data(), frame.size());
        elapsed = millisecondsSince(start);
    }
    gHidWriteTimeoutMs = saved;
    EXPECT_FALSE(accepted);
    EXPECT_GE(elapsed, 190.0);
    EXPECT_LT(elapsed, 2000.0);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_TIMEOUT), hidLastError());
    hidClose(client);
    CloseHandle(server);
}

// Plays a unit that answers every command with success but state 0 (the system lock wants 1),
// until the backend closes its end.
static void answerWithState0(HANDLE server) {
    for (;;) {
        uint8_t command[2 * FRAME_SIZE];
        DWORD done = 0;
        if (!serverTransfer(server, false, command, sizeof command, &done)) {
            return;
        }
        if (!unitSends(FakeDevice{L"", server, HID_INVALID_HANDLE}, reply(0))) {
            return;
        }
    }
}

// The failure box of a refusal after good exchanges shows 0 as the system error, not the code
// that a device passed over by the search left behind.
TEST_F(FakeDeviceTest, old_search_error_shown_with_refusal) {
    std::wstring missing =
        L"\\\\.\\pipe\\quillar-hid-passed-over-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(HID_INVALID_HANDLE, hidOpenPath(missing.c_str()));
    ASSERT_NE(0u, hidLastError());
    std::thread unit(answerWithState0, device.server);
    HidHandle client = device.client;
    device.client = HID_INVALID_HANDLE; // the connection owns it now
    const std::wstring text = updateHandOpenedUnit(client, device.path.c_str());
    unit.join();
    EXPECT_EQ(uiCallsOf(UI_SHOW_ERROR).size(), 1u);
    const std::wstring line = L"0x0000065b-0x00000000";
    EXPECT_TRUE(text.size() >= line.size() &&
                text.compare(text.size() - line.size(), line.size(), line) == 0)
        << std::string(text.begin(), text.end());
}

namespace {

// A stand-in device that more than one program can open: a pipe with two instances waiting, so
// that only a hold keeps a second opener out.
struct SharedDevice {
    std::wstring path;
    HANDLE servers[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
};

SharedDevice makeSharedDevice(const char *what) {
    SharedDevice device;
    device.path = L"\\\\.\\pipe\\quillar-hid-shared-" + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::wstring(what, what + std::strlen(what));
    for (HANDLE &server : device.servers) {
        server = CreateNamedPipeW(device.path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 2, 4096,
                                  4096, 0, nullptr);
    }
    return device;
}

void closeSharedDevice(SharedDevice *device) {
    for (HANDLE &server : device->servers) {
        if (server != INVALID_HANDLE_VALUE) {
            CloseHandle(server);
        }
        server = INVALID_HANDLE_VALUE;
    }
}

std::wstring upperCase(std::wstring text) {
    for (wchar_t &c : text) {
        c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    return text;
}

// Another program of ours holding a path: hid_hold_win32 beside this test, which says "held"
// once it holds the path and lets it go when its input ends.
struct Holder {
    PROCESS_INFORMATION process = {};
    HANDLE input = INVALID_HANDLE_VALUE;
};

std::string startHolder(const std::wstring &path, Holder *holder) {
    wchar_t exe[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command(exe, length);
    command = L"\"" + command.substr(0, command.find_last_of(L'\\') + 1) +
              L"hid_hold_win32.exe\" \"" + path + L"\"";
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE output = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &holder->input, &inherited, 0) ||
        !CreatePipe(&output, &childOutput, &inherited, 0)) {
        return "no pipes";
    }
    SetHandleInformation(holder->input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &holder->process);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    std::string said;
    char c = 0;
    DWORD got = 0;
    while (started && ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        if (c != '\r') {
            said += c;
        }
    }
    CloseHandle(output);
    return started ? said : "not started, error " + std::to_string(GetLastError());
}

// Ends the holder: its input closed (it closes the path itself) or killed.
void endHolder(Holder *holder, bool kill) {
    if (kill) {
        TerminateProcess(holder->process.hProcess, 9);
    }
    CloseHandle(holder->input);
    WaitForSingleObject(holder->process.hProcess, 10000);
    CloseHandle(holder->process.hProcess);
    CloseHandle(holder->process.hThread);
}

} // namespace

// While another program of ours holds the path, this one is refused with the code that the
// search counts, whatever the case of the path; once that program has died, the path opens.
TEST(Win32Hold, held_path_opened_by_second_program) {
    SharedDevice device = makeSharedDevice("held");
    ASSERT_NE(INVALID_HANDLE_VALUE, device.servers[1]) << "pipe error " << GetLastError();
    Holder holder;
    ASSERT_EQ("held", startHolder(device.path, &holder));
    for (const std::wstring &path : {device.path, upperCase(device.path)}) {
        HidHandle second = hidOpenPath(path.c_str());
        EXPECT_EQ(HID_INVALID_HANDLE, second) << std::string(path.begin(), path.end());
        EXPECT_EQ(HID_ERROR_IN_USE, hidLastError());
        hidClose(second);
    }
    endHolder(&holder, true);
    HidHandle after = hidOpenPath(device.path.c_str());
    EXPECT_NE(HID_INVALID_HANDLE, after) << "still held after the holder died: " << hidLastError();
    hidClose(after);
    closeSharedDevice(&device);
}

// The hold goes with hidClose, and with an open that failed: the path opens again each time,
// more often than the backend keeps holds at once.
TEST(Win32Hold, closed_path_stays_held) {
    std::wstring path =
        L"\\\\.\\pipe\\quillar-hid-closed-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(HID_INVALID_HANDLE, hidOpenPath(path.c_str()));
    ASSERT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), hidLastError());
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        // Two instances: without the hold a second open would get the other one.
        HANDLE servers[2];
        for (HANDLE &server : servers) {
            server = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                      PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, server) << "pipe error " << GetLastError();
        }
        HidHandle open = hidOpenPath(path.c_str());
        EXPECT_NE(HID_INVALID_HANDLE, open) << "still held: " << hidLastError();
        HidHandle second = hidOpenPath(path.c_str());
        EXPECT_EQ(HID_INVALID_HANDLE, second);
        EXPECT_EQ(HID_ERROR_IN_USE, hidLastError());
        hidClose(second);
        hidClose(open);
        for (HANDLE server : servers) {
            CloseHandle(server);
        }
    }
}
