// A HID backend and clock for counting allocations: one ready unit that accepts every command,
// answered from fixed buffers, and pauses that are only added up. Nothing here allocates.
#include "link/frames.h"
#include "link/hid.h"
#include "link/pause.h"
#include "tests/app/quiet_unit.h"

#include <cstring>
#include <cwchar>

struct HidList {
    int unused;
};

namespace {
HidList gList = {0};
constexpr HidHandle QUIET_HANDLE = 7;
const wchar_t QUIET_PATH[] = L"quiet-unit";
uint8_t gLastCommand = 0;
uint8_t gLastParam = 0;
uint64_t gPauseTotal = 0;
uint64_t gBlocks = 0;
} // namespace

uint64_t quietPauseTotal() {
    return gPauseTotal;
}

uint64_t quietBlocks() {
    return gBlocks;
}

void resetQuietUnit() {
    gPauseTotal = 0;
    gBlocks = 0;
}

HidList *hidOpenList() {
    return &gList;
}

void hidCloseList(HidList *) {}

bool hidListHas(HidList *, uint32_t index) {
    return index == 0;
}

size_t hidPathSize(HidList *, uint32_t) {
    return std::wcslen(QUIET_PATH) + 1;
}

bool hidGetPath(HidList *, uint32_t, wchar_t *path, size_t size) {
    if (size < std::wcslen(QUIET_PATH) + 1) {
        return false;
    }
    std::wcscpy(path, QUIET_PATH);
    return true;
}

HidHandle hidOpenPath(const wchar_t *) {
    return QUIET_HANDLE;
}

bool hidGetAttributes(HidHandle, uint16_t *vendorId, uint16_t *productId) {
    *vendorId = 0x3A7C;
    *productId = 2;
    return true;
}

bool hidGetReportLengths(HidHandle, uint32_t *inputLength, uint32_t *outputLength) {
    *inputLength = FRAME_SIZE;
    *outputLength = FRAME_SIZE;
    return true;
}

bool hidWrite(HidHandle, const uint8_t *report, size_t) {
    gLastCommand = report[1];
    gLastParam = report[3];
    gBlocks += gLastCommand == CMD_WRITE_BLOCK ? 1 : 0;
    return true;
}

bool hidRead(HidHandle, uint8_t *report, size_t length, uint32_t) {
    uint8_t reply[FRAME_SIZE] = {REPORT_ID_REPLY};
    switch (gLastCommand) {
    case CMD_IDENTIFY:
        reply[4] = 3; // an updatable ESC
        break;
    case CMD_READ_ESC_INFO:
        reply[8] = 0x0A; // firmware 2.10
        reply[9] = 0x02;
        break;
    case CMD_READ_ESC_BOOT_INFO:
        putU32(reply + 4, 0x111F408C);
        break;
    case CMD_SYSTEM_LOCK:
        reply[3] = gLastParam;
        break;
    default:
        break;
    }
    std::memcpy(report, reply, length < FRAME_SIZE ? length : FRAME_SIZE);
    return true;
}

void hidClose(HidHandle) {}

uint32_t hidLastError() {
    return 0;
}

void pauseMs(uint32_t milliseconds) {
    gPauseTotal += milliseconds;
}
