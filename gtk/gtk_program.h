// The GTK program's own operations, shared by its files and its tests.
//
// The files call one another in one direction only: window_gtk.cpp builds the window and hands
// the application its front end (frontend_gtk.cpp), which registers through udev_monitor.cpp;
// visible_frame.cpp measures windows for both.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "app/context.h"
#include "app/frontend.h"
#include "app/status.h"
#include "os/linux/device_event.h"

// The one unit of the program (window_gtk.cpp), from start to exit.
extern UnitContext gUnit;

// Paths of the built-in resources (compiled in with glib-compile-resources).
#define QUILLAR_RESOURCE_LOGO "/example/zarvelo/quillar-updater/logo.bmp"
#define QUILLAR_RESOURCE_ICON "/example/zarvelo/quillar-updater/icon.ico"
#define QUILLAR_RESOURCE_FIRMWARE "/example/zarvelo/quillar-updater/firmware.bin"

// ---- The main window (window_gtk.cpp) ----

// Chooses the message language from the locale (German when the first language is German),
// builds the main window, runs the portable initialisation and shows the window unless the
// initialisation ended it. app may be null (tests): nothing is inhibited then. Returns the main
// window, or null when it has already ended.
GtkWidget *guiOpenMainWindow(GtkApplication *app);

// The main window and its controls, by resource ID; null when there is none.
GtkWidget *guiMainWindow();
GtkWidget *guiControl(int controlId);
// The caption above the status box (a static without ID).
GtkWidget *guiHintLabel();
// The progress window while it exists, else null.
GtkWidget *guiProgressWindow();
// The result the main window ended with, or 0 while it has not ended.
int guiWindowResult();

// True while the main window and the progress window must not act on user input: from the
// Update command to the end of the update, and while one of our message boxes is open.
bool guiInputBlocked();

// Pixels per dialog unit: x px = DLU * baseX / 4, y px = DLU * baseY / 8 (rounded).
struct DialogBaseUnits {
    int baseX; // average character width of the font
    int baseY; // character height of the font
};
DialogBaseUnits guiDialogBaseUnits();
int dluToPixelsX(int dlu, DialogBaseUnits units);
int dluToPixelsY(int dlu, DialogBaseUnits units);

// The logo's size: the width is what is left up to 45 pixels short of the window's right edge,
// at most half the bitmap's width; the height keeps the aspect ratio (single precision,
// truncated). A width of 0 or less means the logo is not drawn.
struct LogoSize {
    int width;
    int height;
};
LogoSize logoSize(int dialogRight, int groupRight, int bitmapWidth, int bitmapHeight);
// Where the logo was last drawn, in the main window's client coordinates (width 0: not drawn).
GdkRectangle guiLogoRect();

// ---- The front end (frontend_gtk.cpp) ----

// What the front end works on and keeps: the widgets that it changes, given by the window once
// built (and cleared when the main window is destroyed), and its own progress window, modal
// depth and inhibit cookie.
struct GuiWindows {
    UnitContext *unit = nullptr;               // whose device events the udev watch delivers
    GtkApplication *application = nullptr;     // keeps the system awake; null in tests
    GtkWidget *main = nullptr;                 // the main window
    GtkWidget *status = nullptr;               // the status box's text view
    GtkWidget *update = nullptr;               // the Update button
    GtkWidget *versions[3] = {};               // unit, ESC bootloader, ESC: the version fields
    GtkWidget *labels[3] = {};                 // and their labels, in the same order
    GtkWidget *progress = nullptr;             // the progress window while it exists
    GtkWidget *progressBar = nullptr;          // its bar
    GdkRectangle progressAsked = {0, 0, 0, 0}; // where it was asked to stand
    guint inhibitCookie = 0;                   // nonzero while the system is kept awake
    int modalDepth = 0;                        // our message boxes open now
    int result = 0;                            // what the main window ended with
};

// The operations that the GTK program fills; their state is a GuiWindows.
extern const FrontEndOps GUI_FRONT_END;

// UTF-8 for GTK, with each CR LF turned into a plain line break; free it with g_free.
gchar *guiDisplayText(const wchar_t *text);

// ---- Measuring windows (visible_frame.cpp) ----

// A realized window's frame on the screen as the user sees it: with the window manager's
// frame, but without the invisible shadow that a client-side decorated window draws around
// itself.
GdkRectangle guiVisibleFrame(GtkWidget *window);

// ---- Device notifications (udev_monitor.cpp; the mapping of udev events is in device_event.h)
// ----

// Reads one device event once the watched descriptor is readable; false when there was none.
typedef bool (*DeviceEventReader)(DeviceEvent *event);
// Watches fd on the default main context and hands each event that reader gets to
// appDeviceEvent for unit, also while a message box opened by an earlier event is open.
// Returns the source ID (g_source_remove ends the watch).
guint guiWatchDeviceEvents(int fd, DeviceEventReader reader, UnitContext *unit);

// Starts watching hidraw arrivals and removals on the default main context; each goes to
// appDeviceEvent for unit. False when no monitor can be had.
bool udevMonitorStart(UnitContext *unit);
void udevMonitorStop();
