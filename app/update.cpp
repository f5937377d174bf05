// The firmware update started by the Update button.
#include "app/update.h"

#include "app/boxes.h"
#include "app/events.h"
#include "app/image.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/texts.h"
#include "app/ui.h"
#include "link/connection.h"
#include "link/flash.h"
#include "link/frames.h"
#include "link/pause.h"
#include "resource.h"

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

// What a failed step hands to the failure report.
struct StepFailure {
    int32_t result;
    uint32_t systemError;
};

// The failure path of every step: caption and the step's text go to reportUpdateFailure, which
// adds the codes to the text before it shows the box. Returns the failed result.
UpdateResult failUpdate(UnitContext *unit, uint16_t textId, const StepFailure &failure) {
    wchar_t caption[MESSAGE_BUFFER_SIZE];
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_UPDATE_FAILED_CAPTION, caption, MESSAGE_BUFFER_SIZE);
    loadMessage(textId, text, MESSAGE_BUFFER_SIZE);
    reportUpdateFailure(unit, text, caption, failure.result, failure.systemError);
    return UpdateResult{UPDATE_FAILED, textId, failure.result, failure.systemError};
}

// Fills failure with the result and the system error code, read at once, before any text is
// loaded; returns false.
bool fail(int32_t result, StepFailure *failure) {
    *failure = {result, hidLastError()};
    return false;
}

// Sends one command of the update; fills failure and returns false when it fails.
bool exchange(UnitConnection *connection, const CommandFrame *command, ReplyFrame *reply,
              StepFailure *failure) {
    int32_t result = sendCommand(connection, command, reply);
    return result == 0 ? true : fail(result, failure);
}

// An error reply with a nonzero code fails the step with that code; any other reply passes.
bool passesStandardRule(const ReplyFrame *reply, StepFailure *failure) {
    int32_t code = standardReplyResult(reply);
    return code == 0 ? true : fail(code, failure);
}

bool setSystemLock(UnitConnection *connection, StepFailure *failure) {
    CommandFrame command;
    ReplyFrame reply;
    buildSystemLock(&command, SYSTEM_LOCK_SET);
    if (!exchange(connection, &command, &reply, failure)) {
        return false;
    }
    // The unit's status byte of this reply carries nothing; the state tells whether it locked.
    if (reply.state != SYSTEM_LOCK_STATE_SET) {
        return fail(REPLY_STATE_MISMATCH, failure);
    }
    return true;
}

bool clearWriteProtection(UnitConnection *connection, StepFailure *failure) {
    CommandFrame command;
    ReplyFrame reply;
    buildWriteProtect(&command, WRITE_PROTECT_CLEAR);
    if (!exchange(connection, &command, &reply, failure)) {
        return false;
    }
    if (reply.status == STATUS_ERROR) {
        return passesStandardRule(&reply, failure);
    }
    if (reply.state != WRITE_PROTECT_STATE_CLEARED) {
        return fail(REPLY_STATE_MISMATCH, failure);
    }
    return true;
}

bool setWriteAddress(UnitConnection *connection, StepFailure *failure) {
    CommandFrame command;
    ReplyFrame reply;
    buildSetAddress(&command);
    if (!exchange(connection, &command, &reply, failure)) {
        return false;
    }
    return passesStandardRule(&reply, failure);
}

// Floor of half a signed distance, so that a window centred on a rectangle lies the same way
// whatever the sign of its coordinates.
int32_t half(int32_t distance) {
    int64_t value = distance;
    return static_cast<int32_t>(value >= 0 ? value / 2 : -((-value + 1) / 2));
}

// The window is 400 x 50 pixels at 100 %, scaled to the main window's DPI like the dialog.
UiWindow createProgressWindow() {
    UiRect rect = uiDialogRect();
    int32_t width = uiScalePixels(PROGRESS_WIDTH);
    int32_t height = uiScalePixels(PROGRESS_HEIGHT);
    int32_t x = rect.left + half(rect.right - rect.left) - width / 2;
    int32_t y = rect.top + half(rect.bottom - rect.top) - height / 2;
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_PROGRESS, text, MESSAGE_BUFFER_SIZE);
    UiWindow progress = uiCreateProgressWindow(x, y, width, height, text);
    uiSetProgress(progress, 0);
    uiRaiseWindow(uiMainWindow());
    uiRaiseWindow(progress);
    return progress;
}

bool isOurWindow(UiWindow window, UiWindow mainWindow, UiWindow progress) {
    return window != nullptr && (window == mainWindow || window == progress);
}

// Writes the image block by block. Nothing here allocates: whole blocks are sent from the
// image in place, and only the final partial block is copied, into a fixed buffer.
bool transferImage(UnitConnection *connection, const uint8_t *image, size_t length,
                   UiWindow progress, StepFailure *failure) {
    UiWindow mainWindow = uiMainWindow();
    UiWindow remembered = nullptr;
    const uint8_t *position = image;
    size_t left = length;
    uint8_t lastBlock[BLOCK_SIZE];
    while (left > 0) {
        uint32_t placed = 0;
        int32_t result;
        if (left >= BLOCK_SIZE) {
            result = writeBlock(connection, position, BLOCK_WORDS, &placed);
            position += BLOCK_SIZE;
            left -= BLOCK_SIZE;
        } else {
            // The final block is padded with erased-flash bytes up to a whole word, so that no
            // byte of the image is left behind.
            std::memset(lastBlock, 0xFF, sizeof lastBlock);
            std::memcpy(lastBlock, position, left);
            uint32_t words = static_cast<uint32_t>((left + 3) / 4);
            result = writeBlock(connection, lastBlock, words, &placed);
            left = 0;
        }
        if (result != 0) {
            *failure = {result, hidLastError()};
            return false;
        }
        uint64_t sent = length - left;
        uiSetProgress(progress, static_cast<uint32_t>(sent * 100 / length));
        if (!isOurWindow(remembered, mainWindow, progress) &&
            isOurWindow(uiForegroundWindow(), mainWindow, progress)) {
            remembered = uiForegroundWindow();
            uiRaiseWindow(mainWindow);
            uiRaiseWindow(progress);
            uiShowWindow(mainWindow);
            uiShowWindow(progress);
        }
        pauseMs(STEP_PAUSE_MS);
    }
    return true;
}

// Sets the write protection again and releases the system lock. Neither reply is looked at:
// the image is written, and a failure here changes nothing for the ESC.
void finishUpdate(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    if (isUnitOpen(connection)) {
        buildWriteProtect(&command, WRITE_PROTECT_SET);
        sendCommand(connection, &command, &reply);
    }
    if (isUnitOpen(connection)) {
        buildSystemLock(&command, SYSTEM_LOCK_RELEASE);
        sendCommand(connection, &command, &reply);
    }
}

void showSuccess(UnitContext *unit) {
    setEscFirmwareVersion(&unit->connection, IMAGE_FIRMWARE_VERSION);
    uiEnableControl(IDC_UPDATE, false);
    refreshVersionDisplay(unit);
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_UPDATE_SUCCEEDED, text, MESSAGE_BUFFER_SIZE);
    uiSetStatusText(text);
}

bool confirmed(const UnitContext *unit) {
    if (!showBox(BOX_ASK_OK_CANCEL, MSG_IMPORTANT_CAPTION, MSG_IMPORTANT)) {
        return false;
    }
    // Read only now: a device change handled while the box was open may have changed it.
    uint16_t installed = escFirmwareVersion(&unit->connection);
    if (installed < IMAGE_FIRMWARE_VERSION || installed == NO_FIRMWARE_VERSION) {
        return true;
    }
    return showBox(BOX_ASK_YES_NO, MSG_NEWER_FIRMWARE_CAPTION, MSG_OLDER_FIRMWARE);
}

// Readies the ESC's flash for the blocks: sets the system lock, clears the write protection,
// erases the old firmware and sets the write address, each followed by its pause.
// Returns the failure once it has been reported, or UPDATE_SUCCEEDED when the flash is ready.
// sendCommand finds a closed connection itself and sends nothing then.
UpdateResult prepareFlash(UnitContext *unit) {
    UnitConnection *connection = &unit->connection;
    StepFailure failure = {0, 0};
    if (!setSystemLock(connection, &failure)) {
        return failUpdate(unit, MSG_SYSTEM_LOCK_FAILED, failure);
    }
    pauseMs(STEP_PAUSE_MS);
    if (!clearWriteProtection(connection, &failure)) {
        return failUpdate(unit, MSG_WRITE_PROTECT_FAILED, failure);
    }
    pauseMs(STEP_PAUSE_MS);
    int32_t erased = eraseFirmware(connection);
    // The ESC goes on erasing after it has answered; the pause is due whatever the answer.
    pauseMs(AFTER_ERASE_PAUSE_MS);
    if (erased != 0) {
        return failUpdate(unit, MSG_ERASE_FAILED, {erased, hidLastError()});
    }
    pauseMs(STEP_PAUSE_MS);
    if (!setWriteAddress(connection, &failure)) {
        return failUpdate(unit, MSG_SET_ADDRESS_FAILED, failure);
    }
    pauseMs(STEP_PAUSE_MS);
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
        return failUpdate(unit, MSG_WRITE_BLOCK_FAILED, {LINK_NOT_OPEN, hidLastError()});
    }
    uiKeepAwake(true);
    uiSetSending(true);
    UpdateResult outcome = prepareFlash(unit);
    if (outcome.status == UPDATE_SUCCEEDED) {
        UiWindow progress = createProgressWindow();
        StepFailure failure = {0, 0};
        bool written = transferImage(&unit->connection, image, length, progress, &failure);
        uiDestroyProgressWindow(progress);
        if (written) {
            finishUpdate(&unit->connection);
            showSuccess(unit);
        } else {
            outcome = failUpdate(unit, MSG_WRITE_BLOCK_FAILED, failure);
        }
    }
    uiSetSending(false);
    uiKeepAwake(false);
    return outcome;
}
} // namespace

void updateFailureText(const UpdateResult *failure, wchar_t *text, size_t capacity) {
    loadMessage(failure->textId, text, capacity);
    appendErrorCodes(text, capacity, failure->result, failure->systemError);
}

UpdateResult runUpdate(UnitContext *unit) {
    if (!isUnitOpen(&unit->connection)) {
        return failUpdate(unit, MSG_UNIT_NOT_DETECTED, {LINK_NOT_OPEN, hidLastError()});
    }
    if (!confirmed(unit)) {
        return UpdateResult{UPDATE_DECLINED, 0, 0, 0};
    }
    // The questions' boxes handle device events: the unit may have left and arrived again
    // without being identified, and an ESC that was never compared with the supported types
    // must not be erased. (A unit that left and stayed away fails at the first command.)
    if (isUnitOpen(&unit->connection) && !openUnitIsReady(unit)) {
        return failUpdate(unit, MSG_UNIT_NOT_DETECTED, {LINK_NOT_OPEN, hidLastError()});
    }
    holdDeviceEvents(unit);
    UpdateResult outcome = sendUpdate(unit);
    releaseDeviceEvents(unit);
    return outcome;
}

void reportUpdateFailure(UnitContext *unit, const wchar_t *text, const wchar_t *caption,
                         int32_t result, uint32_t systemError) {
    closeConnection(&unit->connection);
    uiEnableControl(IDC_UPDATE, false);
    refreshVersionDisplay(unit);
    wchar_t message[MESSAGE_BUFFER_SIZE];
    message[0] = L'\0';
    appendText(message, MESSAGE_BUFFER_SIZE, text);
    appendErrorCodes(message, MESSAGE_BUFFER_SIZE, result, systemError);
    // The box runs a message loop: notifications that waited during the transfer come now.
    releaseDeviceEvents(unit);
    uiShowError(caption, message);
    wchar_t status[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_UPDATE_FAILED, status, MESSAGE_BUFFER_SIZE);
    uiSetStatusText(status);
}
