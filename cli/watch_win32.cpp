// Unit arrivals and removals for the watch command on Windows: device-interface notifications
// of the HID class, sent to a message-only window.
#include "cli/device_watch.h"

#include "os/win32/device_event.h"

#include <windows.h>

#include <dbt.h>
// The header declares the hid.dll functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <deque>

namespace {
constexpr wchar_t WINDOW_CLASS[] = L"QuillarUpdaterCliWatch";

HWND gWindow;
HDEVNOTIFY gNotification;
// Notifications are sent to the window whenever the thread looks at its messages, the update's
// pauses included; they wait here until the watch asks for the next one.
std::deque<DeviceEvent> gArrived;

LRESULT CALLBACK watchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        DeviceEvent event = deviceEventFromMessage(wParam, lParam);
        if (event.kind != DEVICE_OTHER) {
            gArrived.push_back(event);
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

bool deviceWatchStart() {
    deviceWatchStop();
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = watchWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassExW(&windowClass); // fails harmlessly when registered before
    gWindow = CreateWindowExW(0, WINDOW_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                              nullptr);
    if (gWindow == nullptr) {
        return false;
    }
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    gNotification = RegisterDeviceNotificationW(gWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (gNotification == nullptr) {
        deviceWatchStop();
        return false;
    }
    return true;
}

WatchWait deviceWatchWait(DeviceEvent *event, uint32_t timeoutMs) {
    if (gWindow == nullptr) {
        return WATCH_ENDED;
    }
    if (gArrived.empty()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    if (gArrived.empty()) {
        return WATCH_QUIET;
    }
    *event = gArrived.front();
    gArrived.pop_front();
    return WATCH_EVENT;
}

void deviceWatchStop() {
    if (gNotification != nullptr) {
        UnregisterDeviceNotification(gNotification);
        gNotification = nullptr;
    }
    if (gWindow != nullptr) {
        DestroyWindow(gWindow);
        gWindow = nullptr;
    }
    gArrived.clear();
}
