// Driving another process's windows as a user would: finding them, reading and pressing.
#pragma once

#include <windows.h>

#include <string>

// A failed check: prints it (UTF-8) and counts it. The driver's exit code is the count.
void fail(const char *what, const std::wstring &detail = L"");
int failureCount();
// Compares exactly; on a difference prints both sides, with line breaks and non-ASCII visible.
bool expectEqual(const char *what, const std::wstring &expected, const std::wstring &actual);
bool expectTrue(const char *what, bool condition);
void note(const char *what, const std::wstring &detail = L"");

struct Program {
    PROCESS_INFORMATION process;
    bool running;
};

// Starts the program with the given environment variable set (name may be null).
bool launch(const std::wstring &exe, const wchar_t *envName, const wchar_t *envValue,
            Program *program);
// Waits for the program to end; returns its exit code, or -1 after the time limit.
long waitForExit(Program *program, DWORD timeoutMs);
// Ends a program that a failed check left running, so that the next test starts clean.
void terminate(Program *program);

// The visible top-level dialog window (class #32770) of the process whose title starts with
// prefix and which owner owns (null owner: no owner). Waits up to timeoutMs.
HWND waitForDialog(const Program &program, const std::wstring &titlePrefix, HWND owner,
                   DWORD timeoutMs);
// A visible top-level window of the process with the class name, or null.
HWND findTopLevel(const Program &program, const wchar_t *className);

// WM_GETTEXT across processes; "<no answer>" when the window does not answer in 5 s.
std::wstring windowText(HWND window);
std::wstring controlText(HWND dialog, int controlId);
bool controlEnabled(HWND dialog, int controlId);
// The text of a message box (its static control 0xFFFF).
std::wstring messageBoxText(HWND box);

// A posted button click, as the button would get it from the mouse.
void click(HWND button);
// A posted key press to the window that has the keyboard focus in the dialog's thread.
void pressKey(HWND dialog, UINT virtualKey);
// A posted key press to the given window, whether or not it has the focus.
void pressKeyOn(HWND target, UINT virtualKey);
// Presses the message box's button with the given ID (IDOK, IDCANCEL, IDYES, IDNO).
void answer(HWND box, int buttonId);

// Waits until condition() holds, polling every 50 ms; false after timeoutMs.
template <typename Condition> bool waitUntil(Condition condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(50);
    }
}

// Copies the window's screen area into a 24-bit BMP file. False when it cannot.
bool screenshot(HWND window, const std::wstring &path);
// Counts the screen's pixels inside the rectangle (screen coordinates) that accept takes.
int countPixels(const RECT &area, bool (*accept)(int red, int green, int blue));
// Counts the screen's pixels inside the rectangle within tolerance of the colour, per channel.
int countPixelsNear(const RECT &area, COLORREF colour, int tolerance);
