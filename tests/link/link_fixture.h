// Shared set-up for the link tests: a simulated PC with one unit, frame comparison, faults.
#pragma once

#include "link/connection.h"
#include "link/frames.h"
#include "sim/sim.h"
#include "tests/support/clock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

inline const std::wstring UNIT_PATH =
    L"\\\\?\\hid#vid_3a7c&pid_0002#7&1f2e3d4c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
inline const std::wstring OTHER_PATH =
    L"\\\\?\\hid#vid_046d&pid_c52b#7&aa11bb22&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// A full 60-byte frame: the given first bytes, then zeros.
inline std::vector<uint8_t> frameOf(std::initializer_list<uint8_t> head) {
    std::vector<uint8_t> frame(head);
    frame.resize(FRAME_SIZE, 0);
    return frame;
}

inline std::vector<uint8_t> bytesOf(const void *data, size_t size) {
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

// Exact comparison of two frames, with both hex dumps when they differ.
inline ::testing::AssertionResult sameBytes(const std::vector<uint8_t> &expected,
                                            const std::vector<uint8_t> &actual) {
    if (expected == actual) {
        return ::testing::AssertionSuccess();
    }
    size_t first = 0;
    while (first < expected.size() && first < actual.size() && expected[first] == actual[first]) {
        ++first;
    }
    return ::testing::AssertionFailure()
           << "frames differ from byte " << first << " (expected " << expected.size()
           << " bytes, got " << actual.size() << ")\nexpected:\n"
           << simHex(expected.data(), expected.size()) << "\nactual:\n"
           << simHex(actual.data(), actual.size());
}

// Names a parameterised case after its table row.
struct CaseName {
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case> &row) const {
        return row.param.name;
    }
};
inline constexpr CaseName caseName{};

inline SimFault faultOn(SimFaultKind kind, int command, uint32_t nth = 0, uint32_t value = 0,
                        uint32_t systemError = 0) {
    return SimFault{kind, command, nth, value, systemError};
}

// The command codes written to the unit so far, in order.
inline std::vector<int> sentCommands() {
    std::vector<int> codes;
    for (const std::vector<uint8_t> &frame : simSentFrames()) {
        codes.push_back(frame.size() >= 2 ? frame[1] : -1);
    }
    return codes;
}

inline bool isZero(const uint8_t *bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

class LinkTest : public ::testing::Test {
  protected:
    UnitConnection connection = CLEARED_CONNECTION;

    void SetUp() override {
        simReset();
        resetRecordedPauses();
    }

    // Whatever a test did, the link leaves no list open and never touches a closed handle, and
    // after closing nothing stays open.
    void TearDown() override {
        EXPECT_EQ(simOpenListCount(), 0u) << "an interface list was not released";
        EXPECT_LE(simOpenHandleCount(), isUnitOpen(&connection) ? 1u : 0u)
            << "a device handle leaked";
        closeConnection(&connection);
        EXPECT_EQ(simOpenHandleCount(), 0u) << "closing left a device handle open";
        EXPECT_EQ(simBadHandleUses(), 0u) << "a handle was used after it was closed";
    }

    // Plugs in the default unit and opens it; the log then starts empty.
    void openDefaultUnit(uint16_t productId = PRODUCT_ID_TALOMIR) {
        simAddInterface(simUnitInterface(productId, UNIT_PATH));
        ASSERT_EQ(openUnit(&connection), 0);
        simClearLog();
        resetRecordedPauses();
    }

    // One exchange of a built frame; returns the link result and the reply.
    int32_t exchange(const CommandFrame &command, ReplyFrame *reply, uint32_t waitMs = 0) {
        return sendCommand(&connection, &command, reply, waitMs);
    }

    // The standard-rule result of one command, or the link failure.
    int32_t exchangeResult(const CommandFrame &command) {
        ReplyFrame reply;
        int32_t result = exchange(command, &reply);
        return result != 0 ? result : standardReplyResult(&reply);
    }

    // Brings the unit to where blocks are accepted, the way the update does it.
    void prepareForWriting() {
        CommandFrame command;
        buildSystemLock(&command, SYSTEM_LOCK_SET);
        ASSERT_EQ(exchangeResult(command), 0);
        buildWriteProtect(&command, WRITE_PROTECT_CLEAR);
        ASSERT_EQ(exchangeResult(command), 0);
        buildEraseFirmware(&command);
        ASSERT_EQ(exchangeResult(command), 0);
        buildSetAddress(&command);
        ASSERT_EQ(exchangeResult(command), 0);
        simClearLog();
        resetRecordedPauses();
    }
};
