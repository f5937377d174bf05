// The fixed strings and the dialog texts, generated from resources/texts.json with the catalogue.
#pragma once

#include "app/messages.h"

// Texts that are the same in every language.
extern const wchar_t *const TEXT_TITLE_FORMAT;         // "ZARVELO %s FW Updater %u.%u %s"
extern const wchar_t *const TEXT_MODEL_NAME;           // "QUILLAR"
extern const wchar_t *const TEXT_VERSION_MAJOR_FORMAT; // "%u."
extern const wchar_t *const TEXT_VERSION_PAIR_FORMAT;  // "%u.%u"
extern const wchar_t *const TEXT_NO_VERSION;           // "0.0.0": no unit open
extern const wchar_t *const TEXT_NO_FIRMWARE;          // "----------": the ESC has no version
extern const wchar_t *const TEXT_UNIT_TALOMIR;
extern const wchar_t *const TEXT_UNIT_MERIVAN;
extern const wchar_t *const TEXT_PARAGRAPH_BREAK; // "\r\n\r\n"
extern const wchar_t *const TEXT_LINE_BREAK;      // "\r\n"
extern const wchar_t *const TEXT_PROGRESS_CLASS;  // "msctls_progress32"
extern const wchar_t *const TEXT_TEST_BUILD;      // "TEST BUILD": a build of the placeholder

// Texts of the main window's template: caption, buttons, labels, the hint above the status box.
enum DialogTextId {
    DIALOG_CAPTION,
    DIALOG_CLOSE,
    DIALOG_UPDATE,
    DIALOG_LABEL_UNIT,
    DIALOG_LABEL_BOOTLOADER,
    DIALOG_VERSION_PLACEHOLDER,
    DIALOG_HINT,
    DIALOG_GROUP_VERSIONS,
    DIALOG_LABEL_ESC,
};
const wchar_t *dialogText(DialogTextId id, MessageLanguage language);
