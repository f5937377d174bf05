// The fuzz target's HID backend: the input decides the interfaces and how every exchange goes;
// the simulated unit gives the answers the input leaves alone. It checks what the link hands it.
#include "tests/fuzz/fuzz.h"

#include "link/frames.h"
#include "sim/sim.h"

#include <cstring>
#include <cwchar>
#include <map>
#include <string>

struct HidList {
    std::vector<size_t> present; // numbers of the interfaces present when it was taken
};

namespace {
struct Interface {
    std::wstring path;
    uint16_t vendorId;
    uint16_t productId;
    uint32_t inputLength;
    uint32_t outputLength;
    bool present;
    bool lengthsFail;
    bool openFails;
    bool attributesFail;
    bool sizeFails;
};

struct Handle {
    size_t device;
    bool ready;        // the application showed the ready status for it
    bool replyPending; // a command was written and its reply not yet read
    bool readFails;
    uint8_t reply[FRAME_SIZE];
};

// What the input does with one exchange, chosen by the high nibble of its byte.
enum Exchange : uint8_t {
    EXCHANGE_WRITE_FAILS = 0x8,
    EXCHANGE_READ_FAILS = 0x9,
    EXCHANGE_ERROR_REPLY = 0xA, // status 0xFF, the error code from the next byte
    EXCHANGE_STATE = 0xB,       // the state byte from the next byte
    EXCHANGE_STATUS = 0xC,      // the status byte from the next byte
    EXCHANGE_RAW = 0xD,         // reply bytes 1 to 8 from the next bytes
    EXCHANGE_UNPLUGGED = 0xE,   // the unit leaves before the command
};

constexpr uint32_t SYSTEM_ERROR_GONE = 1167;
constexpr uint32_t SYSTEM_ERROR_IO = 31;
constexpr uint32_t SYSTEM_ERROR_NOT_FOUND = 2;

std::vector<Interface> gInterfaces;
std::map<HidHandle, Handle> gHandles;
HidHandle gNextHandle = 0x100;
size_t gOpenLists = 0;
uint32_t gLastError = 0;
bool gUpdateFailed = false;
std::vector<uint8_t> gWrittenBlocks;

Handle &handleOf(HidHandle handle) {
    auto found = gHandles.find(handle);
    if (found == gHandles.end()) {
        fuzzFail("a handle that is not open was used");
    }
    return found->second;
}

// The commands that only the update sends.
bool isUpdateCommand(uint8_t command) {
    return command == CMD_SYSTEM_LOCK || command == CMD_WRITE_PROTECT ||
           command == CMD_ERASE_FIRMWARE || command == CMD_SET_ADDRESS ||
           command == CMD_WRITE_BLOCK;
}

// The update's steps up to the last block, whose failure ends it; the two finishing commands
// may fail without consequence.
bool isStepCommand(const uint8_t *frame) {
    uint8_t command = frame[1];
    if (command == CMD_SYSTEM_LOCK) {
        return frame[3] == SYSTEM_LOCK_SET;
    }
    if (command == CMD_WRITE_PROTECT) {
        return frame[3] == WRITE_PROTECT_CLEAR;
    }
    return command == CMD_ERASE_FIRMWARE || command == CMD_SET_ADDRESS ||
           command == CMD_WRITE_BLOCK;
}

void checkUpdateCommand(const Handle &open, uint8_t command) {
    if (!isUpdateCommand(command)) {
        return;
    }
    if (!open.ready) {
        fuzzFail("an update command went to a unit that never classified ready");
    }
    if (gUpdateFailed) {
        fuzzFail("an update command was written after the update failed");
    }
}

void recordBlock(const uint8_t *frame, size_t length) {
    if (frame[1] == CMD_SET_ADDRESS) {
        gWrittenBlocks.clear();
    } else if (frame[1] == CMD_WRITE_BLOCK) {
        size_t count = frame[2] < length - 4 ? frame[2] : length - 4;
        gWrittenBlocks.insert(gWrittenBlocks.end(), frame + 4, frame + 4 + count);
    }
}

void unplugDevice(size_t device) {
    gInterfaces[device].present = false;
}

bool gone(const Handle &open) {
    return !gInterfaces[open.device].present;
}

// Applies what the input asks of this exchange to the unit's reply.
void shapeReply(Handle &open, uint8_t choice) {
    switch (choice >> 4) {
    case EXCHANGE_READ_FAILS:
        open.readFails = true;
        break;
    case EXCHANGE_ERROR_REPLY: {
        uint8_t code = fuzzByte();
        open.reply[1] = STATUS_ERROR;
        putU32(open.reply + 4, code == 0xFF ? 0xFFFFFFFFu : code);
        break;
    }
    case EXCHANGE_STATE:
        open.reply[3] = fuzzByte();
        break;
    case EXCHANGE_STATUS:
        open.reply[1] = fuzzByte();
        break;
    case EXCHANGE_RAW:
        for (size_t i = 1; i <= 8; ++i) {
            open.reply[i] = fuzzByte();
        }
        break;
    default:
        break;
    }
}
} // namespace

void fuzzHidReset() {
    gInterfaces.clear();
    gHandles.clear();
    gOpenLists = 0;
    gLastError = 0;
    gUpdateFailed = false;
    gWrittenBlocks.clear();
    simClearFaults();
    simResetUnit();
}

// Descriptor byte: bits 0-1 the device (TALOMIR, MERIVAN, another vendor's, the unit's vendor
// with product 3), bit 2 lengths unreadable, bit 3 lengths from the next two bytes (input,
// output), bit 4 cannot be opened, bit 5 attributes unreadable, bit 6 path size unknown.
void fuzzPlug() {
    uint8_t descriptor = fuzzByte();
    static const uint16_t VENDORS[] = {0x3A7C, 0x3A7C, 0x046D, 0x3A7C};
    static const uint16_t PRODUCTS[] = {2, 1, 0xC077, 3};
    Interface device{};
    device.path = L"/dev/hidraw" + std::to_wstring(gInterfaces.size());
    device.vendorId = VENDORS[descriptor & 3];
    device.productId = PRODUCTS[descriptor & 3];
    device.inputLength = FRAME_SIZE;
    device.outputLength = FRAME_SIZE;
    if ((descriptor & 0x08) != 0) {
        device.inputLength = fuzzByte();
        device.outputLength = fuzzByte();
    }
    device.present = true;
    device.lengthsFail = (descriptor & 0x04) != 0;
    device.openFails = (descriptor & 0x10) != 0;
    device.attributesFail = (descriptor & 0x20) != 0;
    device.sizeFails = (descriptor & 0x40) != 0;
    gInterfaces.push_back(device);
}

void fuzzUnplug(uint8_t number) {
    if (!gInterfaces.empty()) {
        unplugDevice(number % gInterfaces.size());
    }
}

std::vector<wchar_t> fuzzPath(uint8_t number) {
    std::vector<wchar_t> path;
    if (!gInterfaces.empty()) {
        const std::wstring &name = gInterfaces[number % gInterfaces.size()].path;
        path.assign(name.begin(), name.end());
    }
    path.push_back(L'\0');
    return path;
}

size_t fuzzOpenHandles() {
    return gHandles.size();
}

size_t fuzzOpenLists() {
    return gOpenLists;
}

bool fuzzHandleOpen(HidHandle handle) {
    return gHandles.count(handle) != 0;
}

void fuzzMarkReady(HidHandle handle) {
    handleOf(handle).ready = true;
}

void fuzzUpdateStarts() {
    gUpdateFailed = false;
}

void fuzzUpdateFailed() {
    gUpdateFailed = true;
}

const std::vector<uint8_t> &fuzzWrittenBlocks() {
    return gWrittenBlocks;
}

HidList *hidOpenList() {
    HidList *list = new HidList;
    for (size_t i = 0; i < gInterfaces.size(); ++i) {
        if (gInterfaces[i].present) {
            list->present.push_back(i);
        }
    }
    ++gOpenLists;
    return list;
}

void hidCloseList(HidList *list) {
    if (list != nullptr) {
        --gOpenLists;
        delete list;
    }
}

bool hidListHas(HidList *list, uint32_t index) {
    return index < list->present.size();
}

size_t hidPathSize(HidList *list, uint32_t index) {
    const Interface &device = gInterfaces[list->present.at(index)];
    return device.sizeFails ? 0 : device.path.size() + 1;
}

bool hidGetPath(HidList *list, uint32_t index, wchar_t *path, size_t size) {
    const Interface &device = gInterfaces[list->present.at(index)];
    if (size < device.path.size() + 1) {
        return false;
    }
    std::wmemcpy(path, device.path.c_str(), device.path.size() + 1);
    return true;
}

HidHandle hidOpenPath(const wchar_t *path) {
    // The application opens one unit at a time, and the search closes what it passes over.
    if (!gHandles.empty()) {
        fuzzFail("a device was opened while another was still open");
    }
    for (size_t i = 0; i < gInterfaces.size(); ++i) {
        const Interface &device = gInterfaces[i];
        if (device.present && device.path == path && !device.openFails) {
            Handle open{};
            open.device = i;
            gHandles[gNextHandle] = open;
            return gNextHandle++;
        }
    }
    gLastError = SYSTEM_ERROR_NOT_FOUND;
    return HID_INVALID_HANDLE;
}

bool hidGetAttributes(HidHandle handle, uint16_t *vendorId, uint16_t *productId) {
    const Interface &device = gInterfaces[handleOf(handle).device];
    if (device.attributesFail || !device.present) {
        return false;
    }
    *vendorId = device.vendorId;
    *productId = device.productId;
    return true;
}

bool hidGetReportLengths(HidHandle handle, uint32_t *inputLength, uint32_t *outputLength) {
    const Interface &device = gInterfaces[handleOf(handle).device];
    if (device.lengthsFail || !device.present) {
        return false;
    }
    *inputLength = device.inputLength;
    *outputLength = device.outputLength;
    return true;
}

bool hidWrite(HidHandle handle, const uint8_t *report, size_t length) {
    Handle &open = handleOf(handle);
    // The frames need 52 bytes (a block and its header) and have 60; anything else is a record
    // whose lengths were refused, or a frame cut or overrun.
    if (length < 52 || length > FRAME_SIZE || length != gInterfaces[open.device].outputLength) {
        fuzzFail("a report was written with unusable lengths");
    }
    if (open.replyPending) {
        fuzzFail("a command was written before the last reply was read");
    }
    uint8_t frame[FRAME_SIZE] = {};
    std::memcpy(frame, report, length);
    checkUpdateCommand(open, frame[1]);
    uint8_t choice = fuzzByte();
    if (gone(open) || choice >> 4 == EXCHANGE_WRITE_FAILS || choice >> 4 == EXCHANGE_UNPLUGGED) {
        if (choice >> 4 == EXCHANGE_UNPLUGGED) {
            unplugDevice(open.device);
        }
        gLastError = gone(open) ? SYSTEM_ERROR_GONE : SYSTEM_ERROR_IO;
        if (isStepCommand(frame)) {
            gUpdateFailed = true;
        }
        return false;
    }
    recordBlock(frame, length);
    simUnitHandle(frame, length, open.reply);
    open.readFails = false;
    shapeReply(open, choice);
    if (open.readFails && isStepCommand(frame)) {
        gUpdateFailed = true;
    }
    open.replyPending = true;
    return true;
}

bool hidRead(HidHandle handle, uint8_t *report, size_t length, uint32_t) {
    Handle &open = handleOf(handle);
    if (length == 0 || length > FRAME_SIZE || length != gInterfaces[open.device].inputLength) {
        fuzzFail("a report was read with unusable lengths");
    }
    if (!open.replyPending) {
        fuzzFail("a reply was read without a command before it");
    }
    open.replyPending = false;
    if (gone(open) || open.readFails) {
        gLastError = gone(open) ? SYSTEM_ERROR_GONE : SYSTEM_ERROR_IO;
        return false;
    }
    std::memcpy(report, open.reply, length);
    return true;
}

void hidClose(HidHandle handle) {
    if (handle != HID_INVALID_HANDLE) {
        handleOf(handle);
        gHandles.erase(handle);
    }
}

uint32_t hidLastError() {
    return gLastError;
}
