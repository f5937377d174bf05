// The terminal on Windows: the console in its wide form (UTF-8 into pipes and files), the user
// interface language, and Ctrl-C through the console's control handler.
#include "cli/terminal.h"

#include <windows.h>

#include <string>

namespace {
std::string gHeldNotice;
std::string gFinishingNotice;

HANDLE streamHandle(TerminalStream stream) {
    return GetStdHandle(stream == TERMINAL_ERR ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::wstring widen(const std::string &text) {
    if (text.empty()) {
        return std::wstring();
    }
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string narrow(const std::wstring &text) {
    if (text.empty()) {
        return std::string();
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) {
        return FALSE; // closing the console or logging off ends the program as usual
    }
    switch (interruptArrived()) {
    case INTERRUPT_SAY_HELD:
        terminalWrite(TERMINAL_ERR, gHeldNotice);
        return TRUE;
    case INTERRUPT_SAY_FINISHING:
        terminalWrite(TERMINAL_ERR, gFinishingNotice);
        return TRUE;
    case INTERRUPT_TAKEN:
        return TRUE;
    case INTERRUPT_END_LINE:
        terminalWrite(TERMINAL_ERR, "\n");
        ExitProcess(130);
    case INTERRUPT_END:
        break;
    }
    ExitProcess(130);
}
} // namespace

void terminalWrite(TerminalStream stream, const std::string &text) {
    HANDLE handle = streamHandle(stream);
    if (isConsole(handle)) {
        std::wstring wide = widen(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    size_t offset = 0;
    while (offset < text.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + offset, static_cast<DWORD>(text.size() - offset),
                       &written, nullptr) ||
            written == 0) {
            return;
        }
        offset += written;
    }
}

bool terminalIsInteractive(TerminalStream stream) {
    return isConsole(streamHandle(stream));
}

uint32_t terminalColumns(TerminalStream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(streamHandle(stream), &info)) {
        return 0;
    }
    return static_cast<uint32_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

bool terminalReadLine(std::string *line) {
    line->clear();
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (isConsole(input)) {
        std::wstring wide;
        for (;;) {
            wchar_t buffer[256];
            DWORD got = 0;
            if (!ReadConsoleW(input, buffer, 256, &got, nullptr) || got == 0) {
                break;
            }
            wide.append(buffer, got);
            if (wide.find(L'\n') != std::wstring::npos) {
                break;
            }
        }
        bool ended = wide.find(L'\n') != std::wstring::npos;
        size_t end = wide.find_first_of(L"\r\n");
        *line = narrow(wide.substr(0, end));
        return ended || !line->empty();
    }
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0) {
            return !line->empty();
        }
        if (c == '\n') {
            if (!line->empty() && line->back() == '\r') {
                line->pop_back();
            }
            return true;
        }
        line->push_back(c);
    }
}

uint64_t terminalNowMs() {
    return GetTickCount64();
}

MessageLanguage terminalLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN ? LANGUAGE_GERMAN
                                                                    : LANGUAGE_ENGLISH;
}

void terminalKeepAwake(bool on) {
    SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

void interruptInstall(const std::string &heldNotice, const std::string &finishingNotice) {
    gHeldNotice.assign(1, '\n').append(heldNotice).append(1, '\n');
    gFinishingNotice.assign(1, '\n').append(finishingNotice).append(1, '\n');
    SetConsoleCtrlHandler(onControl, TRUE);
}
