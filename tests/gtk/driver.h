// Driving the GTK window from tests: the main loop, our message boxes, keys, screenshots.
#pragma once

#include "gtk/gtk_program.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// Runs the main loop for the given time.
void spin(guint milliseconds);

// A message in the current language; a not-ready status built from it.
std::wstring message(uint16_t id);
std::wstring notReady(uint16_t id);
// What GTK shows for a text: UTF-8, each CR LF a plain line break.
std::string shown(const std::wstring &text);

// The status text as the text view shows it.
std::string shownStatus();
std::string labelText(int id);
bool sensitive(int id);

// Every message box that appeared, answered from gAnswers in order (OK when none is left).
struct SeenBox {
    std::string caption;
    std::string text;
    GtkMessageType type;
    std::vector<int> responses; // the buttons it offers
    std::string icon;           // the themed icon drawn in it, empty when none is
};
extern std::vector<SeenBox> gBoxes;
extern std::deque<int> gAnswers;
// When set, asked every 10 ms while a box waits for its answer: the box stays open while it
// returns true.
extern std::function<bool()> gKeepBoxOpen;

// What the progress window showed while it existed (watchProgress samples it).
struct ProgressSeen {
    bool existed = false;
    std::string title;
    double lastFraction = 0.0;
    int draws = 0;
    int x = 0;
    int y = 0;
    // Where the window stood on the screen, frame included, once it was mapped.
    GdkRectangle frame = {0, 0, 0, 0};
    // The same without the invisible borders that GTK declares to the window manager.
    GdkRectangle visible = {0, 0, 0, 0};
    bool transientForMain = false;
};
extern ProgressSeen gProgressSeen;
// When set, Escape and the close box are sent to both windows once the bar moves.
extern bool gPokeDuringTransfer;
extern bool gPoked;
gboolean watchProgress(gpointer data);

// A mapped window's frame on the screen less the invisible borders (the shadow of a
// client-side decorated window) that GTK declares to the window manager in _GTK_FRAME_EXTENTS;
// the whole frame when it declares none. declared tells which.
GdkRectangle declaredVisibleFrame(GtkWidget *window, bool *declared = nullptr);

// Input as the X server would deliver it.
void sendKey(GtkWidget *window, guint keyval);
void sendDelete(GtkWidget *window);

// The main window's frame as the front end gives it to the application.
UiRect mainFrame();

// Writes the main window as a PNG to the build's screenshot directory.
void writeScreenshot(const char *name);
