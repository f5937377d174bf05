// Catalogue texts as UTF-8 for the terminal, and the two output streams.
#include "cli/cli.h"

#include <mutex>

#include "app/messages.h"

std::wstring wideText(const std::string &text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring catalogue(uint16_t id) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(id, text, MESSAGE_BUFFER_SIZE);
    return text;
}

std::string cliMessage(uint16_t id) {
    return utf8Text(catalogue(id));
}

std::wstring cliFormatWide(uint16_t id, const FormatArg *args, size_t argCount) {
    wchar_t format[MESSAGE_BUFFER_SIZE];
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(id, format, MESSAGE_BUFFER_SIZE);
    formatText(text, MESSAGE_BUFFER_SIZE, format, args, argCount);
    return text;
}

std::string cliFormat(uint16_t id, const FormatArg *args, size_t argCount) {
    return utf8Text(cliFormatWide(id, args, argCount));
}

// Units updated at once print from their own threads: one text at a time, never interleaved.
static std::mutex gPrintLock;

void printOut(const std::string &text) {
    std::lock_guard<std::mutex> locked(gPrintLock);
    terminalWrite(TERMINAL_OUT, text);
}

void printErr(const std::string &text) {
    std::lock_guard<std::mutex> locked(gPrintLock);
    terminalWrite(TERMINAL_ERR, text);
}
