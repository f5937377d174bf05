// The Linux HID backend and the link against real hidraw nodes of uhid devices, in a test guest.
#include "link/connection.h"
#include "link/flash.h"
#include "link/frames.h"
#include "link/hid.h"
#include "link/pause.h"
#include "sim/sim.h"
#include "tests/kernel/uhid_unit.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

// A removal or a reply is noticed within this; anything slower waited for a timeout instead.
constexpr uint64_t PROMPT_MS = 3000;
// How long a new or destroyed uhid device may take to appear in or leave the hidraw list.
constexpr uint64_t DEVICE_SETTLE_MS = 5000;
// The guest is given two minutes; a hang inside the program ends it before that.
constexpr unsigned WATCHDOG_S = 90;

constexpr uint32_t BLOCK_WORDS = 12;
constexpr uint32_t BLOCK_BYTES = BLOCK_WORDS * 4;

void pauseMs(uint32_t milliseconds) {
    timespec left = {static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

static uint64_t nowMs() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

static std::string narrow(const wchar_t *wide) {
    std::string text;
    for (; wide != nullptr && *wide != 0; ++wide) {
        text += static_cast<char>(*wide);
    }
    return text;
}

static std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));
static std::string format(const char *pattern, ...) {
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// The hidraw node of the listed device with this identity, and its place in the list.
struct ListedDevice {
    std::string path;
    int index;
};

static ListedDevice findListed(uint16_t vendorId, uint16_t productId) {
    ListedDevice found = {"", -1};
    HidList *list = hidOpenList();
    for (uint32_t i = 0; hidListHas(list, i) && found.index < 0; ++i) {
        std::vector<wchar_t> path(hidPathSize(list, i) + 1);
        if (!hidGetPath(list, i, path.data(), path.size())) {
            continue;
        }
        HidHandle handle = hidOpenPath(path.data());
        uint16_t vendor = 0;
        uint16_t product = 0;
        if (handle != HID_INVALID_HANDLE && hidGetAttributes(handle, &vendor, &product) &&
            vendor == vendorId && product == productId) {
            found = {narrow(path.data()), static_cast<int>(i)};
        }
        hidClose(handle);
    }
    hidCloseList(list);
    return found;
}

// Waits until a device with this identity is listed under a path other than notPath.
static ListedDevice waitForDevice(uint16_t vendorId, uint16_t productId,
                                  const std::string &notPath = "") {
    uint64_t deadline = nowMs() + DEVICE_SETTLE_MS;
    for (;;) {
        ListedDevice found = findListed(vendorId, productId);
        if ((found.index >= 0 && found.path != notPath) || nowMs() >= deadline) {
            return found;
        }
        pauseMs(20);
    }
}

// What a passing check learned about the kernel, printed on its PASS line.
static std::string gNote;

// Both sides as hex dumps, lined up under each other, when they differ.
static std::string hexDiff(const char *what, const uint8_t *got, const uint8_t *want,
                           size_t length) {
    if (std::memcmp(got, want, length) == 0) {
        return "";
    }
    auto indented = [](std::string dump) {
        for (size_t at = dump.find('\n'); at != std::string::npos; at = dump.find('\n', at + 1)) {
            dump.insert(at + 1, "        ");
        }
        return dump;
    };
    return std::string(what) + " differs\n  got:  " + indented(simHex(got, length)) +
           "\n  want: " + indented(simHex(want, length)) + "\n";
}

static std::string valueDiff(const char *what, uint32_t got, uint32_t want) {
    return got == want ? "" : format("%s is 0x%X, the unit holds 0x%X\n", what, got, want);
}

// One exchange whose reply must succeed under the standard rule and carry the given state
// (or any state when state is negative).
static std::string exchange(UnitConnection *connection, const CommandFrame &command,
                            const char *what, int state) {
    ReplyFrame reply;
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return format("%s: link result %d (system error %u)\n", what, result, hidLastError());
    }
    if (standardReplyResult(&reply) != 0) {
        return format("%s: unit error 0x%X\n", what,
                      static_cast<uint32_t>(standardReplyResult(&reply)));
    }
    if (state >= 0 && reply.state != state) {
        return format("%s: state 0x%02X\n", what, reply.state);
    }
    return "";
}

static uint8_t patternByte(uint32_t offset) {
    return static_cast<uint8_t>(offset * 13 + (offset >> 8) + 5);
}

// Writes blocks of the pattern at the unit's write pointer; the first failure ends the run.
static std::string writePattern(UnitConnection *connection, uint32_t offset, uint32_t blocks) {
    for (uint32_t block = 0; block < blocks; ++block) {
        uint8_t bytes[BLOCK_BYTES];
        for (uint32_t i = 0; i < BLOCK_BYTES; ++i) {
            bytes[i] = patternByte(offset + block * BLOCK_BYTES + i);
        }
        uint32_t placed = 0;
        int32_t result = writeBlock(connection, bytes, BLOCK_WORDS, &placed);
        if (result != 0 || placed != BLOCK_WORDS) {
            return format("block %u: result %d, %u words placed (system error %u)\n", block, result,
                          placed, hidLastError());
        }
    }
    return "";
}

// The flash from offset on holds the pattern for length bytes.
static std::string flashHoldsPattern(uint32_t offset, uint32_t length) {
    std::vector<uint8_t> want(length);
    for (uint32_t i = 0; i < length; ++i) {
        want[i] = patternByte(offset + i);
    }
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    for (uint32_t at = 0; at < length; at += 16) {
        uint32_t size = length - at < 16 ? length - at : 16;
        std::string diff = hexDiff(format("flash at 0x%X", offset + at).c_str(),
                                   gSimUnit.flash.data() + offset + at, want.data() + at, size);
        if (!diff.empty()) {
            return diff;
        }
    }
    return "";
}

static std::string checkOpenSkipsOtherDevice(UnitConnection *connection) {
    // The unit comes second, so that the search meets the other device first.
    ListedDevice other = waitForDevice(UHID_OTHER_VENDOR_ID, UHID_OTHER_PRODUCT_ID);
    if (!uhidRecreateUnit()) {
        return "cannot create the unit\n";
    }
    ListedDevice unit = waitForDevice(UNIT_VENDOR_ID, PRODUCT_ID_TALOMIR);
    if (other.index < 0 || unit.index < 0) {
        return format("hidraw list: other device %s, unit %s\n",
                      other.index < 0 ? "missing" : other.path.c_str(),
                      unit.index < 0 ? "missing" : unit.path.c_str());
    }
    if (other.index > unit.index) {
        return format("the other device (%s) is listed after the unit (%s): nothing to pass over\n",
                      other.path.c_str(), unit.path.c_str());
    }
    int32_t result = openUnit(connection);
    std::string why;
    if (result != 0) {
        why += format("openUnit gave %d (system error %u)\n", result, hidLastError());
    }
    if (narrow(connection->devicePath) != unit.path) {
        why += format("opened %s, the unit is %s\n", narrow(connection->devicePath).c_str(),
                      unit.path.c_str());
    }
    gNote =
        format("passed over %s, opened %s, report lengths in %u out %u", other.path.c_str(),
               unit.path.c_str(), connection->inputReportLength, connection->outputReportLength);
    why += valueDiff("productId", connection->productId, PRODUCT_ID_TALOMIR);
    why += valueDiff("inputReportLength", connection->inputReportLength, FRAME_SIZE);
    why += valueDiff("outputReportLength", connection->outputReportLength, FRAME_SIZE);
    return why;
}

static std::string checkIdentifyFieldsFromHidraw(const UnitConnection *connection) {
    if (!isUnitOpen(connection)) {
        return "no unit open\n";
    }
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    std::string why;
    why += valueDiff("unitInBootloader", connection->unitInBootloader, gSimUnit.identifyState);
    why += valueDiff("escStatus", connection->escStatus, gSimUnit.escStatus);
    why += valueDiff("statusAux", connection->statusAux, gSimUnit.statusAux);
    why += valueDiff("unitFirmwareVersion", connection->unitFirmwareVersion,
                     gSimUnit.unitFirmwareVersion);
    why += valueDiff("unitAuxInfo", connection->unitAuxInfo, gSimUnit.unitAuxInfo);
    why += hexDiff("escInfo", connection->escInfo, gSimUnit.escInfo, sizeof gSimUnit.escInfo);
    why += hexDiff("escBootInfo", connection->escBootInfo, gSimUnit.escBootInfo,
                   sizeof gSimUnit.escBootInfo);
    return why;
}

// Blocks written before the device is destroyed; the check after them continues the session.
constexpr uint32_t SESSION_BLOCKS = 40;

static std::string checkBlocksLandInFlash(UnitConnection *connection) {
    CommandFrame command;
    std::string why;
    buildSystemLock(&command, SYSTEM_LOCK_SET);
    why += exchange(connection, command, "system lock", SYSTEM_LOCK_STATE_SET);
    buildWriteProtect(&command, WRITE_PROTECT_CLEAR);
    why += exchange(connection, command, "write protection clear", WRITE_PROTECT_STATE_CLEARED);
    int32_t erased = eraseFirmware(connection);
    if (erased != 0) {
        why += format("erase: result %d (system error %u)\n", erased, hidLastError());
    }
    buildSetAddress(&command);
    why += exchange(connection, command, "set address", -1);
    if (!why.empty()) {
        return why;
    }
    why = writePattern(connection, 0, SESSION_BLOCKS);
    if (!why.empty()) {
        return why;
    }
    why = flashHoldsPattern(0, SESSION_BLOCKS * BLOCK_BYTES);
    {
        std::lock_guard<std::mutex> lock(gUhidUnitMutex);
        uint8_t erasedBytes[16];
        std::memset(erasedBytes, 0xFF, sizeof erasedBytes);
        why +=
            hexDiff("flash past the blocks", gSimUnit.flash.data() + SESSION_BLOCKS * BLOCK_BYTES,
                    erasedBytes, sizeof erasedBytes);
    }
    UhidUnitTraffic traffic = uhidTraffic();
    if (traffic.withoutReportId != 0 || traffic.wrongSize != 0 || traffic.otherReportTypes != 0) {
        why += format("of %u output reports %u lacked report ID 0x01 first, %u were not %zu "
                      "bytes, %u were of another type\n",
                      traffic.reports, traffic.withoutReportId, traffic.wrongSize, FRAME_SIZE,
                      traffic.otherReportTypes);
    }
    gNote = format("%u output reports of %zu bytes, report ID 0x01 first; %u bytes written",
                   traffic.reports, FRAME_SIZE, SESSION_BLOCKS * BLOCK_BYTES);
    return why;
}

static bool isExchangeFailure(int32_t result) {
    return result == LINK_WRITE_FAILED || result == LINK_READ_FAILED;
}

// The device is destroyed on receipt of the third block from now, without answering it.
static std::string checkRemovedMidTransfer(UnitConnection *connection) {
    constexpr uint32_t ANSWERED = 2;
    uhidSetBehaviour({uhidTraffic().reports + ANSWERED + 1, false});
    std::string why = writePattern(connection, SESSION_BLOCKS * BLOCK_BYTES, ANSWERED);
    if (!why.empty()) {
        return "before the removal: " + why;
    }
    uint8_t block[BLOCK_BYTES] = {};
    uint32_t placed = 0;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        uint64_t start = nowMs();
        int32_t result = writeBlock(connection, block, BLOCK_WORDS, &placed);
        uint64_t elapsed = nowMs() - start;
        gNote += format("%sexchange %d after the removal gave %d after %llu ms",
                        attempt == 1 ? "" : ", ", attempt, result,
                        static_cast<unsigned long long>(elapsed));
        if (!isExchangeFailure(result) || elapsed >= PROMPT_MS) {
            why +=
                format("exchange %d after the removal: result %d after %llu ms (system "
                       "error %u)\n",
                       attempt, result, static_cast<unsigned long long>(elapsed), hidLastError());
        }
    }
    if (!uhidTraffic().destroyed) {
        why += "the device was never destroyed\n";
    }
    why += flashHoldsPattern(SESSION_BLOCKS * BLOCK_BYTES, ANSWERED * BLOCK_BYTES);
    closeConnection(connection);
    return why;
}

// A fresh unit that takes the command and never answers it.
static std::string checkTimeoutRx(UnitConnection *connection, const std::string &oldPath) {
    if (!uhidRecreateUnit()) {
        return "cannot create the unit again\n";
    }
    ListedDevice unit = waitForDevice(UNIT_VENDOR_ID, PRODUCT_ID_TALOMIR, oldPath);
    int32_t opened = openUnit(connection);
    if (unit.index < 0 || opened != 0) {
        return format("the new unit (%s) did not open: %d\n", unit.path.c_str(), opened);
    }
    uhidSetBehaviour({0, true});
    CommandFrame command;
    buildReadEscInfo(&command);
    ReplyFrame reply;
    uint64_t start = nowMs();
    int32_t result = sendCommand(connection, &command, &reply);
    uint64_t elapsed = nowMs() - start;
    if (result != LINK_READ_FAILED || elapsed < REPLY_TIMEOUT_MS ||
        elapsed >= REPLY_TIMEOUT_MS + PROMPT_MS) {
        return format("result %d after %llu ms, want %d after %u ms\n", result,
                      static_cast<unsigned long long>(elapsed), LINK_READ_FAILED, REPLY_TIMEOUT_MS);
    }
    gNote = format("LINK_READ_FAILED after %llu ms", static_cast<unsigned long long>(elapsed));
    return "";
}

// The reply to the timed-out command arrives now; the next command must get its own reply.
static std::string checkLateReplyDiscarded(UnitConnection *connection) {
    if (!isUnitOpen(connection) || !uhidAnswerHeld()) {
        return "no timed-out command to answer late\n";
    }
    uhidSetBehaviour({0, false});
    CommandFrame command;
    buildIdentify(&command);
    uint8_t want[FRAME_SIZE];
    {
        std::lock_guard<std::mutex> lock(gUhidUnitMutex);
        simUnitHandle(reinterpret_cast<const uint8_t *>(&command), FRAME_SIZE, want);
    }
    ReplyFrame reply;
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return format("identify after the late reply: result %d (system error %u)\n", result,
                      hidLastError());
    }
    return hexDiff("identify reply", reinterpret_cast<const uint8_t *>(&reply), want, FRAME_SIZE);
}

// While the connection holds the unit, neither a second open of its node nor a search gets it;
// once it is closed, both do.
static std::string checkHeldNodePassedOver(UnitConnection *connection) {
    if (!isUnitOpen(connection)) {
        return "no unit open\n";
    }
    std::string why;
    std::wstring path = connection->devicePath;
    HidHandle second = hidOpenPath(path.c_str());
    if (second != HID_INVALID_HANDLE || hidLastError() != HID_ERROR_IN_USE) {
        why += format("a second open of the held node gave handle %ld, system error 0x%X\n",
                      static_cast<long>(second), hidLastError());
    }
    hidClose(second);
    UnitConnection other = CLEARED_CONNECTION;
    int32_t held = openUnit(&other);
    closeConnection(&other);
    if (held != LINK_UNIT_IN_USE) {
        why += format("a search while the unit is held gave %d\n", held);
    }
    closeConnection(connection);
    int32_t released = openUnit(&other);
    if (released != 0) {
        why += format("a search after the close gave %d (system error %u)\n", released,
                      hidLastError());
    }
    closeConnection(&other);
    gNote = format("second open refused with 0x%X, search gave %d while held, %d after the close",
                   HID_ERROR_IN_USE, held, released);
    return why;
}

static int gPassed = 0;
static int gFailed = 0;

static void report(int number, const char *name, const std::string &why) {
    if (why.empty()) {
        ++gPassed;
        std::printf("PASS %d %s%s%s\n", number, name, gNote.empty() ? "" : ": ", gNote.c_str());
    } else {
        ++gFailed;
        std::printf("FAIL %d %s\n%s", number, name, why.c_str());
    }
    std::fflush(stdout);
    gNote.clear();
}

int main() {
    alarm(WATCHDOG_S);
    if (!uhidStart()) {
        std::printf("FAIL 0 uhid devices cannot be created\nKERNEL-TESTS: 0 passed, 1 failed\n");
        return 1;
    }
    UnitConnection connection = CLEARED_CONNECTION;
    report(1, "open_skips_other_device", checkOpenSkipsOtherDevice(&connection));
    std::string unitPath = narrow(connection.devicePath);
    report(2, "identify_fields_from_hidraw", checkIdentifyFieldsFromHidraw(&connection));
    report(3, "blocks_land_in_flash", checkBlocksLandInFlash(&connection));
    report(4, "removed_mid_transfer", checkRemovedMidTransfer(&connection));
    report(5, "timeout_rx", checkTimeoutRx(&connection, unitPath));
    report(6, "late_reply_discarded", checkLateReplyDiscarded(&connection));
    report(7, "held_node_passed_over", checkHeldNodePassedOver(&connection));
    closeConnection(&connection);
    uhidStop();
    std::printf("KERNEL-TESTS: %d passed, %d failed\n", gPassed, gFailed);
    return gFailed == 0 ? 0 : 1;
}
