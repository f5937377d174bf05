// Discovery of the programming unit and the one record of the open unit.
#include "link/connection.h"

#include "link/frames.h"
#include "link/identify.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

uint16_t escFirmwareVersion(const UnitConnection *connection) {
    return getU16(connection->escInfo + 4);
}

void setEscFirmwareVersion(UnitConnection *connection, uint16_t version) {
    putU16(connection->escInfo + 4, version);
}

uint32_t escTypeId(const UnitConnection *connection) {
    return getU32(connection->escBootInfo);
}

uint32_t escBootloaderVersion(const UnitConnection *connection) {
    return getU32(connection->escBootInfo + 4);
}

bool isUnitOpen(const UnitConnection *connection) {
    return connection->handle != HID_INVALID_HANDLE;
}

void closeConnection(UnitConnection *connection) {
    if (isUnitOpen(connection)) {
        hidClose(connection->handle);
    }
    std::free(connection->devicePath);
    *connection = CLEARED_CONNECTION;
}

static bool isUnitIdentity(uint16_t vendorId, uint16_t productId) {
    return vendorId == UNIT_VENDOR_ID &&
           (productId == PRODUCT_ID_MERIVAN || productId == PRODUCT_ID_TALOMIR);
}

// Opens the interface at index if it is the unit. On success the device handle, the path (a
// zero-terminated buffer of our own, which the record then owns) and the product ID are handed
// over; otherwise everything taken for the interface is released, and held is counted up when
// another of our programs holds the interface.
static bool openIfUnit(HidList *list, uint32_t index, HidHandle *handle, wchar_t **path,
                       uint16_t *productId, uint32_t *held) {
    size_t size = hidPathSize(list, index);
    if (size == 0) {
        return false;
    }
    wchar_t *detail = static_cast<wchar_t *>(std::calloc(size, sizeof(wchar_t)));
    if (detail == nullptr) {
        return false;
    }
    HidHandle device = HID_INVALID_HANDLE;
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool found = false;
    if (hidGetPath(list, index, detail, size)) {
        detail[size - 1] = L'\0';
        device = hidOpenPath(detail);
        if (device != HID_INVALID_HANDLE) {
            found = hidGetAttributes(device, &vendor, &product) && isUnitIdentity(vendor, product);
        } else if (hidLastError() == HID_ERROR_IN_USE) {
            ++*held;
        }
    }
    if (found) {
        *handle = device;
        *path = detail;
        *productId = product;
        return true;
    }
    if (device != HID_INVALID_HANDLE) {
        hidClose(device);
    }
    std::free(detail);
    return false;
}

static wchar_t foldLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool sameDevicePath(const wchar_t *a, const wchar_t *b) {
    if (a == nullptr || b == nullptr) {
        return false;
    }
    for (;; ++a, ++b) {
        if (foldLetter(*a) != foldLetter(*b)) {
            return false;
        }
        if (*a == L'\0') {
            return true;
        }
    }
}

// True when the interface at index has the path (sameDevicePath).
static bool interfaceHasPath(HidList *list, uint32_t index, const wchar_t *wanted) {
    size_t size = hidPathSize(list, index);
    if (size != std::wcslen(wanted) + 1) {
        return false;
    }
    wchar_t *path = static_cast<wchar_t *>(std::calloc(size, sizeof(wchar_t)));
    bool same =
        path != nullptr && hidGetPath(list, index, path, size) && sameDevicePath(path, wanted);
    std::free(path);
    return same;
}

// The search of openUnit and openUnitAt: the first interface that is a free unit and, when
// wanted is given, has that path.
static int32_t openFirstUnit(UnitConnection *connection, const wchar_t *wanted) {
    closeConnection(connection);
    HidList *list = hidOpenList();
    if (list == nullptr) {
        return LINK_NOT_OPEN;
    }
    HidHandle handle = HID_INVALID_HANDLE;
    wchar_t *path = nullptr;
    uint16_t productId = 0;
    uint32_t held = 0;
    for (uint32_t index = 0;; ++index) {
        if (!hidListHas(list, index)) {
            hidCloseList(list);
            return held > 0 ? LINK_UNIT_IN_USE : LINK_NO_DEVICE;
        }
        if (wanted != nullptr && !interfaceHasPath(list, index, wanted)) {
            continue;
        }
        if (openIfUnit(list, index, &handle, &path, &productId, &held)) {
            break;
        }
    }
    hidCloseList(list);
    connection->productId = productId;
    connection->handle = handle;
    connection->devicePath = path;

    uint32_t inputLength = 0;
    uint32_t outputLength = 0;
    if (!hidGetReportLengths(connection->handle, &inputLength, &outputLength)) {
        return LINK_NOT_OPEN;
    }
    if (!reportLengthsUsable(inputLength, outputLength)) {
        return LINK_NOT_OPEN;
    }
    connection->outputReportLength = outputLength;
    connection->inputReportLength = inputLength;
    return identifyUnit(connection);
}

int32_t openUnit(UnitConnection *connection) {
    return openFirstUnit(connection, nullptr);
}

int32_t openUnitAt(UnitConnection *connection, const wchar_t *path) {
    return openFirstUnit(connection, path);
}
