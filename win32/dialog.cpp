// The main dialog's procedure: each handled message goes to one small handler.
#include "win32/program.h"

#include "app/mainwindow.h"
#include "app/status.h"
#include "os/win32/device_event.h"
#include "resources/resource.h"

// The logo's background colour, left out when it is drawn.
static constexpr COLORREF LOGO_KEY = RGB(0, 255, 0);
static constexpr COLORREF ESC_LINE_COLOUR = RGB(255, 0, 0);

static INT_PTR onInitDialog(HWND window) {
    gWindows.main = window;
    appInitialise(&gUnit);
    return TRUE;
}

// The logo stands right of the version group box, level with its top, at most half its own
// size, and ends 45 pixels short of the window's right edge; it is loaded for every paint. The
// two margins are pixels at 100 %, scaled to the window's DPI; the half-size limit is in the
// bitmap's own pixels.
static INT_PTR onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HBITMAP logo = LoadBitmapW(gModule, MAKEINTRESOURCEW(IDB_LOGO));
    BITMAP info = {};
    GetObjectW(logo, sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, logo);

    RECT dialog;
    RECT group;
    GetWindowRect(gWindows.main, &dialog);
    GetWindowRect(GetDlgItem(gWindows.main, IDC_GROUP_VERSIONS), &group);
    LONG width = dialog.right - group.right - scaleToWindow(gWindows.main, 45);
    if (width > info.bmWidth / 2) {
        width = info.bmWidth / 2;
    }
    LONG height = 0;
    if (info.bmWidth > 0) {
        height = static_cast<LONG>(static_cast<float>(width) / static_cast<float>(info.bmWidth) *
                                   static_cast<float>(info.bmHeight));
    }
    const LONG x = group.right - (dialog.left + GetSystemMetrics(SM_CXDLGFRAME)) +
                   scaleToWindow(gWindows.main, 20);
    const LONG y = group.top - (dialog.top + GetSystemMetrics(SM_CYCAPTION));
    // A window too narrow leaves no room: nothing is drawn rather than a mirrored image.
    if (width > 0 && height > 0) {
        TransparentBlt(dc, x, y, width, height, memory, 0, 0, info.bmWidth, info.bmHeight,
                       LOGO_KEY);
    }

    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(logo);
    EndPaint(window, &paint);
    return FALSE;
}

static INT_PTR onCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        appClose(&gUnit);
        return TRUE;
    case IDC_UPDATE:
        appUpdate(&gUnit);
        discardQueuedInput();
        return TRUE;
    default:
        return FALSE;
    }
}

// The ESC's line (label and version) is drawn red on the dialog's own background.
static INT_PTR onCtlColorStatic(WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control != GetDlgItem(gWindows.main, IDC_LABEL_ESC) &&
        control != GetDlgItem(gWindows.main, IDC_VERSION_ESC)) {
        return FALSE;
    }
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, ESC_LINE_COLOUR);
    SetBkMode(dc, TRANSPARENT);
    // The system's own brush of the button face colour: it lives as long as the process.
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

static INT_PTR onDeviceChange(WPARAM wParam, LPARAM lParam) {
    DeviceEvent event = deviceEventFromMessage(wParam, lParam);
    return appDeviceEvent(&gUnit, &event).handled ? TRUE : FALSE;
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(window);
    case WM_PAINT:
        return onPaint(window);
    case WM_COMMAND:
        return onCommand(wParam);
    case WM_CTLCOLORSTATIC:
        return onCtlColorStatic(wParam, lParam);
    case WM_DEVICECHANGE:
        return onDeviceChange(wParam, lParam);
    default:
        return FALSE;
    }
}
