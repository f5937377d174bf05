// State and entry points shared by the files of the Windows program.
//
// The files call one another in one direction: main.cpp runs the dialog (dialog.cpp) and gives
// the application the dialog's front end (frontend.cpp); the dialog uses the front end's
// scaling and input helpers. messages.cpp and image.cpp serve the application at link time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/context.h"
#include "app/frontend.h"

// The module instance: every resource (dialog, icon, bitmap, strings, firmware image) is loaded
// through it. Set first thing by the entry point.
extern HINSTANCE gModule;

// What the dialog's front end works on: handed to its operations as their state.
struct DialogWindows {
    HINSTANCE module = nullptr;        // the progress window and the icon come from it
    const UnitContext *unit = nullptr; // whose update makes a box drop the input queued meanwhile
    // The main dialog's window, stored first thing in WM_INITDIALOG. Every handler reaches the
    // controls through it, never through the window that comes with a message.
    HWND main = nullptr;
    HWND progress = nullptr;           // the progress window while the transfer runs
    HDEVNOTIFY notification = nullptr; // the device notification registration, while registered
};

// The one unit of the program, from start to exit, and its windows.
extern UnitContext gUnit;
extern DialogWindows gWindows;

// ---- The front end (frontend.cpp) ----

// The operations of the dialog program; their state is a DialogWindows.
extern const FrontEndOps DIALOG_FRONT_END;

// Pixels at 100 % (96 DPI) as pixels of the window at its own DPI.
int32_t scaleToWindow(HWND window, int32_t pixels);

// Drops the keys and clicks queued for the program's windows.
void discardQueuedInput();

// ---- The main dialog (dialog.cpp) ----

// The dialog procedure of the main dialog (IDD_MAIN).
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
