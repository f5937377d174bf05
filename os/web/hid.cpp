// HID operations in the browser: WebHID, from the worker that runs the core (os/web/hid.js).
//
// Every operation that waits for the browser (the device list, opening, a report out, a report
// in, closing) suspends the core through Asyncify until the browser answers; the others answer
// at once from what the browser told already.
#include "link/hid.h"

#include "os/web/hid_web.h"

#include <emscripten.h>

// A snapshot of the paths of the devices granted and present when it was taken.
struct HidList {
    int id;
};

namespace {

// clang-format off
EM_ASYNC_JS(int, webHidOpenList, (), { return await webHid.openList(); });

EM_JS(void, webHidCloseList, (int list), { webHid.lists.delete(list); });

// The length of the path at index, without the terminating zero; -1 past the last one.
EM_JS(int, webHidPathLength, (int list, uint32_t index), {
    const path = webHid.listPath(list, index);
    return path === undefined ? -1 : path.length;
});

EM_JS(int, webHidCopyPath, (int list, uint32_t index, wchar_t *path, size_t size), {
    const text = webHid.listPath(list, index);
    if (text === undefined || text.length + 1 > size) {
        return 0;
    }
    const at = path >> 2;
    for (let i = 0; i < text.length; ++i) {
        HEAPU32[at + i] = text.charCodeAt(i);
    }
    HEAPU32[at + text.length] = 0;
    return 1;
});

EM_ASYNC_JS(int, webHidOpen, (const wchar_t *path), {
    let text = "";
    for (let at = path >> 2; HEAPU32[at] !== 0; ++at) {
        text += String.fromCodePoint(HEAPU32[at]);
    }
    const handle = await webHid.open(text);
    return handle === 0 ? -1 : handle;
});

EM_JS(int, webHidAttributes, (int handle, uint16_t *vendorId, uint16_t *productId), {
    const open = webHid.handle(handle);
    if (open === undefined) {
        return 0;
    }
    HEAPU16[vendorId >> 1] = open.device.vendorId;
    HEAPU16[productId >> 1] = open.device.productId;
    return 1;
});

EM_JS(int, webHidLengths, (int handle, uint32_t *inputLength, uint32_t *outputLength), {
    const open = webHid.handle(handle);
    if (open === undefined) {
        return 0;
    }
    const lengths = webHid.reportLengths(open.device);
    HEAPU32[inputLength >> 2] = lengths.input;
    HEAPU32[outputLength >> 2] = lengths.output;
    return 1;
});

EM_ASYNC_JS(int, webHidWrite, (int handle, const uint8_t *report, size_t length, uint32_t timeout),
            { return await webHid.write(handle, HEAPU8.slice(report, report + length), timeout); });

EM_ASYNC_JS(int, webHidRead, (int handle, uint8_t *report, size_t length, uint32_t timeout), {
    const received = await webHid.read(handle, timeout);
    if (received === undefined) {
        return 0;
    }
    // The memory may have grown meanwhile: HEAPU8 is taken after the wait.
    HEAPU8.fill(0, report, report + length);
    HEAPU8.set(received.subarray(0, Math.min(length, received.length)), report);
    return 1;
});

EM_ASYNC_JS(void, webHidClose, (int handle), { await webHid.close(handle); });

EM_JS(uint32_t, webHidLastError, (), { return webHid.lastError; });

EM_JS(uint32_t, webHidRefusedOpens, (), { return webHid.refusedOpens; });
// clang-format on

int handleId(HidHandle handle) {
    return handle > 0 ? static_cast<int>(handle) : 0;
}

} // namespace

HidList *hidOpenList() {
    int id = webHidOpenList();
    return id == 0 ? nullptr : new HidList{id};
}

void hidCloseList(HidList *list) {
    if (list == nullptr) {
        return;
    }
    webHidCloseList(list->id);
    delete list;
}

bool hidListHas(HidList *list, uint32_t index) {
    return list != nullptr && webHidPathLength(list->id, index) >= 0;
}

size_t hidPathSize(HidList *list, uint32_t index) {
    int length = list != nullptr ? webHidPathLength(list->id, index) : -1;
    return length < 0 ? 0 : static_cast<size_t>(length) + 1;
}

bool hidGetPath(HidList *list, uint32_t index, wchar_t *path, size_t size) {
    return list != nullptr && webHidCopyPath(list->id, index, path, size) != 0;
}

HidHandle hidOpenPath(const wchar_t *path) {
    return webHidOpen(path);
}

bool hidGetAttributes(HidHandle handle, uint16_t *vendorId, uint16_t *productId) {
    return webHidAttributes(handleId(handle), vendorId, productId) != 0;
}

bool hidGetReportLengths(HidHandle handle, uint32_t *inputLength, uint32_t *outputLength) {
    return webHidLengths(handleId(handle), inputLength, outputLength) != 0;
}

bool hidWrite(HidHandle handle, const uint8_t *report, size_t length) {
    return length > 0 && webHidWrite(handleId(handle), report, length, HID_WRITE_TIMEOUT_MS) != 0;
}

bool hidRead(HidHandle handle, uint8_t *report, size_t length, uint32_t timeoutMs) {
    return length > 0 && webHidRead(handleId(handle), report, length, timeoutMs) != 0;
}

void hidClose(HidHandle handle) {
    if (handle != HID_INVALID_HANDLE) {
        webHidClose(handleId(handle));
    }
}

uint32_t hidLastError() {
    return webHidLastError();
}

uint32_t webHidOpensRefused() {
    return webHidRefusedOpens();
}
