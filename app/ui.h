// The user-interface operations that the application needs; each program implements them.
#pragma once

#include <cstddef>
#include <cstdint>

// A top-level window of the program (the main window or the progress window). Opaque.
typedef void *UiWindow;

struct UiRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Status box (control IDC_STATUS): its text is only ever replaced as a whole.
void uiSetStatusText(const wchar_t *text);
// Length of the status box's text in wide characters, without the terminating zero.
size_t uiStatusTextLength();
// Copies at most capacity - 1 characters of the status text and a terminating zero.
void uiGetStatusText(wchar_t *buffer, size_t capacity);

// Enables or disables a control of the main window, named by its resource ID.
void uiEnableControl(int controlId, bool enabled);
// Replaces the text of a control of the main window.
void uiSetControlText(int controlId, const wchar_t *text);

// Modal message boxes owned by the main window; each returns when dismissed.
void uiInform(const wchar_t *caption, const wchar_t *text);      // information icon, OK
bool uiAskOkCancel(const wchar_t *caption, const wchar_t *text); // warning icon; true for OK
bool uiAskYesNo(const wchar_t *caption, const wchar_t *text);    // warning icon; true for Yes
void uiShowError(const wchar_t *caption, const wchar_t *text);   // error icon, OK

// The main window's outer rectangle in screen coordinates.
UiRect uiDialogRect();

// Pixels at 100 % (96 DPI) as pixels of the main window at its own DPI. A toolkit that scales
// every pixel figure by itself gives them back unchanged.
int32_t uiScalePixels(int32_t pixels);

// The progress window: a top-level window owned by the main window, showing a bar with the
// range 0 to 100, titled text. May return null; the other calls then do nothing.
UiWindow uiCreateProgressWindow(int32_t x, int32_t y, int32_t width, int32_t height,
                                const wchar_t *text);
void uiSetProgress(UiWindow progress, uint32_t percent);
void uiDestroyProgressWindow(UiWindow progress);

UiWindow uiMainWindow();
// Brings the window to the top of the Z-order and activates it, without moving it.
void uiRaiseWindow(UiWindow window);
void uiShowWindow(UiWindow window);
// The top-level window that has the user's focus now (may be another program's, or null).
UiWindow uiForegroundWindow();

// Start-up and close.
void uiSetTitle(const wchar_t *title);
void uiSetIcon();
// Registers the main window for HID device-interface arrivals and removals. False on failure.
bool uiRegisterDeviceNotifications();
void uiUnregisterDeviceNotifications();
// Ends the main window with the given result.
void uiEndWindow(int result);

// Keeps the system from sleeping while on; the update holds it for the whole transfer.
void uiKeepAwake(bool on);

// On from the update's first command to its end: a program that its user could end meanwhile
// (Ctrl-C in a terminal) holds that off, since an update cut off leaves the ESC without firmware.
void uiSetSending(bool on);
