// The dialog program's front end: the main dialog's controls, message boxes, the progress
// window, keeping the system awake, and the main window's own operations, done with Win32 calls.
#include "win32/program.h"

#include <commctrl.h>
#include <dbt.h>
// The header declares the hid.dll functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include "app/mainwindow.h"
#include "resources/resource.h"

#include <initializer_list>

namespace {

// The progress window's style: WS_VISIBLE | PBS_SMOOTH, neither child nor popup, so it is a
// top-level window with a title bar, owned by the main dialog.
constexpr DWORD PROGRESS_STYLE = 0x10000001;

// The registration filter is handed over with the size of the fixed part and a one-character
// name, which is what the structure's own size is on every Windows ABI.
constexpr DWORD NOTIFICATION_FILTER_SIZE = 32;
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == NOTIFICATION_FILTER_SIZE);

// The six version controls, always switched together in this order.
constexpr int VERSION_CONTROLS[] = {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC,
                                    IDC_LABEL_UNIT,   IDC_LABEL_BOOTLOADER,   IDC_LABEL_ESC};

DialogWindows *windowsOf(void *state) {
    return static_cast<DialogWindows *>(state);
}

HWND mainOf(void *state) {
    return windowsOf(state)->main;
}

void showStatus(void *state, const wchar_t *text) {
    SetWindowTextW(GetDlgItem(mainOf(state), IDC_STATUS), text);
}

void switchVersionControls(HWND main, bool enabled) {
    for (int control : VERSION_CONTROLS) {
        EnableWindow(GetDlgItem(main, control), enabled ? TRUE : FALSE);
    }
}

// Without a unit the fields are written, then the six controls disabled; with one they are
// enabled first, then the fields and the unit's label are written.
void showVersions(void *state, const VersionTexts *texts) {
    HWND main = mainOf(state);
    const bool open = texts->unitLabel != nullptr;
    if (open) {
        switchVersionControls(main, true);
    }
    SetDlgItemTextW(main, IDC_VERSION_UNIT, texts->unit);
    SetDlgItemTextW(main, IDC_VERSION_BOOTLOADER, texts->bootloader);
    SetDlgItemTextW(main, IDC_VERSION_ESC, texts->esc);
    if (open) {
        SetDlgItemTextW(main, IDC_LABEL_UNIT, texts->unitLabel);
    } else {
        switchVersionControls(main, false);
    }
}

void offerUpdate(void *state, bool offered) {
    EnableWindow(GetDlgItem(mainOf(state), IDC_UPDATE), offered ? TRUE : FALSE);
}

// A box runs its own message loop, which would hand it the keys and clicks that queued up while
// the update sent: a stray Enter would dismiss the failure box unread, a click on Close would
// end the program behind it.
bool showBox(void *state, BoxKind kind, const wchar_t *caption, const wchar_t *text) {
    const DialogWindows *windows = windowsOf(state);
    if (windows->unit != nullptr && appUpdateBusy(windows->unit)) {
        discardQueuedInput();
    }
    switch (kind) {
    case BOX_INFORM:
        MessageBoxW(windows->main, text, caption, MB_OK | MB_ICONINFORMATION);
        return true;
    case BOX_ASK_OK_CANCEL:
        return MessageBoxW(windows->main, text, caption, MB_OKCANCEL | MB_ICONWARNING) == IDOK;
    case BOX_ASK_YES_NO:
        return MessageBoxW(windows->main, text, caption, MB_YESNO | MB_ICONWARNING) == IDYES;
    case BOX_ERROR:
        break;
    }
    MessageBoxW(windows->main, text, caption, MB_OK | MB_ICONERROR);
    return true;
}

// The dialog takes no input while the update sends (appUpdateBusy): keeping the system awake is
// all there is to do.
void sending(void *, bool on) {
    SetThreadExecutionState(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

void transferStarted(void *state, const TransferStart *start) {
    DialogWindows *windows = windowsOf(state);
    const UiRect &place = start->place;
    windows->progress =
        CreateWindowExW(0, PROGRESS_CLASSW, start->text, PROGRESS_STYLE, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, windows->main, nullptr,
                        windows->module, nullptr);
}

void transferProgress(void *state, uint32_t percent) {
    HWND progress = windowsOf(state)->progress;
    if (progress != nullptr) {
        SendMessageW(progress, PBM_SETPOS, percent, 0);
    }
}

void transferEnded(void *state) {
    DialogWindows *windows = windowsOf(state);
    if (windows->progress != nullptr) {
        DestroyWindow(windows->progress);
        windows->progress = nullptr;
    }
}

// ---- The main window's own operations ----

void setTitle(void *state, const wchar_t *title) {
    SendMessageW(mainOf(state), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}

void setIcon(void *state) {
    HICON icon = LoadIconW(windowsOf(state)->module, MAKEINTRESOURCEW(IDI_APP));
    SetClassLongPtrW(mainOf(state), GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
}

void setLabels(void *state, const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc) {
    HWND main = mainOf(state);
    SetDlgItemTextW(main, IDC_LABEL_UNIT, unit);
    SetDlgItemTextW(main, IDC_LABEL_BOOTLOADER, bootloader);
    SetDlgItemTextW(main, IDC_LABEL_ESC, esc);
}

bool registerDevices(void *state) {
    DialogWindows *windows = windowsOf(state);
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = NOTIFICATION_FILTER_SIZE;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    windows->notification =
        RegisterDeviceNotificationW(windows->main, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return windows->notification != nullptr;
}

void unregisterDevices(void *state) {
    DialogWindows *windows = windowsOf(state);
    if (windows->notification != nullptr) {
        UnregisterDeviceNotification(windows->notification);
        windows->notification = nullptr;
    }
}

void endWindow(void *state, int result) {
    EndDialog(mainOf(state), result);
}

UiRect frame(void *state) {
    RECT rect = {};
    GetWindowRect(mainOf(state), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

int32_t scalePixels(void *state, int32_t pixels) {
    return scaleToWindow(mainOf(state), pixels);
}

bool inFront(void *state) {
    const DialogWindows *windows = windowsOf(state);
    HWND foreground = GetForegroundWindow();
    return foreground != nullptr &&
           (foreground == windows->main || foreground == windows->progress);
}

void raise(void *state, bool show) {
    const DialogWindows *windows = windowsOf(state);
    for (HWND window : {windows->main, windows->progress}) {
        if (window != nullptr) {
            SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    if (!show) {
        return;
    }
    for (HWND window : {windows->main, windows->progress}) {
        if (window != nullptr) {
            ShowWindow(window, SW_SHOW);
        }
    }
}

// The DPI that a window is drawn at: 96 is 100 %. The manifest declares per-monitor awareness,
// so Windows leaves our pixel figures unscaled. GetDpiForWindow is looked up at run time,
// because Windows before 10 (1607) has no such export and would refuse to start the program.
UINT windowDpi(HWND window) {
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

const WindowOps DIALOG_WINDOW_OPS = {
    .setTitle = setTitle,
    .setIcon = setIcon,
    .setLabels = setLabels,
    .registerDevices = registerDevices,
    .unregisterDevices = unregisterDevices,
    .endWindow = endWindow,
    .frame = frame,
    .scalePixels = scalePixels,
    .inFront = inFront,
    .raise = raise,
};

} // namespace

const FrontEndOps DIALOG_FRONT_END = {
    .showStatus = showStatus,
    .showVersions = showVersions,
    .offerUpdate = offerUpdate,
    .showBox = showBox,
    .sending = sending,
    .transferStarted = transferStarted,
    .transferProgress = transferProgress,
    .transferEnded = transferEnded,
    .window = &DIALOG_WINDOW_OPS,
};

int32_t scaleToWindow(HWND window, int32_t pixels) {
    return MulDiv(pixels, static_cast<int>(windowDpi(window)), USER_DEFAULT_SCREEN_DPI);
}

// Keys and clicks that queued up while the update sent were meant for a window that could not
// react; acting on them later (a late Close, a second Update, a box dismissed unread) would
// surprise.
void discardQueuedInput() {
    for (MSG pending;
         PeekMessageW(&pending, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
         PeekMessageW(&pending, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
         PeekMessageW(&pending, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE);) {
    }
}
