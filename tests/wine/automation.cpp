// Driving another process's windows as a user would: finding them, reading and pressing.
#include "tests/wine/automation.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

static int gFailures = 0;

static std::string utf8(const std::wstring &text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// Line breaks and control characters shown as escapes, so that a missing "\r" is visible.
static std::string visible(const std::wstring &text) {
    std::wstring shown;
    for (wchar_t c : text) {
        if (c == L'\r') {
            shown += L"\\r";
        } else if (c == L'\n') {
            shown += L"\\n";
        } else if (c < 0x20) {
            wchar_t code[8];
            swprintf(code, 8, L"\\x%02x", static_cast<unsigned>(c));
            shown += code;
        } else {
            shown += c;
        }
    }
    return utf8(shown);
}

void fail(const char *what, const std::wstring &detail) {
    ++gFailures;
    std::printf("FAIL: %s %s\n", what, visible(detail).c_str());
    std::fflush(stdout);
}

int failureCount() {
    return gFailures;
}

void note(const char *what, const std::wstring &detail) {
    std::printf("  %s %s\n", what, visible(detail).c_str());
    std::fflush(stdout);
}

bool expectEqual(const char *what, const std::wstring &expected, const std::wstring &actual) {
    if (expected == actual) {
        return true;
    }
    ++gFailures;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
        ++at;
    }
    std::printf("FAIL: %s (first difference at character %zu)\n  expected: \"%s\"\n  actual:   "
                "\"%s\"\n",
                what, at, visible(expected).c_str(), visible(actual).c_str());
    std::fflush(stdout);
    return false;
}

bool expectTrue(const char *what, bool condition) {
    if (!condition) {
        fail(what);
    }
    return condition;
}

bool launch(const std::wstring &exe, const wchar_t *envName, const wchar_t *envValue,
            Program *program) {
    *program = {};
    if (envName != nullptr) {
        SetEnvironmentVariableW(envName, envValue);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &program->process);
    if (envName != nullptr) {
        SetEnvironmentVariableW(envName, nullptr);
    }
    if (!started) {
        fail("cannot start", exe);
        return false;
    }
    program->running = true;
    // The program takes input once its window exists; this also lets Wine start it.
    WaitForInputIdle(program->process.hProcess, 20000);
    return true;
}

long waitForExit(Program *program, DWORD timeoutMs) {
    if (!program->running) {
        return -1;
    }
    if (WaitForSingleObject(program->process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(program->process.hProcess, &code);
    CloseHandle(program->process.hProcess);
    CloseHandle(program->process.hThread);
    program->running = false;
    return static_cast<long>(code);
}

void terminate(Program *program) {
    if (program->running) {
        TerminateProcess(program->process.hProcess, 99);
        waitForExit(program, 5000);
    }
}

namespace {
struct Search {
    DWORD processId;
    const wchar_t *className;
    const std::wstring *titlePrefix;
    HWND owner;
    bool checkOwner;
    HWND found;
};
} // namespace

static BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
    auto *search = reinterpret_cast<Search *>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window)) {
        return TRUE;
    }
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (lstrcmpiW(className, search->className) != 0) {
        return TRUE;
    }
    if (search->checkOwner && GetWindow(window, GW_OWNER) != search->owner) {
        return TRUE;
    }
    if (search->titlePrefix != nullptr &&
        windowText(window).compare(0, search->titlePrefix->size(), *search->titlePrefix) != 0) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND waitForDialog(const Program &program, const std::wstring &titlePrefix, HWND owner,
                   DWORD timeoutMs) {
    Search search = {program.process.dwProcessId, L"#32770", &titlePrefix, owner, true, nullptr};
    waitUntil(
        [&] {
            EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND findTopLevel(const Program &program, const wchar_t *className) {
    Search search = {program.process.dwProcessId, className, nullptr, nullptr, false, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return L"<no answer>";
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 5000,
                             &copied)) {
        return L"<no answer>";
    }
    return std::wstring(buffer.data(), copied);
}

std::wstring controlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr ? windowText(control) : L"<no such control>";
}

bool controlEnabled(HWND dialog, int controlId) {
    return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE;
}

std::wstring messageBoxText(HWND box) {
    return controlText(box, 0xFFFF);
}

void click(HWND button) {
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

void pressKey(HWND dialog, UINT virtualKey) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) &&
        info.hwndFocus != nullptr) {
        target = info.hwndFocus;
    }
    pressKeyOn(target, virtualKey);
}

void pressKeyOn(HWND target, UINT virtualKey) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageW(target, WM_KEYUP, virtualKey,
                 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
}

void answer(HWND box, int buttonId) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
}

// The screen's pixels of the rectangle, top row first, 3 bytes each (blue, green, red).
static std::vector<BYTE> grab(const RECT &area, int *rowSize) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<BYTE> pixels;
    if (width <= 0 || height <= 0) {
        return pixels;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    *rowSize = (width * 3 + 3) & ~3;
    pixels.resize(static_cast<size_t>(*rowSize) * static_cast<size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool screenshot(HWND window, const std::wstring &path) {
    RECT area;
    GetWindowRect(window, &area);
    int rowSize = 0;
    std::vector<BYTE> pixels = grab(area, &rowSize);
    if (pixels.empty()) {
        return false;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height; // top row first, as grabbed
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(pixels.size());
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    FILE *out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr) {
        return false;
    }
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&header, sizeof header, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    return std::fclose(out) == 0;
}

template <typename Accept> static int count(const RECT &area, Accept accept) {
    int rowSize = 0;
    std::vector<BYTE> pixels = grab(area, &rowSize);
    int found = 0;
    for (int y = 0; y < area.bottom - area.top; ++y) {
        const BYTE *row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(rowSize);
        for (int x = 0; x < area.right - area.left; ++x) {
            if (accept(row[3 * x + 2], row[3 * x + 1], row[3 * x])) {
                ++found;
            }
        }
    }
    return found;
}

int countPixels(const RECT &area, bool (*accept)(int red, int green, int blue)) {
    return count(area, accept);
}

int countPixelsNear(const RECT &area, COLORREF colour, int tolerance) {
    const int red = GetRValue(colour);
    const int green = GetGValue(colour);
    const int blue = GetBValue(colour);
    return count(area, [&](int r, int g, int b) {
        return std::abs(r - red) <= tolerance && std::abs(g - green) <= tolerance &&
               std::abs(b - blue) <= tolerance;
    });
}
