// The firmware update started by the Update button.
#include "app/update.h"

#include "app/events.h"
#include "app/image.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/tell.h"
#include "app/texts.h"
#include "link/connection.h"
#include "link/flash.h"
#include "link/frames.h"
#include "link/pause.h"

#include <cstring>

namespace {
constexpr UpdateResult SUCCEEDED = {UPDATE_SUCCEEDED, 0, 0, 0};

// Adds the error-code line below the failure's text, unless the result is LINK_NOT_OPEN.
void appendErrorCodes(wchar_t *message, size_t capacity, int32_t result, uint32_t systemError) {
    if (result == LINK_NOT_OPEN) {
        return;
    }
    wchar_t format[MESSAGE_BUFFER_SIZE];
    wchar_t line[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_ERROR_CODE, format, MESSAGE_BUFFER_SIZE);
    const FormatArg codes[] = {{nullptr, static_cast<uint32_t>(result)}, {nullptr, systemError}};
    formatText(line, MESSAGE_BUFFER_SIZE, format, codes, 2);
    appendText(message, capacity, TEXT_LINE_BREAK);
    appendText(message, capacity, line);
}

// The failure path of every step: caption and the step's text go to reportUpdateFailure, which
// adds the codes to the text before it shows the box. Returns the failed result.
UpdateResult failUpdate(UnitContext *unit, uint16_t textId, int32_t result, uint32_t systemError) {
    wchar_t caption[MESSAGE_BUFFER_SIZE];
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_UPDATE_FAILED_CAPTION, caption, MESSAGE_BUFFER_SIZE);
    loadMessage(textId, text, MESSAGE_BUFFER_SIZE);
    reportUpdateFailure(unit, text, caption, result, systemError);
    return UpdateResult{UPDATE_FAILED, textId, result, systemError};
}

// Floor of half a signed distance, so that a window centred on a rectangle lies the same way
// whatever the sign of its coordinates.
int32_t half(int32_t distance) {
    int64_t value = distance;
    return static_cast<int32_t>(value >= 0 ? value / 2 : -((-value + 1) / 2));
}

// The progress window is 400 x 50 pixels at 100 %, scaled to the main window's DPI like the
// dialog, and centred on the main window.
UiRect progressPlace(const UnitContext *unit, const WindowOps *window) {
    void *state = unit->frontEnd.state;
    UiRect frame = window->frame(state);
    int32_t width = window->scalePixels(state, PROGRESS_WIDTH);
    int32_t height = window->scalePixels(state, PROGRESS_HEIGHT);
    int32_t x = frame.left + half(frame.right - frame.left) - width / 2;
    int32_t y = frame.top + half(frame.bottom - frame.top) - height / 2;
    return UiRect{x, y, x + width, y + height};
}

void startTransfer(const UnitContext *unit, size_t length) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_PROGRESS, text, MESSAGE_BUFFER_SIZE);
    const WindowOps *window = windowOf(unit);
    TransferStart start = {.text = text, .imageLength = length, .place = {0, 0, 0, 0}};
    if (window != nullptr) {
        start.place = progressPlace(unit, window);
    }
    const TransferStart *started = &start;
    tell(unit, &FrontEndOps::transferStarted, started);
    tell(unit, &FrontEndOps::transferProgress, 0u);
    if (window != nullptr) {
        window->raise(unit->frontEnd.state, false);
    }
}

// Once, at the first block after which one of the program's windows has the focus, both are
// raised and shown, so that the progress stays in sight of a user who came back to it.
void keepInFront(const UnitContext *unit, bool *raised) {
    const WindowOps *window = windowOf(unit);
    if (window == nullptr || *raised || !window->inFront(unit->frontEnd.state)) {
        return;
    }
    // Read once more: the focus may have gone elsewhere in the meantime.
    *raised = window->inFront(unit->frontEnd.state);
    window->raise(unit->frontEnd.state, true);
}

// Writes the image block by block. Nothing here allocates: whole blocks are sent from the
// image in place, and only the final partial block is copied, into a fixed buffer.
int32_t transferImage(const UnitContext *unit, UnitConnection *connection, const uint8_t *image,
                      size_t length) {
    bool raised = false;
    const uint8_t *position = image;
    size_t left = length;
    uint8_t lastBlock[BLOCK_SIZE];
    while (left > 0) {
        int32_t result;
        if (left >= BLOCK_SIZE) {
            result = writeBlock(connection, position, BLOCK_WORDS);
            position += BLOCK_SIZE;
            left -= BLOCK_SIZE;
        } else {
            // The final block is padded with erased-flash bytes up to a whole word, so that no
            // byte of the image is left behind.
            std::memset(lastBlock, 0xFF, sizeof lastBlock);
            std::memcpy(lastBlock, position, left);
            result = writeBlock(connection, lastBlock, static_cast<uint32_t>((left + 3) / 4));
            left = 0;
        }
        if (result != 0) {
            return result;
        }
        uint64_t sent = length - left;
        tell(unit, &FrontEndOps::transferProgress, static_cast<uint32_t>(sent * 100 / length));
        keepInFront(unit, &raised);
        pauseMs(STEP_PAUSE_MS);
    }
    return 0;
}

void showSuccess(UnitContext *unit) {
    setEscFirmwareVersion(&unit->connection, IMAGE_FIRMWARE_VERSION);
    tell(unit, &FrontEndOps::offerUpdate, false);
    refreshVersionDisplay(unit);
    showStatusMessage(unit, MSG_UPDATE_SUCCEEDED);
}

bool confirmed(const UnitContext *unit) {
    if (!showBox(unit, BOX_ASK_OK_CANCEL, MSG_IMPORTANT_CAPTION, MSG_IMPORTANT)) {
        return false;
    }
    // Read only now: a device change handled while the box was open may have changed it.
    uint16_t installed = escFirmwareVersion(&unit->connection);
    if (installed < IMAGE_FIRMWARE_VERSION || installed == NO_FIRMWARE_VERSION) {
        return true;
    }
    return showBox(unit, BOX_ASK_YES_NO, MSG_NEWER_FIRMWARE_CAPTION, MSG_OLDER_FIRMWARE);
}

// One step of readying the flash: its command, and the text that reports its failure.
struct FlashStep {
    int32_t (*run)(UnitConnection *connection);
    uint16_t failureText;
    uint32_t pauseAfterMs; // whatever the result: the ESC goes on erasing after it answered
};

constexpr FlashStep FLASH_STEPS[] = {
    {setSystemLock, MSG_SYSTEM_LOCK_FAILED, 0},
    {clearWriteProtection, MSG_WRITE_PROTECT_FAILED, 0},
    {eraseFirmware, MSG_ERASE_FAILED, AFTER_ERASE_PAUSE_MS},
    {setWriteAddress, MSG_SET_ADDRESS_FAILED, 0},
};

// Readies the ESC's flash for the blocks: sets the system lock, clears the write protection,
// erases the old firmware and sets the write address, each followed by its pause. Returns the
// failure once it has been reported, or UPDATE_SUCCEEDED when the flash is ready. A closed
// connection fails the next step with LINK_NOT_OPEN, and nothing is sent.
UpdateResult prepareFlash(UnitContext *unit) {
    for (const FlashStep &step : FLASH_STEPS) {
        int32_t result = step.run(&unit->connection);
        // The system's code is the failed exchange's; after the erase, it is read once its
        // pause is over.
        uint32_t systemError = hidLastError();
        if (step.pauseAfterMs > 0) {
            pauseMs(step.pauseAfterMs);
            systemError = hidLastError();
        }
        if (result != 0) {
            return failUpdate(unit, step.failureText, result, systemError);
        }
        pauseMs(STEP_PAUSE_MS);
    }
    return SUCCEEDED;
}

// Everything after the questions: loads the image, readies the flash, writes the blocks under
// the progress window, sets the protection and releases the lock, and shows the outcome. The
// system is kept awake from the first command to the end.
UpdateResult sendUpdate(UnitContext *unit) {
    const uint8_t *image = nullptr;
    size_t length = 0;
    if (!loadCarriedImage(&image, &length) || image == nullptr || length == 0) {
        // Nothing has been sent: the ESC still holds its old firmware.
        return failUpdate(unit, MSG_WRITE_BLOCK_FAILED, LINK_NOT_OPEN, hidLastError());
    }
    tell(unit, &FrontEndOps::sending, true);
    UpdateResult outcome = prepareFlash(unit);
    if (outcome.status == UPDATE_SUCCEEDED) {
        startTransfer(unit, length);
        int32_t written = transferImage(unit, &unit->connection, image, length);
        uint32_t systemError = hidLastError();
        tell(unit, &FrontEndOps::transferEnded);
        if (written == 0) {
            finishFlashWrite(&unit->connection);
            showSuccess(unit);
        } else {
            outcome = failUpdate(unit, MSG_WRITE_BLOCK_FAILED, written, systemError);
        }
    }
    tell(unit, &FrontEndOps::sending, false);
    return outcome;
}
} // namespace

void updateFailureText(const UpdateResult *failure, wchar_t *text, size_t capacity) {
    loadMessage(failure->textId, text, capacity);
    appendErrorCodes(text, capacity, failure->result, failure->systemError);
}

UpdateResult runUpdate(UnitContext *unit) {
    if (!isUnitOpen(&unit->connection)) {
        return failUpdate(unit, MSG_UNIT_NOT_DETECTED, LINK_NOT_OPEN, hidLastError());
    }
    if (!confirmed(unit)) {
        return UpdateResult{UPDATE_DECLINED, 0, 0, 0};
    }
    // The questions' boxes handle device events: the unit may have left and arrived again
    // without being identified, and an ESC that was never compared with the supported types
    // must not be erased. (A unit that left and stayed away fails at the first command.)
    if (isUnitOpen(&unit->connection) && !openUnitIsReady(unit)) {
        return failUpdate(unit, MSG_UNIT_NOT_DETECTED, LINK_NOT_OPEN, hidLastError());
    }
    holdDeviceEvents(unit);
    UpdateResult outcome = sendUpdate(unit);
    releaseDeviceEvents(unit);
    return outcome;
}

void reportUpdateFailure(UnitContext *unit, const wchar_t *text, const wchar_t *caption,
                         int32_t result, uint32_t systemError) {
    closeConnection(&unit->connection);
    tell(unit, &FrontEndOps::offerUpdate, false);
    refreshVersionDisplay(unit);
    wchar_t message[MESSAGE_BUFFER_SIZE];
    message[0] = L'\0';
    appendText(message, MESSAGE_BUFFER_SIZE, text);
    appendErrorCodes(message, MESSAGE_BUFFER_SIZE, result, systemError);
    // The box runs a message loop: notifications that waited during the transfer come now.
    releaseDeviceEvents(unit);
    showBoxText(unit, BOX_ERROR, caption, message);
    showStatusMessage(unit, MSG_UPDATE_FAILED);
}
