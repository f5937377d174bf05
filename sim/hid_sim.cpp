// The HID backend of a simulated PC: its HID interfaces, one of which is the simulated unit.
#include "link/hid.h"
#include "sim/sim.h"

#include "link/connection.h"
#include "link/frames.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

// A list is a snapshot of the interfaces present when it was taken, as the platform's is.
struct HidList {
    std::vector<SimInterface> interfaces;
};

struct SimHandle {
    std::wstring path;
    bool gone;                                // the device was unplugged while open
    std::deque<std::vector<uint8_t>> replies; // the unit's replies not yet read
    bool nextReadFails;                       // an injected read failure for the last command
    uint32_t readError;
};

constexpr HidHandle SIM_FIRST_HANDLE = 0x100;

static std::vector<SimInterface> gInterfaces;
static bool gListFails = false;
static std::map<HidHandle, SimHandle> gHandles;
static HidHandle gNextHandle = SIM_FIRST_HANDLE;
static std::vector<std::wstring> gOpenedPaths;
static std::vector<SimLogEntry> gLog;
static size_t gOpenLists = 0;
static size_t gBadHandleUses = 0;
static size_t gPeakHandles = 0;
// Each thread that updates a unit learns the error of its own last failure, as from the system.
static thread_local uint32_t gLastError = 0;
static uint32_t gLastReadTimeout = 0;
static uint32_t gTimedOutReads = 0;
// Units of their own behind interfaces that do not share gSimUnit; stable addresses.
static std::vector<std::unique_ptr<SimUnit>> gOwnUnits;
// Several units may be updated at once, each from its own thread: every operation on the
// simulated PC takes this lock, so that they are handled one at a time as a real bus would.
static std::recursive_mutex gSimLock;

static SimInterface makeInterface(uint16_t vendorId, uint16_t productId, const std::wstring &path,
                                  bool isUnit) {
    SimInterface device{};
    device.path = path;
    device.vendorId = vendorId;
    device.productId = productId;
    device.inputLength = FRAME_SIZE;
    device.outputLength = FRAME_SIZE;
    device.isUnit = isUnit;
    return device;
}

SimInterface simUnitInterface(uint16_t productId, const std::wstring &path) {
    return makeInterface(0x3A7C, productId, path, true);
}

SimInterface simOtherInterface(uint16_t vendorId, uint16_t productId, const std::wstring &path) {
    return makeInterface(vendorId, productId, path, false);
}

void simReset() {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    gInterfaces.clear();
    gListFails = false;
    gHandles.clear();
    gNextHandle = SIM_FIRST_HANDLE;
    gOpenedPaths.clear();
    gLog.clear();
    gOpenLists = 0;
    gBadHandleUses = 0;
    gPeakHandles = 0;
    gLastError = 0;
    gLastReadTimeout = 0;
    gTimedOutReads = 0;
    gOwnUnits.clear();
    simClearFaults();
    simResetUnit();
}

void simAddInterface(const SimInterface &device) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    gInterfaces.push_back(device);
}

static void unplug(const std::wstring &path) {
    std::erase_if(gInterfaces, [&](const SimInterface &each) { return each.path == path; });
    for (auto &[handle, open] : gHandles) {
        if (open.path == path) {
            open.gone = true;
            open.replies.clear();
        }
    }
}

void simRemoveInterface(const std::wstring &path) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    unplug(path);
}

void simSetListFails(bool fails) {
    gListFails = fails;
}

const std::vector<SimLogEntry> &simLog() {
    return gLog;
}

void simClearLog() {
    gLog.clear();
}

std::vector<std::vector<uint8_t>> simSentFrames() {
    std::vector<std::vector<uint8_t>> frames;
    for (const SimLogEntry &entry : gLog) {
        if (entry.direction == SIM_TO_UNIT && !entry.failed) {
            frames.push_back(entry.bytes);
        }
    }
    return frames;
}

std::vector<std::vector<uint8_t>> simDeliveredReplies() {
    std::vector<std::vector<uint8_t>> replies;
    for (const SimLogEntry &entry : gLog) {
        if (entry.direction == SIM_FROM_UNIT) {
            replies.push_back(entry.bytes);
        }
    }
    return replies;
}

size_t simOpenHandleCount() {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    return gHandles.size();
}

const std::vector<std::wstring> &simOpenedPaths() {
    return gOpenedPaths;
}

size_t simOpenListCount() {
    return gOpenLists;
}

size_t simBadHandleUses() {
    return gBadHandleUses;
}

size_t simPeakOpenHandleCount() {
    return gPeakHandles;
}

uint32_t simLastReadTimeout() {
    return gLastReadTimeout;
}

uint32_t simTimedOutReads() {
    return gTimedOutReads;
}

static const SimInterface *findPresent(const std::wstring &path) {
    for (const SimInterface &device : gInterfaces) {
        if (device.path == path) {
            return &device;
        }
    }
    return nullptr;
}

// The open handle, or nullptr (counted as a bad use) when it is not open.
static SimHandle *findHandle(HidHandle handle) {
    auto found = gHandles.find(handle);
    if (found == gHandles.end()) {
        ++gBadHandleUses;
        gLastError = SIM_SYSTEM_ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return &found->second;
}

// The device behind an open handle that is still plugged in, or nullptr.
static const SimInterface *pluggedInterface(HidHandle handle) {
    SimHandle *open = findHandle(handle);
    if (open == nullptr) {
        return nullptr;
    }
    const SimInterface *device = open->gone ? nullptr : findPresent(open->path);
    if (device == nullptr) {
        gLastError = SIM_SYSTEM_ERROR_NOT_CONNECTED;
    }
    return device;
}

static const SimInterface *listed(HidList *list, uint32_t index) {
    if (list == nullptr || index >= list->interfaces.size()) {
        return nullptr;
    }
    return &list->interfaces[index];
}

HidList *hidOpenList() {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    if (gListFails) {
        gLastError = SIM_SYSTEM_ERROR_NO_DATA;
        return nullptr;
    }
    ++gOpenLists;
    return new HidList{gInterfaces};
}

void hidCloseList(HidList *list) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    if (list == nullptr) {
        return;
    }
    --gOpenLists;
    delete list;
}

bool hidListHas(HidList *list, uint32_t index) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    return listed(list, index) != nullptr;
}

size_t hidPathSize(HidList *list, uint32_t index) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = listed(list, index);
    if (device == nullptr || device->sizeFails) {
        gLastError = SIM_SYSTEM_ERROR_NO_DATA;
        return 0;
    }
    return device->path.size() + 1;
}

bool hidGetPath(HidList *list, uint32_t index, wchar_t *path, size_t size) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = listed(list, index);
    if (device == nullptr || device->detailFails || size < device->path.size() + 1) {
        gLastError = SIM_SYSTEM_ERROR_NO_DATA;
        return false;
    }
    std::copy(device->path.begin(), device->path.end(), path);
    path[device->path.size()] = L'\0';
    return true;
}

HidHandle hidOpenPath(const wchar_t *path) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = findPresent(path);
    if (device == nullptr) {
        gLastError = SIM_SYSTEM_ERROR_NOT_FOUND;
        return HID_INVALID_HANDLE;
    }
    if (device->heldExclusively) {
        gLastError = SIM_SYSTEM_ERROR_SHARING;
        return HID_INVALID_HANDLE;
    }
    if (device->heldByOurs) {
        gLastError = HID_ERROR_IN_USE;
        return HID_INVALID_HANDLE;
    }
    HidHandle handle = gNextHandle++;
    gHandles[handle] = SimHandle{device->path, false, {}, false, 0};
    gOpenedPaths.push_back(device->path);
    gPeakHandles = std::max(gPeakHandles, gHandles.size());
    return handle;
}

bool hidGetAttributes(HidHandle handle, uint16_t *vendorId, uint16_t *productId) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = pluggedInterface(handle);
    if (device == nullptr) {
        return false;
    }
    if (device->attributesFail) {
        gLastError = SIM_SYSTEM_ERROR_NO_DATA;
        return false;
    }
    *vendorId = device->vendorId;
    *productId = device->productId;
    return true;
}

bool hidGetReportLengths(HidHandle handle, uint32_t *inputLength, uint32_t *outputLength) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = pluggedInterface(handle);
    if (device == nullptr) {
        return false;
    }
    if (device->lengthsFail) {
        gLastError = SIM_SYSTEM_ERROR_NO_DATA;
        return false;
    }
    *inputLength = device->inputLength;
    *outputLength = device->outputLength;
    return true;
}

static uint32_t errorOr(const SimFault *fault, uint32_t fallback) {
    return fault->systemError != 0 ? fault->systemError : fallback;
}

bool hidWrite(HidHandle handle, const uint8_t *report, size_t length) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = pluggedInterface(handle);
    if (device == nullptr) {
        return false;
    }
    SimHandle &open = gHandles[handle];
    if (length > device->outputLength) {
        gLastError = SIM_SYSTEM_ERROR_PARAMETER;
        return false;
    }
    std::vector<uint8_t> written(report, report + length);
    if (!device->isUnit) {
        // Another HID device takes the report and has nothing to say to it.
        gLog.push_back({SIM_TO_UNIT, written, false});
        gLastError = 0;
        return true;
    }
    simBeginCommand(report, length);
    if (const SimFault *fault = simActiveFault(SIM_FAULT_UNPLUGGED)) {
        gLastError = errorOr(fault, SIM_SYSTEM_ERROR_NOT_CONNECTED);
        gLog.push_back({SIM_TO_UNIT, written, true});
        unplug(open.path);
        return false;
    }
    if (const SimFault *fault = simActiveFault(SIM_FAULT_WRITE_FAILS)) {
        gLastError = errorOr(fault, SIM_SYSTEM_ERROR_NOT_CONNECTED);
        gLog.push_back({SIM_TO_UNIT, written, true});
        return false;
    }
    gLog.push_back({SIM_TO_UNIT, written, false});
    std::vector<uint8_t> reply(FRAME_SIZE);
    simUnitAnswerFor(device->unit != nullptr ? device->unit : &gSimUnit, report, length,
                     reply.data());
    open.nextReadFails = false;
    if (const SimFault *fault = simActiveFault(SIM_FAULT_READ_FAILS)) {
        open.nextReadFails = true;
        open.readError = errorOr(fault, SIM_SYSTEM_ERROR_NOT_CONNECTED);
    } else if (simActiveFault(SIM_FAULT_NO_REPLY) == nullptr) {
        open.replies.push_back(reply);
    }
    gLastError = 0;
    return true;
}

bool hidRead(HidHandle handle, uint8_t *report, size_t length, uint32_t timeoutMs) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    gLastReadTimeout = timeoutMs;
    const SimInterface *device = pluggedInterface(handle);
    if (device == nullptr) {
        return false;
    }
    SimHandle &open = gHandles[handle];
    if (open.nextReadFails) {
        open.nextReadFails = false;
        gLastError = open.readError;
        return false;
    }
    if (open.replies.empty()) {
        // Nothing will come: the wait runs out instead of blocking the test.
        ++gTimedOutReads;
        gLastError = SIM_SYSTEM_ERROR_TIMEOUT;
        return false;
    }
    std::vector<uint8_t> reply = open.replies.front();
    open.replies.pop_front();
    // A device whose input report is longer than the unit's frame pads it with zeros.
    size_t delivered = std::min<size_t>(length, device->inputLength);
    reply.resize(std::max(reply.size(), delivered), 0);
    std::memcpy(report, reply.data(), delivered);
    gLog.push_back(
        {SIM_FROM_UNIT,
         std::vector<uint8_t>(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(delivered)),
         false});
    gLastError = 0;
    return true;
}

void hidClose(HidHandle handle) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    if (handle == HID_INVALID_HANDLE) {
        return;
    }
    if (findHandle(handle) != nullptr) {
        gHandles.erase(handle);
    }
}

uint32_t hidLastError() {
    return gLastError;
}

void simPlugDemoUnit(const std::wstring &path) {
    simResetUnit();
    simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, path));
}

SimUnit *simPlugOwnDemoUnit(const std::wstring &path) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    gOwnUnits.push_back(std::make_unique<SimUnit>());
    SimUnit *unit = gOwnUnits.back().get();
    simResetUnitState(unit);
    SimInterface device = simUnitInterface(PRODUCT_ID_TALOMIR, path);
    device.unit = unit;
    simAddInterface(device);
    return unit;
}

std::vector<std::wstring> simUnitPaths() {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    std::vector<std::wstring> paths;
    for (const SimInterface &device : gInterfaces) {
        if (device.isUnit) {
            paths.push_back(device.path);
        }
    }
    return paths;
}

bool simPathOpen(const std::wstring &path) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    for (const auto &[handle, open] : gHandles) {
        if (open.path == path && !open.gone) {
            return true;
        }
    }
    return false;
}

bool simUnitWritten(const std::wstring &path) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = findPresent(path);
    if (device == nullptr || !device->isUnit) {
        return false;
    }
    const SimUnit &unit = device->unit != nullptr ? *device->unit : gSimUnit;
    return unit.writeProtected && unit.writePointer > 0 && !unit.systemLock;
}

bool simUnitIsOwn(const std::wstring &path) {
    std::lock_guard<std::recursive_mutex> locked(gSimLock);
    const SimInterface *device = findPresent(path);
    return device != nullptr && device->unit != nullptr;
}
