// State and entry points shared by the files of the Windows program.
#pragma once

#include <windows.h>

#include "app/context.h"

// The module instance: every resource (dialog, icon, bitmap, strings, firmware image) is loaded
// through it. Set first thing by the entry point.
extern HINSTANCE gModule;

// The main dialog's window, stored first thing in WM_INITDIALOG. Every handler reaches the
// controls through it, never through the window that comes with a message.
extern HWND gMainWindow;

// The one unit of the program, from start to exit.
extern UnitContext gUnit;

// Drops the keys and clicks queued for the program's windows.
void discardQueuedInput();

// The dialog procedure of the main dialog (IDD_MAIN).
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
