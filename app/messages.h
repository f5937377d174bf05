// The message catalogue: every text the program shows, in English and German.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t MESSAGE_BUFFER_SIZE = 2048;

enum MessageId : uint16_t {
    MSG_READY = 40000,
    MSG_INSTRUCTIONS = 40001,
    MSG_UPDATE_FAILED_CAPTION = 40002,
    MSG_SET_ADDRESS_FAILED = 40008,
    MSG_WRITE_BLOCK_FAILED = 40009,
    MSG_REGISTRATION_FAILED = 40011,
    MSG_APPLICATION_ERROR_CAPTION = 40012,
    MSG_WRONG_MODE = 40015,
    MSG_NO_UPDATABLE_ESC = 40016,
    MSG_NO_UNIT = 40017,
    MSG_CONNECTION_LOST = 40020,
    MSG_UNIT_NOT_DETECTED = 40022,
    MSG_OLDER_FIRMWARE = 40023,
    MSG_NEWER_FIRMWARE_CAPTION = 40025,
    MSG_SYSTEM_LOCK_FAILED = 40026,
    MSG_WRITE_PROTECT_FAILED = 40027,
    MSG_ERASE_FAILED = 40028,
    MSG_PROGRESS = 40029,
    MSG_UPDATE_FAILED = 40030,
    MSG_UPDATE_SUCCEEDED = 40032,
    MSG_ESC_INCOMPATIBLE_CAPTION = 40033,
    MSG_ESC_INCOMPATIBLE = 40034,
    MSG_ESC_NOT_COMPATIBLE = 40035,
    MSG_ERROR_CODE = 40036,
    MSG_IMPORTANT_CAPTION = 40037,
    MSG_IMPORTANT = 40038,
    MSG_LABEL_UNIT = 40039,
    MSG_LABEL_BOOTLOADER = 40040,
    MSG_LABEL_ESC = 40041,
};

enum MessageLanguage { LANGUAGE_ENGLISH, LANGUAGE_GERMAN };

// German for a language tag that names German ("de", "de_DE.UTF-8", "de-AT"), else English.
MessageLanguage languageFromTag(const char *tag);

// Loads a message in the current language into buffer (capacity wide characters, zero
// terminated, cut to fit). Returns its length. An unknown ID gives an empty text.
// Implemented by the program: from the built-in catalogue, or from the Windows string tables.
size_t loadMessage(uint16_t id, wchar_t *buffer, size_t capacity);

// Printf-style formatting that gives the same result on every platform and C runtime. It knows
// "%s" (a wide string argument), "%u", "%x" with an optional zero flag and width ("%08x"), and
// "%%". Arguments are given as an array, so nothing depends on varargs of wide formats.
struct FormatArg {
    const wchar_t *text; // for %s
    uint32_t number;     // for %u and %x
};
size_t formatText(wchar_t *buffer, size_t capacity, const wchar_t *format, const FormatArg *args,
                  size_t argCount);

// Appends text to the zero-terminated buffer, cutting it to fit capacity.
size_t appendText(wchar_t *buffer, size_t capacity, const wchar_t *text);

// The built-in catalogue (generated from resources/texts.json): the text of a message in a
// language, or null for an unknown ID. loadMessage of the Linux program and of the tests reads
// it in the language chosen with setMessageLanguage (English until then).
const wchar_t *catalogueText(uint16_t id, MessageLanguage language);
void setMessageLanguage(MessageLanguage language);
MessageLanguage messageLanguage();
