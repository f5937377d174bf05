// The link over WebHID, without the application: opens and identifies the first unit of the
// HID double and posts what it learned to the page that started the worker (link.test.mjs).
#include "link/connection.h"
#include "link/frames.h"
#include "os/web/hid_web.h"

#include <emscripten.h>

namespace {
// clang-format off
EM_JS(void, postProbe, (int32_t result, const wchar_t *path, uint32_t productId,
                        uint32_t bootloader, uint32_t escStatus, uint32_t escVersion,
                        uint32_t escType, uint32_t inputLength, uint32_t outputLength,
                        uint32_t systemError, uint32_t refused), {
    let text = "";
    for (let at = path >> 2; path !== 0 && HEAPU32[at] !== 0; ++at) {
        text += String.fromCodePoint(HEAPU32[at]);
    }
    postMessage({probe: {result, path: text, productId, bootloader, escStatus, escVersion,
                         escType, inputLength, outputLength, systemError, refused}});
});
// clang-format on
} // namespace

int main() {
    UnitConnection connection = CLEARED_CONNECTION;
    int32_t result = openUnit(&connection);
    uint32_t systemError = hidLastError();
    postProbe(result, connection.devicePath, connection.productId, connection.unitInBootloader,
              connection.escStatus, escFirmwareVersion(&connection), escTypeId(&connection),
              connection.inputReportLength, connection.outputReportLength, systemError,
              webHidOpensRefused());
    closeConnection(&connection);
    return 0;
}
