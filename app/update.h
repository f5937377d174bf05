// The firmware update started by the Update button.
#pragma once

#include <cstddef>
#include <cstdint>

// A reply whose state byte is not the one the command expects.
constexpr int32_t REPLY_STATE_MISMATCH = 1627;

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

// Runs the whole update on the open unit: confirmations, lock, protection, erase, address,
// blocks under the progress window, finish. Reports any failure itself. A unit that is open
// after the questions but did not classify ready since it was opened (openUnitIsReady) fails as
// if none were open, before anything is sent. An image that cannot be
// loaded or is empty fails before anything is sent (text MSG_WRITE_BLOCK_FAILED, result
// LINK_NOT_OPEN). A final block of fewer than 48 bytes is padded with 0xFF to whole words, so
// that no byte of the image is dropped. Device events are held from the image load to the end
// (app/events.h). The system is kept awake from the first command to the end.
void runUpdate();

// Closes the connection, disables Update, refreshes the display, shows the error box (with the
// error-code line unless result is LINK_NOT_OPEN) and sets the failed status.
void reportUpdateFailure(const wchar_t *text, const wchar_t *caption, int32_t result,
                         uint32_t systemError);
