// How the application reaches the user of one unit: a table of operations that a front end fills,
// and the front end's own state, handed back to every operation.
//
// Each UnitContext carries its FrontEnd. The operations say what the user is told or asked, not
// which widget changes; a window program maps them onto its controls, the command line onto its
// terminal, a test onto a record. An operation that a front end does not show is left null, and
// the application then skips it. The window programs alone fill WindowOps: title, icon, labels,
// device registration, ending the window, and where their windows stand.
//
// Threads: the application calls a context's operations on the thread that runs that context
// (the one that called appInitialise, appUpdate or appDeviceEvent). Several contexts may run on
// several threads at once; what their front ends share is theirs to guard.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t VERSION_TEXT_SIZE = 32;

// The version group's texts.
struct VersionTexts {
    // The open unit's product name; null while none is open. The version lines are shown
    // enabled exactly while a unit is open, and the label of the unit's line keeps the last
    // product name shown.
    const wchar_t *unitLabel;
    wchar_t unit[VERSION_TEXT_SIZE];
    wchar_t bootloader[VERSION_TEXT_SIZE];
    wchar_t esc[VERSION_TEXT_SIZE];
};

// The four modal boxes: information, OK/Cancel and Yes/No questions, error.
enum BoxKind { BOX_INFORM, BOX_ASK_OK_CANCEL, BOX_ASK_YES_NO, BOX_ERROR };

// A rectangle in screen pixels.
struct UiRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The transfer of the image begins: the progress shows 0 %.
struct TransferStart {
    const wchar_t *text; // the progress window's title ("Firmware update in progress, ...")
    size_t imageLength;  // bytes that the transfer sends
    // Where a window program puts its progress window: centred on the main window, 400 x 50
    // pixels at 100 % scaled like the main window. All zero for a front end without windows.
    UiRect place;
};

// What only a window program has. Every operation is required.
struct WindowOps {
    void (*setTitle)(void *state, const wchar_t *title);
    void (*setIcon)(void *state);
    // The labels of the three version lines, set once at start-up.
    void (*setLabels)(void *state, const wchar_t *unit, const wchar_t *bootloader,
                      const wchar_t *esc);
    // Registers for HID device-interface arrivals and removals; false when that failed.
    bool (*registerDevices)(void *state);
    void (*unregisterDevices)(void *state);
    // Ends the main window with the given result.
    void (*endWindow)(void *state, int result);
    // The main window's outer rectangle, in screen pixels.
    UiRect (*frame)(void *state);
    // Pixels at 100 % (96 DPI) as pixels of the main window at its own DPI; a toolkit that scales
    // every figure by itself gives them back unchanged.
    int32_t (*scalePixels)(void *state, int32_t pixels);
    // True when the main window or the progress window has the user's focus now.
    bool (*inFront)(void *state);
    // Raises the main window, then the progress window; with show, then shows both, in the same
    // order. A progress window that does not exist is passed over.
    void (*raise)(void *state, bool show);
};

// What the user of one unit is told and asked. Null entries are not shown by this front end.
struct FrontEndOps {
    // The status text, replaced as a whole (lines end in "\r\n").
    void (*showStatus)(void *state, const wchar_t *text);
    // The three versions and their labels.
    void (*showVersions)(void *state, const VersionTexts *texts);
    // Whether the Update command is offered.
    void (*offerUpdate)(void *state, bool offered);
    // A modal box; returns once answered: true for OK or Yes, and for a box without a question.
    // Null: no box is shown, and a question is declined.
    bool (*showBox)(void *state, BoxKind kind, const wchar_t *caption, const wchar_t *text);
    // On from the update's first command to its end: the system is kept awake, and a program that
    // its user could end meanwhile (Ctrl-C in a terminal) holds that off, since an update cut off
    // leaves the ESC without firmware.
    void (*sending)(void *state, bool on);
    // The transfer of the blocks: its start, each block's progress in percent (0 to 100), its end
    // (also after a failed block).
    void (*transferStarted)(void *state, const TransferStart *start);
    void (*transferProgress)(void *state, uint32_t percent);
    void (*transferEnded)(void *state);
    // Null for a front end without windows.
    const WindowOps *window;
};

// One unit's front end: the table and the state handed to it. A context whose ops are null shows
// nothing and declines every question.
struct FrontEnd {
    const FrontEndOps *ops;
    void *state;
};
