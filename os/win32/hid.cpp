// The Windows HID backend: SetupAPI lists the interfaces, hid.dll gives identity and report
// lengths, overlapped file I/O carries the reports.
#include "link/hid.h"
#include "os/win32/hid_win32.h"

#include <windows.h>

#include <setupapi.h>

// hidsdi.h brings hidpi.h, which cannot stand alone (it needs NTSTATUS); mingw-w64 declares
// neither with C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <cstddef>
#include <cstdlib>
#include <cwchar>

struct HidList {
    HDEVINFO info;
    GUID guid;
};

// The error of the operation that failed, kept apart from GetLastError so that the cleanup
// after a failure cannot overwrite it before it is shown; a successful write or read clears it.
// Each thread (each unit updated at once) has its own, as GetLastError does.
static thread_local DWORD lastError = ERROR_SUCCESS;

// The handle whose last read ended in a timeout: its reply may still arrive and wait in the
// driver's input queue, where the next read would take it for the next command's reply. A
// thread talks to one unit at a time.
static thread_local HANDLE staleInputHandle = INVALID_HANDLE_VALUE;

static bool fail(DWORD error) {
    lastError = error;
    return false;
}

// A unit that stops taking reports would otherwise hold the window in a write forever.
uint32_t gHidWriteTimeoutMs = HID_WRITE_TIMEOUT_MS;

// The device is opened shared, and the HID class gives every handle its own copy of each reply,
// so a second program of ours would answer its commands with ours. Which of our programs holds
// a device is marked by a named event in the session's namespace, one name per path: whoever
// creates it holds the device, and finding it there already means that another holder exists.
// The system deletes the event with its last handle, so the hold ends with hidClose or with the
// process.
static const wchar_t HOLD_PREFIX[] = L"Local\\quillar-updater-hid-";

// An open device and the event of its hold; a free entry has no device. A search opens one
// interface at a time and each record holds one unit: watch --all has room for 15 units at once
// beside its search.
struct Hold {
    HANDLE device;
    HANDLE event;
};
constexpr size_t MAX_HOLDS = 16;
static Hold holds[MAX_HOLDS] = {};
// The units of watch --all are opened and closed from their own threads.
static SRWLOCK holdsLock = SRWLOCK_INIT;

static HANDLE toHandle(HidHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

HidList *hidOpenList() {
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO info =
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (info == INVALID_HANDLE_VALUE) {
        fail(GetLastError());
        return nullptr;
    }
    HidList *list = static_cast<HidList *>(std::malloc(sizeof(HidList)));
    if (list == nullptr) {
        SetupDiDestroyDeviceInfoList(info);
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    list->info = info;
    list->guid = guid;
    return list;
}

void hidCloseList(HidList *list) {
    if (list == nullptr) {
        return;
    }
    SetupDiDestroyDeviceInfoList(list->info);
    std::free(list);
}

static bool enumInterface(HidList *list, uint32_t index, SP_DEVICE_INTERFACE_DATA *data) {
    data->cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (!SetupDiEnumDeviceInterfaces(list->info, nullptr, &list->guid, index, data)) {
        return fail(GetLastError());
    }
    return true;
}

bool hidListHas(HidList *list, uint32_t index) {
    if (list == nullptr) {
        return fail(ERROR_INVALID_HANDLE);
    }
    SP_DEVICE_INTERFACE_DATA data;
    return enumInterface(list, index, &data);
}

// The size in bytes of the interface's detail structure, path included; 0 when unknown. The
// call fails by design (no buffer), so only the size it reports counts.
static DWORD detailSize(HidList *list, SP_DEVICE_INTERFACE_DATA *data) {
    DWORD required = 0;
    if (!SetupDiGetDeviceInterfaceDetailW(list->info, data, nullptr, 0, &required, nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            fail(error);
        }
    }
    if (required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) {
        return 0;
    }
    return required;
}

static size_t pathCharacters(DWORD detailBytes) {
    size_t pathBytes = detailBytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    return (pathBytes + sizeof(WCHAR) - 1) / sizeof(WCHAR);
}

size_t hidPathSize(HidList *list, uint32_t index) {
    if (list == nullptr) {
        fail(ERROR_INVALID_HANDLE);
        return 0;
    }
    SP_DEVICE_INTERFACE_DATA data;
    if (!enumInterface(list, index, &data)) {
        return 0;
    }
    DWORD bytes = detailSize(list, &data);
    return bytes == 0 ? 0 : pathCharacters(bytes);
}

bool hidGetPath(HidList *list, uint32_t index, wchar_t *path, size_t size) {
    if (list == nullptr || path == nullptr || size == 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    SP_DEVICE_INTERFACE_DATA data;
    if (!enumInterface(list, index, &data)) {
        return false;
    }
    // The size is asked again: the interface may have changed since hidPathSize.
    DWORD bytes = detailSize(list, &data);
    if (bytes == 0) {
        return false;
    }
    auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(std::calloc(1, bytes));
    if (detail == nullptr) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    bool copied = false;
    if (!SetupDiGetDeviceInterfaceDetailW(list->info, &data, detail, bytes, nullptr, nullptr)) {
        fail(GetLastError());
    } else {
        // The path is not trusted to be terminated inside the buffer.
        size_t length = wcsnlen(detail->DevicePath, pathCharacters(bytes));
        if (length + 1 > size) {
            fail(ERROR_INSUFFICIENT_BUFFER);
        } else {
            std::wmemcpy(path, detail->DevicePath, length);
            path[length] = L'\0';
            copied = true;
        }
    }
    std::free(detail);
    return copied;
}

// Letters A to Z folded to lower case, since a path names its device in any case, and
// backslashes, which a name may hold only after its namespace, made slashes.
static wchar_t nameCharacter(wchar_t c) {
    if (c >= L'A' && c <= L'Z') {
        return static_cast<wchar_t>(c - L'A' + L'a');
    }
    return c == L'\\' ? L'/' : c;
}

// The name of the path's hold in MAX_PATH characters, the longest a name may be: the prefix and
// the path as nameCharacter has it. A longer path keeps its beginning, after a hash of the whole.
static void holdName(const wchar_t *path, wchar_t *name) {
    const size_t prefix = sizeof HOLD_PREFIX / sizeof HOLD_PREFIX[0] - 1;
    std::wmemcpy(name, HOLD_PREFIX, prefix);
    size_t at = prefix;
    size_t length = std::wcslen(path);
    size_t room = MAX_PATH - 1 - prefix;
    if (length > room) {
        uint64_t hash = 0xCBF29CE484222325u; // 64-bit FNV-1a
        for (size_t i = 0; i < length; ++i) {
            hash = (hash ^ static_cast<uint64_t>(nameCharacter(path[i]))) * 0x100000001B3u;
        }
        for (int shift = 60; shift >= 0; shift -= 4) {
            name[at++] = L"0123456789abcdef"[(hash >> shift) & 0xF];
        }
        length = MAX_PATH - 1 - at;
    }
    for (size_t i = 0; i < length; ++i) {
        name[at++] = nameCharacter(path[i]);
    }
    name[at] = L'\0';
}

// The event of a new hold of the path, or nullptr when it cannot be had.
static HANDLE takeHold(const wchar_t *path) {
    wchar_t name[MAX_PATH];
    holdName(path, name);
    SetLastError(ERROR_SUCCESS);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name);
    DWORD error = GetLastError();
    if (event == nullptr) {
        // The event of a holder running as another user is there but cannot be opened.
        fail(error == ERROR_ACCESS_DENIED ? HID_ERROR_IN_USE : error);
        return nullptr;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(event);
        fail(HID_ERROR_IN_USE);
        return nullptr;
    }
    return event;
}

// Under holdsLock.
static Hold *freeHold() {
    for (Hold &hold : holds) {
        if (hold.device == nullptr) {
            return &hold;
        }
    }
    return nullptr;
}

HidHandle hidOpenPath(const wchar_t *path) {
    if (path == nullptr) {
        fail(ERROR_INVALID_PARAMETER);
        return HID_INVALID_HANDLE;
    }
    HANDLE event = takeHold(path);
    if (event == nullptr) {
        return HID_INVALID_HANDLE;
    }
    // Overlapped, so that a read can be given up after its time limit; writes still wait.
    HANDLE handle =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail(GetLastError());
        CloseHandle(event);
        return HID_INVALID_HANDLE;
    }
    AcquireSRWLockExclusive(&holdsLock);
    Hold *hold = freeHold();
    if (hold != nullptr) {
        *hold = {handle, event};
    }
    ReleaseSRWLockExclusive(&holdsLock);
    if (hold == nullptr) {
        CloseHandle(handle);
        CloseHandle(event);
        fail(ERROR_TOO_MANY_OPEN_FILES);
        return HID_INVALID_HANDLE;
    }
    return reinterpret_cast<HidHandle>(handle);
}

bool hidGetAttributes(HidHandle handle, uint16_t *vendorId, uint16_t *productId) {
    // The invalid handle value is also the current process's pseudo-handle; it must never
    // reach a system call.
    if (handle == HID_INVALID_HANDLE) {
        return fail(ERROR_INVALID_HANDLE);
    }
    HIDD_ATTRIBUTES attributes;
    attributes.Size = sizeof(HIDD_ATTRIBUTES);
    if (!HidD_GetAttributes(toHandle(handle), &attributes)) {
        return fail(GetLastError());
    }
    *vendorId = attributes.VendorID;
    *productId = attributes.ProductID;
    return true;
}

bool hidGetReportLengths(HidHandle handle, uint32_t *inputLength, uint32_t *outputLength) {
    if (handle == HID_INVALID_HANDLE) {
        return fail(ERROR_INVALID_HANDLE);
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(toHandle(handle), &preparsed)) {
        return fail(GetLastError());
    }
    HIDP_CAPS caps;
    NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) {
        return fail(static_cast<DWORD>(status));
    }
    *inputLength = caps.InputReportByteLength;
    *outputLength = caps.OutputReportByteLength;
    return true;
}

// The event that every overlapped transfer of a thread waits on; a thread's transfers never
// overlap each other, since each one ends (or is cancelled and waited for) before its function
// returns. Each thread that updates a unit has its own, kept until the process ends.
static HANDLE transferEvent() {
    static thread_local HANDLE event = nullptr;
    if (event == nullptr) {
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    return event;
}

// Checks the arguments of a transfer and prepares its OVERLAPPED with the shared event.
static bool startTransfer(HidHandle handle, const uint8_t *report, size_t length,
                          OVERLAPPED *overlapped) {
    if (handle == HID_INVALID_HANDLE) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (report == nullptr || length == 0 || length > MAXDWORD) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *overlapped = {};
    overlapped->hEvent = transferEvent();
    if (overlapped->hEvent == nullptr) {
        return fail(GetLastError());
    }
    return true;
}

// Waits at most timeoutMs for a started transfer. One that is still running then is cancelled
// and waited for: it owns the caller's frame and OVERLAPPED, which must not go out of scope
// under it. timedOut tells a transfer given up from one that failed.
static bool awaitTransfer(HANDLE device, OVERLAPPED *overlapped, DWORD timeoutMs, bool *timedOut) {
    *timedOut = false;
    DWORD count = 0;
    const DWORD waited = WaitForSingleObject(overlapped->hEvent, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        const DWORD waitError = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
        CancelIoEx(device, overlapped);
        if (GetOverlappedResult(device, overlapped, &count, TRUE)) {
            // It ended as the wait did; it counts.
            return true;
        }
        *timedOut = true;
        return fail(waitError);
    }
    if (!GetOverlappedResult(device, overlapped, &count, FALSE)) {
        return fail(GetLastError());
    }
    return true;
}

bool hidWrite(HidHandle handle, const uint8_t *report, size_t length) {
    OVERLAPPED overlapped;
    if (!startTransfer(handle, report, length, &overlapped)) {
        return false;
    }
    HANDLE device = toHandle(handle);
    if (device == staleInputHandle) {
        // Drops a reply that came after its read had timed out; fails harmlessly on a
        // handle that has no HID input queue.
        HidD_FlushQueue(device);
        staleInputHandle = INVALID_HANDLE_VALUE;
    }
    if (!WriteFile(device, report, static_cast<DWORD>(length), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return fail(GetLastError());
    }
    bool timedOut = false;
    if (!awaitTransfer(device, &overlapped, gHidWriteTimeoutMs, &timedOut)) {
        return false;
    }
    lastError = ERROR_SUCCESS;
    return true;
}

bool hidRead(HidHandle handle, uint8_t *report, size_t length, uint32_t timeoutMs) {
    OVERLAPPED overlapped;
    if (!startTransfer(handle, report, length, &overlapped)) {
        return false;
    }
    HANDLE device = toHandle(handle);
    if (!ReadFile(device, report, static_cast<DWORD>(length), nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return fail(GetLastError());
    }
    bool timedOut = false;
    if (!awaitTransfer(device, &overlapped, timeoutMs, &timedOut)) {
        if (timedOut) {
            // The reply may still come and wait in the driver's queue.
            staleInputHandle = device;
        }
        return false;
    }
    lastError = ERROR_SUCCESS;
    return true;
}

void hidClose(HidHandle handle) {
    if (handle == HID_INVALID_HANDLE) {
        return;
    }
    HANDLE device = toHandle(handle);
    if (device == staleInputHandle) {
        staleInputHandle = INVALID_HANDLE_VALUE;
    }
    CloseHandle(device);
    // The hold ends only once the device is closed, so that no other program gets it earlier.
    AcquireSRWLockExclusive(&holdsLock);
    for (Hold &hold : holds) {
        if (hold.device == device) {
            CloseHandle(hold.event);
            hold = {nullptr, nullptr};
            break;
        }
    }
    ReleaseSRWLockExclusive(&holdsLock);
}

uint32_t hidLastError() {
    return lastError;
}
