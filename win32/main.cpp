// Entry point of the Windows program: common controls, the connection reset, the modal dialog.
#include "win32/program.h"

#include <commctrl.h>

#include "app/mainwindow.h"
#include "link/units.h"
#include "resources/resource.h"

HINSTANCE gModule = nullptr;
UnitContext gUnit = FRESH_UNIT_CONTEXT;
DialogWindows gWindows;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    InitCommonControls();
    gModule = instance;
    gWindows.module = instance;
    gWindows.unit = &gUnit;
    gUnit.frontEnd = FrontEnd{&DIALOG_FRONT_END, &gWindows};
    prepareUnits();
    appReset(&gUnit);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDialogProc, 0);
    // The exit code is 0 however the dialog ended.
    return 0;
}
