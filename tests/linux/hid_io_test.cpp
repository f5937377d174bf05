// Reads and writes of the Linux HID backend, with a packet socket standing in for a hidraw node.
#include "link/hid.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

std::string hex(const uint8_t *bytes, size_t length) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(digits, sizeof digits, "%02X ", bytes[i]);
        text += digits;
    }
    return text;
}

void expectBytes(const Bytes &expected, const uint8_t *actual, size_t length) {
    ASSERT_EQ(length, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), actual))
        << "expected " << hex(expected.data(), expected.size()) << "\n  actual "
        << hex(actual, length);
}

Bytes frame(uint8_t reportId, uint8_t marker) {
    Bytes bytes(60, marker);
    bytes[0] = reportId;
    return bytes;
}

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The backend's end is the device; the peer plays the unit. Packets keep report boundaries.
class StandIn : public ::testing::Test {
  protected:
    void SetUp() override {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        device = ends[0];
        peer = ends[1];
    }
    void TearDown() override {
        closePeer();
        if (device >= 0) {
            close(device);
        }
    }
    void closePeer() {
        if (peer >= 0) {
            close(peer);
            peer = -1;
        }
    }
    void unitSends(const Bytes &report) {
        ASSERT_EQ(send(peer, report.data(), report.size(), 0), static_cast<ssize_t>(report.size()));
    }
    Bytes unitReceives() {
        Bytes packet(256);
        ssize_t got = recv(peer, packet.data(), packet.size(), MSG_DONTWAIT);
        packet.resize(got < 0 ? 0 : static_cast<size_t>(got));
        return packet;
    }

    int device = -1;
    int peer = -1;
};

TEST_F(StandIn, reply_not_delivered) {
    Bytes reply = frame(0x02, 0x5A);
    unitSends(reply);
    uint8_t buffer[60] = {};
    ASSERT_TRUE(hidRead(device, buffer, sizeof buffer, 1000));
    expectBytes(reply, buffer, sizeof buffer);
}

// One read is one report: the tail of a longer report must not come back as another report.
TEST_F(StandIn, long_report_spills_into_next_read) {
    Bytes longer(64, 0x33);
    longer[0] = 0x02;
    unitSends(longer);
    uint8_t buffer[60] = {};
    ASSERT_TRUE(hidRead(device, buffer, sizeof buffer, 1000));
    expectBytes(Bytes(longer.begin(), longer.begin() + 60), buffer, sizeof buffer);
    EXPECT_FALSE(hidRead(device, buffer, sizeof buffer, 20));
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ETIMEDOUT));
}

TEST_F(StandIn, timeout_rx) {
    uint8_t buffer[60] = {};
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(hidRead(device, buffer, sizeof buffer, 50));
    long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 50);
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ETIMEDOUT));
}

void onAlarm(int) {}

// A signal in the middle of the wait neither ends the read early nor restarts its time limit.
TEST_F(StandIn, signal_ends_or_restarts_wait) {
    struct sigaction action = {};
    action.sa_handler = onAlarm; // without SA_RESTART, so that poll sees EINTR
    struct sigaction previous = {};
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    struct itimerval every20ms = {{0, 20000}, {0, 20000}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every20ms, nullptr), 0);

    uint8_t buffer[60] = {};
    Clock::time_point start = Clock::now();
    bool read = hidRead(device, buffer, sizeof buffer, 150);
    long long elapsed = millisecondsSince(start);

    struct itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_FALSE(read);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_GE(elapsed, 150);
    EXPECT_LT(elapsed, 2000);
}

TEST_F(StandIn, removed_mid_read_waits_out_limit) {
    closePeer();
    uint8_t buffer[60] = {};
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(hidRead(device, buffer, sizeof buffer, 5000));
    EXPECT_LT(millisecondsSince(start), 1000);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ENODEV));
}

// A reply that comes after its read gave up must not be taken for the reply to the next
// command.
TEST_F(StandIn, late_reply_answers_next_command) {
    uint8_t buffer[60] = {};
    ASSERT_FALSE(hidRead(device, buffer, sizeof buffer, 10));
    unitSends(frame(0x02, 0xAA));

    Bytes command = frame(0x01, 0x11);
    ASSERT_TRUE(hidWrite(device, command.data(), command.size()));
    Bytes sent = unitReceives();
    expectBytes(command, sent.data(), sent.size());
    Bytes fresh = frame(0x02, 0xBB);
    unitSends(fresh);
    ASSERT_TRUE(hidRead(device, buffer, sizeof buffer, 1000));
    expectBytes(fresh, buffer, sizeof buffer);
}

TEST_F(StandIn, write_not_one_whole_report) {
    Bytes command = frame(0x01, 0x1B);
    command[1] = 0x1B;
    command[2] = 0x30;
    ASSERT_TRUE(hidWrite(device, command.data(), command.size()));
    Bytes sent = unitReceives();
    expectBytes(command, sent.data(), sent.size());
    EXPECT_TRUE(unitReceives().empty()) << "a second packet followed the report";
}

TEST_F(StandIn, write_to_removed_device_succeeds) {
    // A socket raises SIGPIPE where hidraw does not; the backend's own write leaves it alone.
    void (*previous)(int) = std::signal(SIGPIPE, SIG_IGN);
    closePeer();
    Bytes command = frame(0x01, 0x08);
    bool written = hidWrite(device, command.data(), command.size());
    std::signal(SIGPIPE, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(EPIPE));

    // The code stays that of the failure, whatever errno later calls leave behind.
    errno = 0;
    EXPECT_LT(close(-1), 0);
    hidClose(HID_INVALID_HANDLE);
    hidClose(-7);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(EPIPE));
}

TEST_F(StandIn, non_hidraw_node_taken_for_device) {
    uint16_t vendor = 0;
    uint16_t product = 0;
    EXPECT_FALSE(hidGetAttributes(device, &vendor, &product));
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ENOTTY));
    uint32_t input = 0;
    uint32_t output = 0;
    EXPECT_FALSE(hidGetReportLengths(device, &input, &output));
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ENOTTY));
}

TEST(HidHandles, bad_handle_used_as_device) {
    int closed = dup(STDERR_FILENO);
    ASSERT_GE(closed, 0);
    close(closed);
    const HidHandle handles[] = {HID_INVALID_HANDLE, -7, HidHandle{INT_MAX} + 1, closed};
    for (HidHandle handle : handles) {
        SCOPED_TRACE(handle);
        uint16_t vendor = 0;
        uint16_t product = 0;
        uint32_t input = 0;
        uint32_t output = 0;
        uint8_t report[60] = {0x01};
        struct Attempt {
            const char *operation;
            bool done;
        };
        const Attempt attempts[] = {
            {"attributes", hidGetAttributes(handle, &vendor, &product)},
            {"lengths", hidGetReportLengths(handle, &input, &output)},
            {"write", hidWrite(handle, report, sizeof report)},
            {"read", hidRead(handle, report, sizeof report, 10)},
        };
        for (const Attempt &attempt : attempts) {
            EXPECT_FALSE(attempt.done) << attempt.operation;
        }
        EXPECT_EQ(hidLastError(), static_cast<uint32_t>(EBADF));
    }
}

TEST(HidOpenPath, missing_node_opened) {
    EXPECT_EQ(hidOpenPath(L"/dev/hidraw-none-here"), HID_INVALID_HANDLE);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(ENOENT));
    const wchar_t beyondBytes[] = {L'/', L't', L'm', L'p', L'/', wchar_t{0x263A}, L'\0'};
    EXPECT_EQ(hidOpenPath(beyondBytes), HID_INVALID_HANDLE);
    EXPECT_EQ(hidLastError(), static_cast<uint32_t>(EINVAL));
}

// An empty file that stands in for a hidraw node; empty when none can be made.
static std::string makeNodeFile() {
    char name[] = "/tmp/linux_hid_node_XXXXXX";
    int file = mkstemp(name);
    if (file < 0) {
        return "";
    }
    close(file);
    return name;
}

// The unit is opened for both directions, shared with programs of others, and not handed to
// programs started later.
TEST(HidOpenPath, node_opened_read_only_or_inherited) {
    std::string name = makeNodeFile();
    ASSERT_FALSE(name.empty());
    std::wstring wide(name.begin(), name.end());

    HidHandle first = hidOpenPath(wide.c_str());
    int others = open(name.c_str(), O_RDWR | O_CLOEXEC);
    unlink(name.c_str());
    ASSERT_NE(first, HID_INVALID_HANDLE);
    EXPECT_GE(others, 0) << std::strerror(errno);
    int fd = static_cast<int>(first);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, O_RDWR);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    hidClose(first);
    close(others);
}

// One of our programs at a time: a second open of a held node fails with the code that the
// search counts, and the close lets the next one in.
TEST(HidOpenPath, held_node_opened_again) {
    std::string name = makeNodeFile();
    ASSERT_FALSE(name.empty());
    std::wstring wide(name.begin(), name.end());

    HidHandle first = hidOpenPath(wide.c_str());
    ASSERT_NE(first, HID_INVALID_HANDLE);
    EXPECT_EQ(hidOpenPath(wide.c_str()), HID_INVALID_HANDLE);
    EXPECT_EQ(hidLastError(), HID_ERROR_IN_USE);
    hidClose(first);
    HidHandle next = hidOpenPath(wide.c_str());
    unlink(name.c_str());
    EXPECT_NE(next, HID_INVALID_HANDLE) << "still held after the close: " << hidLastError();
    hidClose(next);
}

} // namespace
