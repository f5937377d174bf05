// The simulated programming unit and the ESC behind it: one command frame in, one reply out.
#include "sim/sim.h"

#include "link/connection.h"
#include "link/frames.h"

#include <algorithm>
#include <cstring>

SimUnit gSimUnit;

static std::vector<SimFault> gFaults;
static std::vector<uint32_t> gFaultMatches; // commands matched so far, one count per fault
static std::vector<size_t> gActiveFaults;   // faults that apply to the command under way

constexpr uint8_t SIM_STATUS_OK = 0x00;

// Bytes 6-7 of an ESC read's error reply: the unit leaves something there, and only the 16-bit
// code in bytes 4-5 counts.
constexpr uint8_t SIM_ESC_ERROR_FILL[2] = {0xA5, 0x5A};

void simSetEscType(uint32_t typeId) {
    putU32(gSimUnit.escBootInfo, typeId);
}

void simSetEscFirmwareVersion(uint16_t version) {
    putU16(gSimUnit.escInfo + 4, version);
}

void simSetEscBootloaderVersion(uint32_t version) {
    putU32(gSimUnit.escBootInfo + 4, version);
}

void simResetUnitState(SimUnit *unit) {
    SimUnit &u = *unit;
    u = SimUnit{};
    u.identifyState = 0;
    u.escStatus = ESC_STATUS_UPDATABLE;
    u.statusAux = 0x0001;
    u.unitFirmwareVersion = 0x00010203;
    u.unitAuxInfo = 0x00000007;
    for (size_t i = 0; i < sizeof u.bootIdentity; ++i) {
        u.bootIdentity[i] = static_cast<uint8_t>(0xB0 + i);
    }
    putU32(u.memory, 0x4D494E55);
    putU32(u.memory + 4, u.unitFirmwareVersion);
    putU32(u.memory + 8, u.unitAuxInfo);
    for (size_t i = 0; i < sizeof u.escInfo; ++i) {
        u.escInfo[i] = static_cast<uint8_t>(0x40 + i);
    }
    for (size_t i = 0; i < sizeof u.escBootInfo; ++i) {
        u.escBootInfo[i] = static_cast<uint8_t>(0x80 + i);
    }
    putU32(u.escBootInfo, 0x111F408C);
    putU16(u.escInfo + 4, 0x020A);
    putU32(u.escBootInfo + 4, 0x00000102);
    u.escInfoError = 0;
    u.escBootInfoError = 0;
    u.systemLock = false;
    u.writeProtected = true;
    u.erased = false;
    u.addressSet = false;
    u.writePointer = 0;
    u.writtenFirmwareVersion = 0x0300;
    u.flash.assign(SIM_FLASH_SIZE, 0);
    for (size_t i = 0; i < SIM_FLASH_SIZE; ++i) {
        u.flash[i] = static_cast<uint8_t>(i * 7 + 3);
    }
}

void simResetUnit() {
    simResetUnitState(&gSimUnit);
}

void simInjectFault(const SimFault &fault) {
    gFaults.push_back(fault);
    gFaultMatches.push_back(0);
}

void simClearFaults() {
    gFaults.clear();
    gFaultMatches.clear();
    gActiveFaults.clear();
}

void simBeginCommand(const uint8_t *report, size_t length) {
    int command = length >= 2 ? report[1] : -1;
    gActiveFaults.clear();
    for (size_t i = 0; i < gFaults.size(); ++i) {
        const SimFault &fault = gFaults[i];
        if (fault.command != -1 && fault.command != command) {
            continue;
        }
        uint32_t seen = ++gFaultMatches[i];
        if (fault.nth == 0 || fault.nth == seen) {
            gActiveFaults.push_back(i);
        }
    }
}

const SimFault *simActiveFault(SimFaultKind kind) {
    for (size_t index : gActiveFaults) {
        if (gFaults[index].kind == kind) {
            return &gFaults[index];
        }
    }
    return nullptr;
}

// The unit that answers the command under way: gSimUnit, or the one simUnitAnswerFor names.
static SimUnit *gAnswering = &gSimUnit;

static SimUnit &answering() {
    return *gAnswering;
}

// A command as the unit received it: bytes past the written length are absent.
struct Received {
    const uint8_t *bytes;
    size_t length;
};

static bool hasByte(const Received &in, size_t at, uint8_t value) {
    return at < in.length && in.bytes[at] == value;
}

static bool hasU32(const Received &in, size_t at, uint32_t value) {
    return at + 4 <= in.length && getU32(in.bytes + at) == value;
}

static void refuse(ReplyFrame *reply, uint32_t code) {
    reply->status = STATUS_ERROR;
    putU32(reply->data, code);
}

static void refuseEscRead(ReplyFrame *reply, uint16_t code) {
    reply->status = STATUS_ERROR;
    putU16(reply->data, code);
    reply->data[2] = SIM_ESC_ERROR_FILL[0];
    reply->data[3] = SIM_ESC_ERROR_FILL[1];
}

static bool escAttached() {
    return answering().identifyState == 0 && answering().escStatus == ESC_STATUS_UPDATABLE;
}

static void answerIdentify(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, 0x00)) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    reply->state = answering().identifyState;
    if (answering().identifyState != 0) {
        std::memcpy(reply->data, answering().bootIdentity, sizeof answering().bootIdentity);
        return;
    }
    putU16(reply->data, answering().escStatus);
    putU16(reply->data + 2, answering().statusAux);
    putU32(reply->data + 4, answering().unitFirmwareVersion);
    putU32(reply->data + 8, answering().unitAuxInfo);
}

static void answerReadMemory(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, READ_MEMORY_LENGTH) || !hasU32(in, 4, UNIT_INFO_ADDRESS)) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    std::memcpy(reply->data, answering().memory, sizeof answering().memory);
}

static void answerSystemLock(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, SYSTEM_LOCK_LENGTH) ||
        !(hasByte(in, 3, SYSTEM_LOCK_SET) || hasByte(in, 3, SYSTEM_LOCK_RELEASE))) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    answering().systemLock = in.bytes[3] == SYSTEM_LOCK_SET;
    reply->state = answering().systemLock ? SYSTEM_LOCK_STATE_SET : 0x00;
}

// The checks every command that changes the ESC's flash makes, in the unit's order.
static bool escWriteAllowed(ReplyFrame *reply) {
    if (!escAttached()) {
        refuse(reply, SIM_ERROR_NO_ESC);
        return false;
    }
    if (!answering().systemLock) {
        refuse(reply, SIM_ERROR_NOT_LOCKED);
        return false;
    }
    return true;
}

static void answerWriteBlock(const Received &in, ReplyFrame *reply) {
    if (in.length < 3 || in.bytes[2] % 4 != 0 || in.bytes[2] > FRAME_PAYLOAD_SIZE ||
        in.length < 4u + in.bytes[2]) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    if (!escWriteAllowed(reply)) {
        return;
    }
    uint32_t size = in.bytes[2];
    if (answering().writeProtected) {
        refuse(reply, SIM_ERROR_PROTECTED);
    } else if (!answering().erased) {
        refuse(reply, SIM_ERROR_NOT_ERASED);
    } else if (!answering().addressSet) {
        refuse(reply, SIM_ERROR_NO_ADDRESS);
    } else if (answering().writePointer + size > answering().flash.size()) {
        refuse(reply, SIM_ERROR_FLASH_FULL);
    } else {
        std::memcpy(answering().flash.data() + answering().writePointer, in.bytes + 4, size);
        answering().writePointer += size;
    }
}

static void answerReadEscInfo(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, ESC_INFO_LENGTH) || !hasU32(in, 4, ESC_INFO_SIZE) ||
        !hasU32(in, 8, ESC_INFO_OFFSET)) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
    } else if (!escAttached()) {
        refuseEscRead(reply, static_cast<uint16_t>(SIM_ERROR_NO_ESC));
    } else if (answering().escInfoError != 0) {
        refuseEscRead(reply, answering().escInfoError);
    } else {
        std::memcpy(reply->data, answering().escInfo, sizeof answering().escInfo);
    }
}

static void answerReadEscBootInfo(ReplyFrame *reply) {
    if (!escAttached()) {
        refuseEscRead(reply, static_cast<uint16_t>(SIM_ERROR_NO_ESC));
    } else if (answering().escBootInfoError != 0) {
        refuseEscRead(reply, answering().escBootInfoError);
    } else {
        std::memcpy(reply->data, answering().escBootInfo, sizeof answering().escBootInfo);
    }
}

static void answerErase(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, ERASE_LENGTH) || !hasU32(in, 4, CONFIRMATION_CODE)) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    if (!escWriteAllowed(reply)) {
        return;
    }
    if (answering().writeProtected) {
        refuse(reply, SIM_ERROR_PROTECTED);
        return;
    }
    std::fill(answering().flash.begin(), answering().flash.end(), uint8_t{0xFF});
    answering().erased = true;
    answering().addressSet = false;
    answering().writePointer = 0;
}

static void answerSetAddress(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, SET_ADDRESS_LENGTH) || !hasByte(in, 3, SET_ADDRESS_PARAM) ||
        !hasU32(in, 4, WRITE_ADDRESS) || !hasU32(in, 8, CONFIRMATION_CODE)) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    if (!escWriteAllowed(reply)) {
        return;
    }
    if (answering().writeProtected) {
        refuse(reply, SIM_ERROR_PROTECTED);
    } else if (!answering().erased) {
        refuse(reply, SIM_ERROR_NOT_ERASED);
    } else {
        answering().addressSet = true;
        answering().writePointer = WRITE_ADDRESS;
    }
}

static void answerWriteProtect(const Received &in, ReplyFrame *reply) {
    if (!hasByte(in, 2, WRITE_PROTECT_LENGTH) ||
        !(hasByte(in, 3, WRITE_PROTECT_CLEAR) || hasByte(in, 3, WRITE_PROTECT_SET))) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    if (!escWriteAllowed(reply)) {
        return;
    }
    answering().writeProtected = in.bytes[3] == WRITE_PROTECT_SET;
    if (answering().writeProtected) {
        // A session that wrote blocks leaves the ESC with the new firmware, which it reports
        // from now on.
        if (answering().erased && answering().writePointer > 0) {
            putU16(answering().escInfo + 4, answering().writtenFirmwareVersion);
        }
        // Protecting the flash ends the write session: writing again needs a new erase.
        answering().erased = false;
        answering().addressSet = false;
    }
    reply->state = answering().writeProtected ? 0x01 : WRITE_PROTECT_STATE_CLEARED;
}

// The unit's own bootloader knows only the commands that identify it.
static bool knownInBootloader(uint8_t command) {
    return command == CMD_IDENTIFY || command == CMD_READ_MEMORY;
}

static void answer(const Received &in, ReplyFrame *reply) {
    if (in.length < 2 || in.bytes[0] != REPORT_ID_COMMAND) {
        refuse(reply, SIM_ERROR_BAD_FRAME);
        return;
    }
    uint8_t command = in.bytes[1];
    if (answering().identifyState != 0 && !knownInBootloader(command)) {
        refuse(reply, SIM_ERROR_UNKNOWN_COMMAND);
        return;
    }
    switch (command) {
    case CMD_IDENTIFY:
        answerIdentify(in, reply);
        break;
    case CMD_READ_MEMORY:
        answerReadMemory(in, reply);
        break;
    case CMD_SYSTEM_LOCK:
        answerSystemLock(in, reply);
        break;
    case CMD_WRITE_BLOCK:
        answerWriteBlock(in, reply);
        break;
    case CMD_READ_ESC_INFO:
        answerReadEscInfo(in, reply);
        break;
    case CMD_ERASE_FIRMWARE:
        answerErase(in, reply);
        break;
    case CMD_SET_ADDRESS:
        answerSetAddress(in, reply);
        break;
    case CMD_WRITE_PROTECT:
        answerWriteProtect(in, reply);
        break;
    case CMD_READ_ESC_BOOT_INFO:
        answerReadEscBootInfo(reply);
        break;
    default:
        refuse(reply, SIM_ERROR_UNKNOWN_COMMAND);
        break;
    }
}

void simUnitAnswer(const uint8_t *report, size_t length, uint8_t *replyBytes) {
    ReplyFrame reply;
    std::memset(&reply, 0, sizeof reply);
    reply.reportId = REPORT_ID_REPLY;
    reply.status = SIM_STATUS_OK;
    // An injected error reply means the unit did not carry the command out.
    if (const SimFault *fault = simActiveFault(SIM_FAULT_ERROR_REPLY)) {
        refuse(&reply, fault->value);
    } else {
        answer(Received{report, length > FRAME_SIZE ? FRAME_SIZE : length}, &reply);
    }
    if (const SimFault *fault = simActiveFault(SIM_FAULT_STATE)) {
        reply.state = static_cast<uint8_t>(fault->value);
    }
    if (const SimFault *fault = simActiveFault(SIM_FAULT_STATUS)) {
        reply.status = static_cast<uint8_t>(fault->value);
    }
    std::memcpy(replyBytes, &reply, sizeof reply);
}

void simUnitAnswerFor(SimUnit *unit, const uint8_t *report, size_t length, uint8_t *reply) {
    gAnswering = unit;
    simUnitAnswer(report, length, reply);
    gAnswering = &gSimUnit;
}

void simUnitHandle(const uint8_t *report, size_t length, uint8_t *reply) {
    simBeginCommand(report, length);
    simUnitAnswer(report, length, reply);
}

std::string simHex(const uint8_t *bytes, size_t length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        if (i > 0) {
            text += (i % 16 == 0) ? '\n' : ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}
