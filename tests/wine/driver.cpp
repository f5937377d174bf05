// Drives the Windows program under Wine as a user would and checks what the user sees.
//
//   driver startup EXE en|de SHOT.bmp   start without a unit: title, texts, fields, states
//   driver close EXE esc|enter|closebox|button   each way of closing ends with exit code 0
//   driver update SIM_EXE SHOT.bmp      the whole update against the simulated unit
//   driver erase-fault SIM_EXE          the erase answers error code 16
//   driver device-changes SIM_EXE       removal and arrival notifications, as the system sends them
//   driver dpi SIM_EXE DPI              the progress window's size and place at the prefix's DPI
//
// Expected texts come from the built-in catalogue, so the program's string tables and dialog
// templates are checked against the one source of all texts.
#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <string>

#include "app/messages.h"
#include "app/texts.h"
#include "win32/devices_sim.h"
#include "resources/resource.h"
#include "tests/wine/automation.h"

#ifndef QUILLAR_EXPECTED_VERSION
#error "QUILLAR_EXPECTED_VERSION (the image's version as major.minor) must be defined"
#endif

namespace {

const DWORD START_LIMIT_MS = 30000;
const DWORD EXIT_LIMIT_MS = 15000;
const ULONGLONG TRANSFER_LIMIT_MS = 120000;
const std::wstring TITLE_PREFIX = L"ZARVELO QUILLAR";
// A build of the placeholder image says so at the end of its title.
const std::wstring TITLE = L"ZARVELO QUILLAR FW Updater " QUILLAR_EXPECTED_VERSION L" " +
                           std::wstring(QUILLAR_PLACEHOLDER_BUILD ? L"TEST BUILD" : L"");
const int VERSION_CONTROLS[] = {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC,
                                IDC_LABEL_UNIT,   IDC_LABEL_BOOTLOADER,   IDC_LABEL_ESC};

MessageLanguage gLanguage = LANGUAGE_ENGLISH;

std::wstring msg(uint16_t id) {
    const wchar_t *text = catalogueText(id, gLanguage);
    return text != nullptr ? text : L"<unknown message>";
}

std::wstring notReady(uint16_t id) {
    return msg(id) + L"\r\n\r\n" + msg(MSG_INSTRUCTIONS);
}

std::string narrow(int id) {
    return std::to_string(id);
}

void expectControl(HWND main, int id, const std::wstring &expected) {
    const std::string what = "text of control " + narrow(id);
    expectEqual(what.c_str(), expected, controlText(main, id));
}

void expectVersionControlsEnabled(HWND main, bool enabled) {
    for (int id : VERSION_CONTROLS) {
        const std::string what = "control " + narrow(id) + (enabled ? " enabled" : " disabled");
        expectTrue(what.c_str(), controlEnabled(main, id) == enabled);
    }
}

// The template's own texts, in the chosen language.
void expectTemplateTexts(HWND main) {
    expectControl(main, IDCANCEL, dialogText(DIALOG_CLOSE, gLanguage));
    expectControl(main, IDC_UPDATE, dialogText(DIALOG_UPDATE, gLanguage));
    expectControl(main, IDC_GROUP_VERSIONS, dialogText(DIALOG_GROUP_VERSIONS, gLanguage));
    expectControl(main, IDC_HINT, dialogText(DIALOG_HINT, gLanguage));
}

// What a window without a unit shows: no versions, the six controls off, Update off.
void expectNoUnit(HWND main, uint16_t statusId, bool instructions) {
    expectEqual("status box", instructions ? notReady(statusId) : msg(statusId),
                controlText(main, IDC_STATUS));
    expectTrue("Update disabled", !controlEnabled(main, IDC_UPDATE));
    for (int id : {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC}) {
        expectControl(main, id, L"0.0.0");
    }
    expectVersionControlsEnabled(main, false);
}

HWND start(const std::wstring &exe, Program *program, const wchar_t *fault = nullptr) {
    if (!launch(exe, fault != nullptr ? L"QUILLAR_SIM_FAULT" : nullptr, fault, program)) {
        return nullptr;
    }
    HWND main = waitForDialog(*program, TITLE_PREFIX, nullptr, START_LIMIT_MS);
    if (main == nullptr) {
        fail("the main window did not appear");
        terminate(program);
    }
    return main;
}

void closeWithButton(HWND main, Program *program) {
    click(GetDlgItem(main, IDCANCEL));
    const long code = waitForExit(program, EXIT_LIMIT_MS);
    if (code != 0) {
        fail("exit code after Close is not 0:", std::to_wstring(code));
        terminate(program);
    }
}

bool isInk(int red, int green, int blue) {
    return red < 60 && green < 70 && blue > 50 && blue < 120;
}
bool isKeyGreen(int red, int green, int blue) {
    return green > 200 && red < 80 && blue < 80;
}
bool isRed(int red, int green, int blue) {
    return red > 180 && green < 90 && blue < 90;
}

RECT childRect(HWND main, int id) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(main, id), &rect);
    return rect;
}

// The logo right of the group box, without its green background; the ESC's line red.
void expectPainting(HWND main, bool escLineEnabled) {
    RECT window;
    GetWindowRect(main, &window);
    RECT group = childRect(main, IDC_GROUP_VERSIONS);
    RECT logo = {group.right, group.top, window.right, group.bottom};
    const int ink = countPixels(logo, isInk);
    note("logo pixels right of the group box:", std::to_wstring(ink));
    expectTrue("the logo is drawn right of the version group box", ink > 500);
    expectTrue("no green background of the logo shows", countPixels(window, isKeyGreen) == 0);
    if (escLineEnabled) {
        expectTrue("the ESC label is red", countPixels(childRect(main, IDC_LABEL_ESC), isRed) > 5);
        expectTrue("the ESC version is red",
                   countPixels(childRect(main, IDC_VERSION_ESC), isRed) > 5);
        expectTrue("the unit's version is not red",
                   countPixels(childRect(main, IDC_VERSION_UNIT), isRed) == 0);
    }
}

void takeScreenshot(HWND main, const std::wstring &path) {
    // Let the window finish painting before the screen is read.
    Sleep(1000);
    if (!screenshot(main, path)) {
        fail("cannot write the screenshot", path);
    }
}

int startup(const std::wstring &exe, const std::wstring &shot) {
    Program program;
    HWND main = start(exe, &program);
    if (main == nullptr) {
        return failureCount();
    }
    expectEqual("title", TITLE, windowText(main));
    expectNoUnit(main, MSG_NO_UNIT, true);
    expectControl(main, IDC_LABEL_UNIT, msg(MSG_LABEL_UNIT));
    expectControl(main, IDC_LABEL_BOOTLOADER, msg(MSG_LABEL_BOOTLOADER));
    expectControl(main, IDC_LABEL_ESC, msg(MSG_LABEL_ESC));
    expectTemplateTexts(main);
    takeScreenshot(main, shot);
    expectPainting(main, false);
    closeWithButton(main, &program);
    return failureCount();
}

int closeBy(const std::wstring &exe, const std::wstring &way) {
    Program program;
    HWND main = start(exe, &program);
    if (main == nullptr) {
        return failureCount();
    }
    if (way == L"esc") {
        pressKey(main, VK_ESCAPE);
    } else if (way == L"enter") {
        pressKey(main, VK_RETURN);
    } else if (way == L"closebox") {
        PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (way == L"button") {
        click(GetDlgItem(main, IDCANCEL));
    } else {
        fail("unknown way of closing", way);
        terminate(&program);
        return failureCount();
    }
    const long code = waitForExit(&program, EXIT_LIMIT_MS);
    if (code != 0) {
        fail("the program did not end with exit code 0:", std::to_wstring(code));
        terminate(&program);
    }
    return failureCount();
}

void expectReady(HWND main) {
    expectEqual("status box", msg(MSG_READY), controlText(main, IDC_STATUS));
    expectTrue("Update enabled", controlEnabled(main, IDC_UPDATE));
    expectVersionControlsEnabled(main, true);
    expectControl(main, IDC_VERSION_UNIT, L"2.3");
    expectControl(main, IDC_VERSION_BOOTLOADER, L"1.2");
    expectControl(main, IDC_VERSION_ESC, L"2.10");
    expectControl(main, IDC_LABEL_UNIT, L"TALOMIR");
}

// Presses Update and answers the confirmation; returns false when it did not come.
bool confirmUpdate(HWND main, Program *program, int answerId) {
    click(GetDlgItem(main, IDC_UPDATE));
    HWND box = waitForDialog(*program, msg(MSG_IMPORTANT_CAPTION), main, 10000);
    if (box == nullptr) {
        fail("no confirmation after Update");
        return false;
    }
    expectEqual("confirmation caption", msg(MSG_IMPORTANT_CAPTION), windowText(box));
    expectEqual("confirmation text", msg(MSG_IMPORTANT), messageBoxText(box));
    expectTrue("the confirmation has OK and Cancel",
               GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) != nullptr);
    answer(box, answerId);
    expectTrue("the confirmation goes away", waitUntil([&] { return !IsWindow(box); }, 5000));
    return true;
}

// Presses Update, answers OK and waits for the progress window; null (the failure reported)
// when the confirmation or the progress window does not come.
HWND startUpdate(HWND main, Program *program) {
    if (!confirmUpdate(main, program, IDOK)) {
        return nullptr;
    }
    HWND progress = nullptr;
    waitUntil([&] { return (progress = findTopLevel(*program, PROGRESS_CLASSW)) != nullptr; },
              20000);
    if (progress == nullptr) {
        fail("no progress window after the confirmation");
    }
    return progress;
}

// The progress window is 400 x 50 pixels at 96 DPI, scaled with the display's DPI.
void expectCentredProgress(HWND main, HWND progress, int dpi = 96) {
    RECT dialog;
    RECT bar;
    GetWindowRect(main, &dialog);
    GetWindowRect(progress, &bar);
    const LONG width = 400 * dpi / 96;
    const LONG height = 50 * dpi / 96;
    const LONG x = dialog.left + (dialog.right - dialog.left) / 2 - width / 2;
    const LONG y = dialog.top + (dialog.bottom - dialog.top) / 2 - height / 2;
    wchar_t detail[160];
    swprintf(detail, 160, L"expected %ld,%ld %ldx%ld, got %ld,%ld %ldx%ld", x, y, width, height,
             bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top);
    note("dialog:", std::to_wstring(dialog.right - dialog.left) + L"x" +
                        std::to_wstring(dialog.bottom - dialog.top));
    if (bar.left != x || bar.top != y || bar.right - bar.left != width ||
        bar.bottom - bar.top != height) {
        fail("the progress window is not centred on the dialog:", detail);
    }
    expectTrue("the main dialog owns the progress window", GetWindow(progress, GW_OWNER) == main);
}

int update(const std::wstring &exe, const std::wstring &shot) {
    Program program;
    HWND main = start(exe, &program);
    if (main == nullptr) {
        return failureCount();
    }
    expectReady(main);
    takeScreenshot(main, shot);
    expectPainting(main, true);

    // Cancel leaves everything as it was.
    if (confirmUpdate(main, &program, IDCANCEL)) {
        Sleep(500);
        expectTrue("no progress window after Cancel",
                   findTopLevel(program, PROGRESS_CLASSW) == nullptr);
        expectReady(main);
    }

    HWND progress = startUpdate(main, &program);
    if (progress == nullptr) {
        terminate(&program);
        return failureCount();
    }
    expectEqual("progress window text", msg(MSG_PROGRESS), windowText(progress));
    expectCentredProgress(main, progress);

    // While blocks are written the window keeps answering; input meanwhile goes nowhere.
    int probes = 0;
    int unanswered = 0;
    ULONGLONG slowest = 0;
    DWORD_PTR lastPosition = 0;
    bool inputSent = false;
    bool barChecked = false;
    const std::wstring progressShot = shot.substr(0, shot.rfind(L'.')) + L"-progress.bmp";
    // The transfer takes about 46 s; a progress window that stays far longer has hung.
    const ULONGLONG transferEnd = GetTickCount64() + TRANSFER_LIMIT_MS;
    while (IsWindow(progress)) {
        if (GetTickCount64() >= transferEnd) {
            fail("the progress window is still open after the transfer's time limit");
            terminate(&program);
            return failureCount();
        }
        const ULONGLONG before = GetTickCount64();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) {
            ++unanswered;
        }
        slowest = std::max(slowest, GetTickCount64() - before);
        ++probes;
        DWORD_PTR position = 0;
        if (SendMessageTimeoutW(progress, PBM_GETPOS, 0, 0, SMTO_NORMAL, 1000, &position)) {
            if (position < lastPosition) {
                fail("the progress went back:", std::to_wstring(position));
            }
            lastPosition = position;
        }
        // Pauses between blocks dispatch paints: the bar shows the progress on screen.
        if (!barChecked && position >= 50) {
            RECT bar;
            GetClientRect(progress, &bar);
            MapWindowPoints(progress, nullptr, reinterpret_cast<POINT *>(&bar), 2);
            const int filled = countPixelsNear(bar, GetSysColor(COLOR_HIGHLIGHT), 8);
            const int area = (bar.right - bar.left) * (bar.bottom - bar.top);
            note("progress bar pixels filled at 50 % or more:",
                 std::to_wstring(filled) + L" of " + std::to_wstring(area));
            expectTrue("the progress bar is painted during the transfer", filled * 3 > area);
            screenshot(progress, progressShot);
            barChecked = true;
        }
        // The progress window has the focus now; these are keys and clicks that reached
        // the dialog's own controls, which would end the program if handled late.
        if (!inputSent && position >= 20) {
            pressKeyOn(GetDlgItem(main, IDC_UPDATE), VK_ESCAPE);
            click(GetDlgItem(main, IDCANCEL));
            inputSent = true;
        }
        Sleep(250);
    }
    note("probes while writing:", std::to_wstring(probes));
    note("slowest answer (ms):", std::to_wstring(slowest));
    note("last progress seen:", std::to_wstring(lastPosition));
    expectTrue("the main window answered every probe within 1 s", unanswered == 0);
    expectTrue("the transfer was probed", probes >= 20);
    expectTrue("the progress reached 90", lastPosition >= 90);
    expectTrue("input was sent during the transfer", inputSent);
    expectTrue("the progress bar was checked", barChecked);

    expectTrue("status 40032 after the update",
               waitUntil([&] { return controlText(main, IDC_STATUS) == msg(MSG_UPDATE_SUCCEEDED); },
                         10000));
    expectEqual("status box", msg(MSG_UPDATE_SUCCEEDED), controlText(main, IDC_STATUS));
    expectControl(main, IDC_VERSION_ESC, QUILLAR_EXPECTED_VERSION);
    expectTrue("Update disabled after the update", !controlEnabled(main, IDC_UPDATE));
    // The Esc and the click queued during the transfer must not have closed the program.
    Sleep(500);
    expectTrue("the program still runs after input queued during the update",
               WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT);
    closeWithButton(main, &program);
    return failureCount();
}

// The error box's text: the failure text, a line break and the error-code line.
void expectFailureText(const std::wstring &text, uint16_t failureId, uint32_t result) {
    const std::wstring head = msg(failureId) + L"\r\n";
    if (text.size() < head.size() + 8) {
        fail("failure text too short:", text);
        return;
    }
    const uint32_t systemError =
        static_cast<uint32_t>(std::wcstoul(text.substr(text.size() - 8).c_str(), nullptr, 16));
    const std::wstring line = msg(MSG_ERROR_CODE);
    FormatArg args[] = {{nullptr, result}, {nullptr, systemError}};
    wchar_t formatted[MESSAGE_BUFFER_SIZE];
    formatText(formatted, MESSAGE_BUFFER_SIZE, line.c_str(), args, 2);
    expectEqual("failure box text", head + formatted, text);
}

int eraseFault(const std::wstring &exe) {
    Program program;
    HWND main = start(exe, &program, L"erase-error-16");
    if (main == nullptr) {
        return failureCount();
    }
    expectReady(main);
    if (!confirmUpdate(main, &program, IDOK)) {
        terminate(&program);
        return failureCount();
    }
    // Input that reaches the dialog while the erase waits: the failure box must not hand it on
    // (a late Close would end the program behind the box).
    pressKeyOn(GetDlgItem(main, IDCANCEL), VK_ESCAPE);
    click(GetDlgItem(main, IDCANCEL));
    HWND box = waitForDialog(program, msg(MSG_UPDATE_FAILED_CAPTION), main, 20000);
    if (box == nullptr) {
        fail("no failure box after the erase failed");
        terminate(&program);
        return failureCount();
    }
    expectEqual("failure box caption", msg(MSG_UPDATE_FAILED_CAPTION), windowText(box));
    const std::wstring text = messageBoxText(box);
    expectFailureText(text, MSG_ERASE_FAILED, 16);
    expectTrue("the error-code line names code 16",
               text.find(L"0x00000010-0x") != std::wstring::npos);
    expectTrue("no progress window for a failed erase",
               findTopLevel(program, PROGRESS_CLASSW) == nullptr);
    answer(box, IDOK);
    expectTrue(
        "status 40030 after the failure",
        waitUntil([&] { return controlText(main, IDC_STATUS) == msg(MSG_UPDATE_FAILED); }, 10000));
    expectNoUnit(main, MSG_UPDATE_FAILED, false);
    Sleep(500);
    expectTrue("the program still runs after input queued during the erase",
               WaitForSingleObject(program.process.hProcess, 0) == WAIT_TIMEOUT);
    closeWithButton(main, &program);
    return failureCount();
}

// At the prefix's DPI the progress window keeps its proportions to the dialog. The unit fails a
// read at block 100, so the window stands for about two seconds and the failure box follows.
int dpiScaling(const std::wstring &exe, int dpi) {
    Program program;
    HWND main = start(exe, &program, L"write-block-read-fails");
    if (main == nullptr) {
        return failureCount();
    }
    expectReady(main);
    Sleep(1000); // the first paint
    expectPainting(main, true);
    HWND progress = startUpdate(main, &program);
    if (progress == nullptr) {
        terminate(&program);
        return failureCount();
    }
    expectCentredProgress(main, progress, dpi);
    HWND box = waitForDialog(program, msg(MSG_UPDATE_FAILED_CAPTION), main, 20000);
    if (box == nullptr) {
        fail("no failure box after the block read failed");
        terminate(&program);
        return failureCount();
    }
    expectFailureText(messageBoxText(box), MSG_WRITE_BLOCK_FAILED, 0xFFFFFFFD);
    answer(box, IDOK);
    // Input that comes before the update has returned is dropped; Close waits for the end.
    expectTrue(
        "status 40030 after the failure",
        waitUntil([&] { return controlText(main, IDC_STATUS) == msg(MSG_UPDATE_FAILED); }, 10000));
    Sleep(500);
    closeWithButton(main, &program);
    return failureCount();
}

// Sends WM_DEVICECHANGE as the system does: a device-interface record with the name (Wine
// copies the record into the program). The dialog procedure's TRUE or FALSE is not the
// message's result (a dialog's result is DWLP_MSGRESULT), so only the effects are checked.
void sendDeviceChange(HWND main, WPARAM event, DWORD deviceType, const std::wstring &name) {
    const size_t size =
        offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::wstring storage((size + sizeof(wchar_t) - 1) / sizeof(wchar_t) + 1, L'\0');
    auto *record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W *>(storage.data());
    record->dbcc_size = static_cast<DWORD>(size);
    record->dbcc_devicetype = deviceType;
    std::copy(name.begin(), name.end(), record->dbcc_name);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(main, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record),
                             SMTO_NORMAL, 10000, &result)) {
        fail("WM_DEVICECHANGE was not answered");
    }
}

std::wstring upper(std::wstring text) {
    for (wchar_t &c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

int deviceChanges(const std::wstring &exe) {
    Program program;
    HWND main = start(exe, &program);
    if (main == nullptr) {
        return failureCount();
    }
    expectReady(main);
    const std::wstring other =
        L"\\\\?\\hid#vid_046d&pid_c077#7&1b2c3d4e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    sendDeviceChange(main, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE, other);
    note("another interface left");
    expectReady(main);
    sendDeviceChange(main, DBT_DEVNODES_CHANGED, 0, L"");
    note("device nodes changed");
    expectReady(main);
    // A volume's removal is no device interface, whatever its name.
    sendDeviceChange(main, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME, SIM_UNIT_PATH);
    note("a volume left");
    expectReady(main);

    // The unit's own interface, its name in other letter case: the unit has left.
    sendDeviceChange(main, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE,
                     upper(SIM_UNIT_PATH));
    note("the unit left");
    expectNoUnit(main, MSG_CONNECTION_LOST, true);
    expectControl(main, IDC_LABEL_UNIT, L"TALOMIR");

    // Any HID arrival while no unit is open finds the (still attached) unit again.
    sendDeviceChange(main, DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE, other);
    note("a device arrived");
    expectReady(main);
    sendDeviceChange(main, DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE, other);
    note("a device arrived while the unit is open");
    expectReady(main);
    closeWithButton(main, &program);
    return failureCount();
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 3) {
        std::printf(
            "usage: driver startup|close|update|erase-fault|device-changes|dpi EXE [...]\n");
        return 2;
    }
    const std::wstring scenario = argv[1];
    const std::wstring exe = argv[2];
    const std::wstring extra = argc > 3 ? argv[3] : L"";
    int failures = 0;
    if (scenario == L"startup" && argc == 5) {
        gLanguage = extra == L"de" ? LANGUAGE_GERMAN : LANGUAGE_ENGLISH;
        failures = startup(exe, argv[4]);
    } else if (scenario == L"close" && argc == 4) {
        failures = closeBy(exe, extra);
    } else if (scenario == L"update" && argc == 4) {
        failures = update(exe, extra);
    } else if (scenario == L"erase-fault" && argc == 3) {
        failures = eraseFault(exe);
    } else if (scenario == L"device-changes" && argc == 3) {
        failures = deviceChanges(exe);
    } else if (scenario == L"dpi" && argc == 4) {
        failures = dpiScaling(exe, static_cast<int>(std::wcstol(extra.c_str(), nullptr, 10)));
    } else {
        std::printf("driver: unknown scenario or wrong arguments\n");
        return 2;
    }
    std::printf("%s: %d failure(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures == 0 ? 0 : 1;
}
