// The recording UI backend for tests: every call goes into a transcript; questions are answered
// from a script; windows, the dialog rectangle, the image and the registration are faked.
#pragma once

#include "app/context.h"
#include "app/frontend.h"
#include "link/hid.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

enum UiOp {
    UI_SET_STATUS,
    UI_ENABLE,
    UI_SET_CONTROL_TEXT,
    UI_INFORM,
    UI_ASK_OK_CANCEL,
    UI_ASK_YES_NO,
    UI_SHOW_ERROR,
    UI_DIALOG_RECT,
    UI_CREATE_PROGRESS,
    UI_SET_PROGRESS,
    UI_DESTROY_PROGRESS,
    UI_RAISE,
    UI_SHOW,
    UI_FOREGROUND,
    UI_LOAD_IMAGE,
    UI_SET_TITLE,
    UI_SET_ICON,
    UI_REGISTER,
    UI_UNREGISTER,
    UI_END_WINDOW,
    UI_KEEP_AWAKE,
    UI_PAUSE, // written by the test's pause hook through recordPause, so waits sit in order
};

struct UiCall {
    UiOp op;
    int64_t value;        // control ID, percent, window, result, on/off, answer, pause length
    int64_t extra;        // enabled flag
    UiRect place;         // the progress window: left, top, width, height (value: image length)
    std::wstring caption; // message boxes
    std::wstring text;    // texts of status, controls, boxes, title, progress window
};

// The one unit of the programs under test, as a window program has one; resetRecordingUi gives
// it the recording front end.
extern UnitContext gUnit;

// A front end that records, as a window program's: the versions and the Update offer become
// the dialog's controls. Every context of a test that shares it shares the one record.
FrontEnd recordingFrontEnd();

// The fake windows: what the scripted foreground window may be.
typedef void *UiWindow;

extern const UiWindow FAKE_MAIN_WINDOW;
extern const UiWindow FAKE_PROGRESS_WINDOW;
extern const UiWindow FAKE_OTHER_WINDOW;

// Forgets everything: transcript, texts, switches, answers, hooks; the main window in the
// foreground, registration succeeding, no image. Reserves room so that recording progress and
// window calls does not allocate during a transfer.
void resetRecordingUi();

const std::vector<UiCall> &uiTranscript();
void clearUiTranscript();
// Compact one-line descriptions, for order checks with readable failures: "status", "enable
// 1002 0", "text 40013 0.0.0", "inform", "askOkCancel", "askYesNo", "error", "progress 0",
// "createProgress", "destroyProgress", "raise main", "show progress", "foreground",
// "keepAwake 1", "pause 20", "title", "icon", "register", "unregister", "end 2", ...
std::string describeUiCall(const UiCall &call);
std::vector<std::string> uiCallNames();
// The names of the calls of the given kinds only, in order.
std::vector<std::string> uiCallNames(const std::vector<UiOp> &kinds);
std::vector<UiCall> uiCallsOf(UiOp op);

void recordPause(uint32_t milliseconds);

// Called with every call as it is recorded (also while the transcript is off).
void setCallHook(std::function<void(const UiCall &)> hook);
// Off: calls still change the state and reach the hooks, but are not kept (long transfers).
void setTranscriptEnabled(bool enabled);

// What the controls show now. A control never written has no entry.
const std::wstring &uiStatusText();
std::wstring uiControlText(int controlId);
// Enabled state of a control (false for one never switched).
bool uiControlEnabled(int controlId);
// Title, progress position, keep-awake state, end result (0 while the window lives).
const std::wstring &uiTitle();
bool uiKeepingAwake();
int uiEndResult();
bool uiProgressWindowExists();

// Answers to the questions (uiAskOkCancel, uiAskYesNo), taken in order. A question without a
// scripted answer is answered no and counted.
void scriptAnswers(const std::vector<bool> &answers);
size_t unscriptedQuestions();

// Called inside every message box (inform, the two questions, the error box) before it is
// answered: a test delivers device events "while the box is open" from here.
void setBoxHook(std::function<void(const UiCall &)> hook);

// The foreground window: a fixed one, or answers taken in order before the fixed one applies.
void setForegroundWindow(UiWindow window);
void scriptForegroundWindows(const std::vector<UiWindow> &windows);

void setDialogRect(UiRect rect);
// The main window's DPI for the front end's scalePixels: 96 (100 %, pixels unchanged) until set.
void setWindowDpi(int32_t dpi);
void setProgressWindowFails(bool fails);
void setRegistrationFails(bool fails);
// The image handed to the update: the test keeps the bytes alive. Without one, loading fails.
void setImage(const uint8_t *data, size_t length);
void setImageMissing();

// Takes a unit that a test opened by hand over a real HID backend (the connection owns handle
// and a copy of path from then on) as the open, ready unit with full-size reports and ESC
// firmware 2.10, runs the update of 96 erased bytes with OK to the question, and closes the
// connection again. Returns the text of the error box, or an empty text when none came.
std::wstring updateHandOpenedUnit(HidHandle handle, const wchar_t *path);
