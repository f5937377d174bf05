// The firmware update started by the Update button.
#pragma once

#include "app/context.h"
#include "link/flash.h"

#include <cstddef>
#include <cstdint>

#ifndef QUILLAR_IMAGE_FIRMWARE_VERSION
#define QUILLAR_IMAGE_FIRMWARE_VERSION 0x0300
#endif
// The version of the carried image: major in the high byte, minor in the low byte.
constexpr uint16_t IMAGE_FIRMWARE_VERSION = QUILLAR_IMAGE_FIRMWARE_VERSION;

#ifndef QUILLAR_PLACEHOLDER_BUILD
#define QUILLAR_PLACEHOLDER_BUILD 0
#endif
// The carried image is the placeholder (all 0xFF), no firmware: the program says "TEST BUILD"
// (TEXT_TEST_BUILD) at the end of its title, of --version and of the command-line status.
constexpr bool PLACEHOLDER_BUILD = QUILLAR_PLACEHOLDER_BUILD != 0;

constexpr uint32_t BLOCK_WORDS = 12;
constexpr size_t BLOCK_SIZE = 4 * BLOCK_WORDS;
constexpr uint32_t STEP_PAUSE_MS = 20;
constexpr uint32_t AFTER_ERASE_PAUSE_MS = 4000;
constexpr int32_t PROGRESS_WIDTH = 400;
constexpr int32_t PROGRESS_HEIGHT = 50;

// How an update ended.
enum UpdateStatus {
    UPDATE_SUCCEEDED, // the image is written; the unit stays open
    UPDATE_DECLINED,  // a question was answered no: nothing was sent
    UPDATE_FAILED,    // reported with its box; the connection is closed
    UPDATE_BUSY,      // an update of this unit runs already: nothing was done
};

// What happened, as the failure box reports it.
struct UpdateResult {
    UpdateStatus status;
    uint16_t textId;      // the failure's text (MSG_...), 0 unless failed
    int32_t result;       // the failure's result code; LINK_NOT_OPEN: none is shown
    uint32_t systemError; // the system error code shown beside it
};

// Runs the whole update on the context's open unit: confirmations, lock, protection, erase,
// address, blocks under the progress window, finish. Reports any failure itself, and returns
// what happened. A unit that is open after the questions but did not classify ready since it
// was opened (openUnitIsReady) fails as if none were open, before anything is sent. An image
// that cannot be loaded or is empty fails before anything is sent (text MSG_WRITE_BLOCK_FAILED,
// result LINK_NOT_OPEN). A final block of fewer than 48 bytes is padded with 0xFF to whole
// words, so that no byte of the image is dropped. Device events are held from the image load to
// the end (app/events.h). The system is kept awake from the first command to the end.
UpdateResult runUpdate(UnitContext *unit);

// The text of a failed update's box: the failure's text and, unless the result is LINK_NOT_OPEN,
// the error-code line below it. capacity is at least MESSAGE_BUFFER_SIZE.
void updateFailureText(const UpdateResult *failure, wchar_t *text, size_t capacity);

// Closes the connection, withdraws Update, refreshes the versions, shows the error box (with the
// error-code line unless result is LINK_NOT_OPEN) and sets the failed status.
void reportUpdateFailure(UnitContext *unit, const wchar_t *text, const wchar_t *caption,
                         int32_t result, uint32_t systemError);
