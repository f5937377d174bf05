// The user-interface operations of the application, done with Win32 calls on the main dialog.
#include "app/image.h"
#include "app/ui.h"

#include "win32/program.h"

#include <commctrl.h>
#include <dbt.h>
// The header declares the hid.dll functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <climits>

#include "app/mainwindow.h"
#include "resources/resource.h"

// The notification registration: null while not registered.
static HDEVNOTIFY gNotification = nullptr;

// The progress window's style: WS_VISIBLE | PBS_SMOOTH, neither child nor popup, so it is a
// top-level window with a title bar, owned by the main dialog.
static constexpr DWORD PROGRESS_STYLE = 0x10000001;

// The registration filter is handed over with the size of the fixed part and a one-character
// name, which is what the structure's own size is on every Windows ABI.
static constexpr DWORD NOTIFICATION_FILTER_SIZE = 32;
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == NOTIFICATION_FILTER_SIZE);

static HWND control(int controlId) {
    return GetDlgItem(gMainWindow, controlId);
}

static HWND asWindow(UiWindow window) {
    return static_cast<HWND>(window);
}

void uiSetStatusText(const wchar_t *text) {
    SetWindowTextW(control(IDC_STATUS), text);
}

size_t uiStatusTextLength() {
    const int length = GetWindowTextLengthW(control(IDC_STATUS));
    return length > 0 ? static_cast<size_t>(length) : 0;
}

void uiGetStatusText(wchar_t *buffer, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    buffer[0] = L'\0';
    GetWindowTextW(control(IDC_STATUS), buffer,
                   capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity));
}

void uiEnableControl(int controlId, bool enabled) {
    EnableWindow(control(controlId), enabled ? TRUE : FALSE);
}

void uiSetControlText(int controlId, const wchar_t *text) {
    SetDlgItemTextW(gMainWindow, controlId, text);
}

// A box runs its own message loop, which would hand it the keys and clicks that queued up while
// the update sent: a stray Enter would dismiss the failure box unread, a click on Close would
// end the program behind it.
static int messageBox(const wchar_t *caption, const wchar_t *text, UINT flags) {
    if (appUpdateBusy(&gUnit)) {
        discardQueuedInput();
    }
    return MessageBoxW(gMainWindow, text, caption, flags);
}

void uiInform(const wchar_t *caption, const wchar_t *text) {
    messageBox(caption, text, MB_OK | MB_ICONINFORMATION);
}

bool uiAskOkCancel(const wchar_t *caption, const wchar_t *text) {
    return messageBox(caption, text, MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

bool uiAskYesNo(const wchar_t *caption, const wchar_t *text) {
    return messageBox(caption, text, MB_YESNO | MB_ICONWARNING) == IDYES;
}

void uiShowError(const wchar_t *caption, const wchar_t *text) {
    messageBox(caption, text, MB_OK | MB_ICONERROR);
}

UiRect uiDialogRect() {
    RECT rect = {};
    GetWindowRect(gMainWindow, &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The DPI that a window is drawn at: 96 is 100 %. The manifest declares per-monitor awareness,
// so Windows leaves our pixel figures unscaled. GetDpiForWindow is looked up at run time,
// because Windows before 10 (1607) has no such export and would refuse to start the program.
static UINT windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI *)(HWND);
    static GetDpiForWindowFunction getDpiForWindow = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        FARPROC found = user32 != nullptr ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
        // Through the generic function pointer type, which may be cast to any other.
        return reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(found));
    }();
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int32_t uiScalePixels(int32_t pixels) {
    return MulDiv(pixels, static_cast<int>(windowDpi(gMainWindow)), USER_DEFAULT_SCREEN_DPI);
}

UiWindow uiCreateProgressWindow(int32_t x, int32_t y, int32_t width, int32_t height,
                                const wchar_t *text) {
    return CreateWindowExW(0, PROGRESS_CLASSW, text, PROGRESS_STYLE, x, y, width, height,
                           gMainWindow, nullptr, gModule, nullptr);
}

void uiSetProgress(UiWindow progress, uint32_t percent) {
    if (progress != nullptr) {
        SendMessageW(asWindow(progress), PBM_SETPOS, percent, 0);
    }
}

void uiDestroyProgressWindow(UiWindow progress) {
    if (progress != nullptr) {
        DestroyWindow(asWindow(progress));
    }
}

UiWindow uiMainWindow() {
    return gMainWindow;
}

void uiRaiseWindow(UiWindow window) {
    if (window != nullptr) {
        SetWindowPos(asWindow(window), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

void uiShowWindow(UiWindow window) {
    if (window != nullptr) {
        ShowWindow(asWindow(window), SW_SHOW);
    }
}

UiWindow uiForegroundWindow() {
    return GetForegroundWindow();
}

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    HRSRC found = FindResourceW(gModule, MAKEINTRESOURCEW(IDR_FIRMWARE), RT_RCDATA);
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(gModule, found);
    const DWORD size = SizeofResource(gModule, found);
    const void *start = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (start == nullptr) {
        return false;
    }
    *data = static_cast<const uint8_t *>(start);
    *length = size;
    return true;
}

void uiSetTitle(const wchar_t *title) {
    SendMessageW(gMainWindow, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}

void uiSetIcon() {
    HICON icon = LoadIconW(gModule, MAKEINTRESOURCEW(IDI_APP));
    SetClassLongPtrW(gMainWindow, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
}

bool uiRegisterDeviceNotifications() {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = NOTIFICATION_FILTER_SIZE;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    gNotification = RegisterDeviceNotificationW(gMainWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return gNotification != nullptr;
}

void uiUnregisterDeviceNotifications() {
    if (gNotification != nullptr) {
        UnregisterDeviceNotification(gNotification);
        gNotification = nullptr;
    }
}

void uiEndWindow(int result) {
    EndDialog(gMainWindow, result);
}

void uiKeepAwake(bool on) {
    SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

// The dialog takes no input while the update sends (appUpdateBusy): nothing more to hold off.
void uiSetSending(bool) {}
