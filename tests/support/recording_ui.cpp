// The recording UI backend for tests: every call goes into a transcript; questions are answered
// from a script; windows, the dialog rectangle, the image and the registration are faked.
#include "tests/support/recording_ui.h"

#include "app/image.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/update.h"
#include "link/frames.h"
#include "resource.h"

#include <cstdlib>
#include <cwchar>

const UiWindow FAKE_MAIN_WINDOW = reinterpret_cast<UiWindow>(0x1000);
const UiWindow FAKE_PROGRESS_WINDOW = reinterpret_cast<UiWindow>(0x2000);
const UiWindow FAKE_OTHER_WINDOW = reinterpret_cast<UiWindow>(0x3000);

UnitContext gUnit = FRESH_UNIT_CONTEXT;

namespace {
// Room for a whole transfer of a large image without the transcript growing.
constexpr size_t TRANSCRIPT_RESERVE = 1 << 16;

struct RecordingUi {
    std::vector<UiCall> transcript;
    std::wstring status;
    std::map<int, std::wstring> controlTexts;
    std::map<int, bool> enabled;
    std::wstring title;
    std::vector<bool> answers;
    size_t nextAnswer = 0;
    size_t unscripted = 0;
    std::function<void(const UiCall &)> boxHook;
    std::function<void(const UiCall &)> callHook;
    bool transcriptEnabled = true;
    UiCall last{};
    UiWindow foreground = FAKE_MAIN_WINDOW;
    std::vector<UiWindow> foregroundScript;
    size_t nextForeground = 0;
    UiRect dialogRect = {100, 200, 700, 600};
    int32_t dpi = 96;
    bool progressFails = false;
    bool progressExists = false;
    bool registrationFails = false;
    const uint8_t *image = nullptr;
    size_t imageLength = 0;
    bool imagePresent = false;
    bool keepAwake = false;
    int endResult = 0;
};

RecordingUi &ui() {
    static RecordingUi state;
    return state;
}

const UiCall &keep(UiCall &&call) {
    RecordingUi &state = ui();
    const UiCall *kept = &state.last;
    if (state.transcriptEnabled) {
        state.transcript.push_back(std::move(call));
        kept = &state.transcript.back();
    } else {
        state.last = std::move(call);
    }
    if (state.callHook) {
        state.callHook(*kept);
    }
    return *kept;
}

const UiCall &record(UiOp op, int64_t value = 0, int64_t extra = 0, const wchar_t *text = nullptr,
                     const wchar_t *caption = nullptr) {
    UiCall call{op, value, extra, {0, 0, 0, 0}, {}, {}};
    if (text != nullptr) {
        call.text = text;
    }
    if (caption != nullptr) {
        call.caption = caption;
    }
    return keep(std::move(call));
}

int64_t windowValue(UiWindow window) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(window));
}

std::string windowName(int64_t value) {
    if (value == windowValue(FAKE_MAIN_WINDOW)) {
        return "main";
    }
    if (value == windowValue(FAKE_PROGRESS_WINDOW)) {
        return "progress";
    }
    if (value == 0) {
        return "none";
    }
    return "other";
}

std::string narrow(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text) {
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return out;
}

bool box(UiOp op, const wchar_t *caption, const wchar_t *text) {
    UiCall call = record(op, 0, 0, text, caption);
    bool answer = false;
    if (op == UI_ASK_OK_CANCEL || op == UI_ASK_YES_NO) {
        if (ui().nextAnswer < ui().answers.size()) {
            answer = ui().answers[ui().nextAnswer++];
        } else {
            ++ui().unscripted;
        }
    }
    if (ui().boxHook) {
        ui().boxHook(call);
    }
    return answer;
}
} // namespace

void resetRecordingUi() {
    ui() = RecordingUi{};
    ui().transcript.reserve(TRANSCRIPT_RESERVE);
    gUnit.frontEnd = recordingFrontEnd();
}

const std::vector<UiCall> &uiTranscript() {
    return ui().transcript;
}

void clearUiTranscript() {
    ui().transcript.clear();
}

std::string describeUiCall(const UiCall &call) {
    auto number = [](int64_t value) { return std::to_string(value); };
    switch (call.op) {
    case UI_SET_STATUS:
        return "status";
    case UI_ENABLE:
        return "enable " + number(call.value) + " " + number(call.extra);
    case UI_SET_CONTROL_TEXT:
        return "text " + number(call.value) + " " + narrow(call.text);
    case UI_INFORM:
        return "inform";
    case UI_ASK_OK_CANCEL:
        return "askOkCancel";
    case UI_ASK_YES_NO:
        return "askYesNo";
    case UI_SHOW_ERROR:
        return "error";
    case UI_DIALOG_RECT:
        return "dialogRect";
    case UI_CREATE_PROGRESS:
        return "createProgress";
    case UI_SET_PROGRESS:
        return "progress " + number(call.value);
    case UI_DESTROY_PROGRESS:
        return "destroyProgress";
    case UI_RAISE:
        return "raise " + windowName(call.value);
    case UI_SHOW:
        return "show " + windowName(call.value);
    case UI_FOREGROUND:
        return "foreground";
    case UI_LOAD_IMAGE:
        return "loadImage";
    case UI_SET_TITLE:
        return "title";
    case UI_SET_ICON:
        return "icon";
    case UI_REGISTER:
        return "register";
    case UI_UNREGISTER:
        return "unregister";
    case UI_END_WINDOW:
        return "end " + number(call.value);
    case UI_KEEP_AWAKE:
        return "keepAwake " + number(call.value);
    case UI_PAUSE:
        return "pause " + number(call.value);
    }
    return "?";
}

std::vector<std::string> uiCallNames() {
    std::vector<std::string> names;
    for (const UiCall &call : ui().transcript) {
        names.push_back(describeUiCall(call));
    }
    return names;
}

std::vector<std::string> uiCallNames(const std::vector<UiOp> &kinds) {
    std::vector<std::string> names;
    for (const UiCall &call : ui().transcript) {
        for (UiOp kind : kinds) {
            if (call.op == kind) {
                names.push_back(describeUiCall(call));
                break;
            }
        }
    }
    return names;
}

std::vector<UiCall> uiCallsOf(UiOp op) {
    std::vector<UiCall> calls;
    for (const UiCall &call : ui().transcript) {
        if (call.op == op) {
            calls.push_back(call);
        }
    }
    return calls;
}

void recordPause(uint32_t milliseconds) {
    record(UI_PAUSE, milliseconds);
}

void setCallHook(std::function<void(const UiCall &)> hook) {
    ui().callHook = std::move(hook);
}

void setTranscriptEnabled(bool enabled) {
    ui().transcriptEnabled = enabled;
}

const std::wstring &uiStatusText() {
    return ui().status;
}

std::wstring uiControlText(int controlId) {
    auto found = ui().controlTexts.find(controlId);
    return found == ui().controlTexts.end() ? std::wstring() : found->second;
}

bool uiControlEnabled(int controlId) {
    auto found = ui().enabled.find(controlId);
    return found != ui().enabled.end() && found->second;
}

const std::wstring &uiTitle() {
    return ui().title;
}

bool uiKeepingAwake() {
    return ui().keepAwake;
}

int uiEndResult() {
    return ui().endResult;
}

bool uiProgressWindowExists() {
    return ui().progressExists;
}

void scriptAnswers(const std::vector<bool> &answers) {
    ui().answers = answers;
    ui().nextAnswer = 0;
}

size_t unscriptedQuestions() {
    return ui().unscripted;
}

void setBoxHook(std::function<void(const UiCall &)> hook) {
    ui().boxHook = std::move(hook);
}

void setForegroundWindow(UiWindow window) {
    ui().foreground = window;
}

void scriptForegroundWindows(const std::vector<UiWindow> &windows) {
    ui().foregroundScript = windows;
    ui().nextForeground = 0;
}

void setDialogRect(UiRect rect) {
    ui().dialogRect = rect;
}

void setWindowDpi(int32_t dpi) {
    ui().dpi = dpi;
}

void setProgressWindowFails(bool fails) {
    ui().progressFails = fails;
}

void setRegistrationFails(bool fails) {
    ui().registrationFails = fails;
}

void setImage(const uint8_t *data, size_t length) {
    ui().image = data;
    ui().imageLength = length;
    ui().imagePresent = true;
}

void setImageMissing() {
    ui().image = nullptr;
    ui().imageLength = 0;
    ui().imagePresent = false;
}

// ---- The front end: a window program's, as far as tests look at it ----

namespace {
constexpr int VERSION_CONTROLS[] = {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC,
                                    IDC_LABEL_UNIT,   IDC_LABEL_BOOTLOADER,   IDC_LABEL_ESC};

void enableControl(int controlId, bool enabled) {
    record(UI_ENABLE, controlId, enabled ? 1 : 0);
    ui().enabled[controlId] = enabled;
}

void setControlText(int controlId, const wchar_t *text) {
    record(UI_SET_CONTROL_TEXT, controlId, 0, text);
    ui().controlTexts[controlId] = text;
}

void showStatus(void *, const wchar_t *text) {
    record(UI_SET_STATUS, 0, 0, text);
    ui().status = text;
}

// As the dialog shows them: without a unit the fields are written, then the six controls
// disabled; with one the controls are enabled, then the fields and the unit's label written.
void showVersions(void *, const VersionTexts *texts) {
    bool open = texts->unitLabel != nullptr;
    if (open) {
        for (int control : VERSION_CONTROLS) {
            enableControl(control, true);
        }
    }
    setControlText(IDC_VERSION_UNIT, texts->unit);
    setControlText(IDC_VERSION_BOOTLOADER, texts->bootloader);
    setControlText(IDC_VERSION_ESC, texts->esc);
    if (open) {
        setControlText(IDC_LABEL_UNIT, texts->unitLabel);
        return;
    }
    for (int control : VERSION_CONTROLS) {
        enableControl(control, false);
    }
}

void offerUpdate(void *, bool offered) {
    enableControl(IDC_UPDATE, offered);
}

bool showBox(void *, BoxKind kind, const wchar_t *caption, const wchar_t *text) {
    switch (kind) {
    case BOX_INFORM:
        box(UI_INFORM, caption, text);
        return true;
    case BOX_ASK_OK_CANCEL:
        return box(UI_ASK_OK_CANCEL, caption, text);
    case BOX_ASK_YES_NO:
        return box(UI_ASK_YES_NO, caption, text);
    case BOX_ERROR:
        break;
    }
    box(UI_SHOW_ERROR, caption, text);
    return true;
}

void sending(void *, bool on) {
    record(UI_KEEP_AWAKE, on ? 1 : 0);
    ui().keepAwake = on;
}

void transferStarted(void *, const TransferStart *start) {
    const UiRect &place = start->place;
    keep(UiCall{UI_CREATE_PROGRESS,
                static_cast<int64_t>(start->imageLength),
                0,
                {place.left, place.top, place.right - place.left, place.bottom - place.top},
                {},
                start->text});
    ui().progressExists = !ui().progressFails;
}

void transferProgress(void *, uint32_t percent) {
    if (ui().progressExists) {
        record(UI_SET_PROGRESS, percent);
    }
}

void transferEnded(void *) {
    if (ui().progressExists) {
        record(UI_DESTROY_PROGRESS);
        ui().progressExists = false;
    }
}

void setTitle(void *, const wchar_t *title) {
    record(UI_SET_TITLE, 0, 0, title);
    ui().title = title;
}

void setIcon(void *) {
    record(UI_SET_ICON);
}

void setLabels(void *, const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc) {
    setControlText(IDC_LABEL_UNIT, unit);
    setControlText(IDC_LABEL_BOOTLOADER, bootloader);
    setControlText(IDC_LABEL_ESC, esc);
}

bool registerDevices(void *) {
    record(UI_REGISTER, ui().registrationFails ? 0 : 1);
    return !ui().registrationFails;
}

void unregisterDevices(void *) {
    record(UI_UNREGISTER);
}

void endWindow(void *, int result) {
    record(UI_END_WINDOW, result);
    ui().endResult = result;
}

UiRect frame(void *) {
    record(UI_DIALOG_RECT);
    return ui().dialogRect;
}

// Not recorded: it asks the window nothing that a test checks the order of.
int32_t scalePixels(void *, int32_t pixels) {
    int64_t scaled = int64_t{pixels} * ui().dpi;
    // Rounded half away from zero, as the platform's own scaling does.
    return static_cast<int32_t>((scaled >= 0 ? scaled + 48 : scaled - 48) / 96);
}

bool inFront(void *) {
    record(UI_FOREGROUND);
    UiWindow window = ui().foreground;
    if (ui().nextForeground < ui().foregroundScript.size()) {
        window = ui().foregroundScript[ui().nextForeground++];
    }
    return window == FAKE_MAIN_WINDOW || (window == FAKE_PROGRESS_WINDOW && ui().progressExists);
}

void raise(void *, bool show) {
    const UiOp ops[] = {UI_RAISE, UI_SHOW};
    for (int step = 0; step < (show ? 2 : 1); ++step) {
        record(ops[step], windowValue(FAKE_MAIN_WINDOW));
        if (ui().progressExists) {
            record(ops[step], windowValue(FAKE_PROGRESS_WINDOW));
        }
    }
}

const WindowOps WINDOW_OPS = {
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
const FrontEndOps FRONT_END_OPS = {
    .showStatus = showStatus,
    .showVersions = showVersions,
    .offerUpdate = offerUpdate,
    .showBox = showBox,
    .sending = sending,
    .transferStarted = transferStarted,
    .transferProgress = transferProgress,
    .transferEnded = transferEnded,
    .window = &WINDOW_OPS,
};
} // namespace

FrontEnd recordingFrontEnd() {
    return FrontEnd{&FRONT_END_OPS, nullptr};
}

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    record(UI_LOAD_IMAGE);
    *data = ui().image;
    *length = ui().imageLength;
    return ui().imagePresent;
}

std::wstring updateHandOpenedUnit(HidHandle handle, const wchar_t *path) {
    closeConnection(&gUnit.connection);
    gUnit.connection.handle = handle;
    size_t length = std::wcslen(path);
    gUnit.connection.devicePath = static_cast<wchar_t *>(std::calloc(length + 1, sizeof(wchar_t)));
    std::wmemcpy(gUnit.connection.devicePath, path, length);
    gUnit.connection.inputReportLength = FRAME_SIZE;
    gUnit.connection.outputReportLength = FRAME_SIZE;
    setEscFirmwareVersion(&gUnit.connection, 0x0210);
    markOpenUnitReady(&gUnit);

    resetRecordingUi();
    gUnit.frontEnd = recordingFrontEnd();
    setMessageLanguage(LANGUAGE_ENGLISH);
    static const std::vector<uint8_t> image(96, 0xFF);
    setImage(image.data(), image.size());
    scriptAnswers({true});
    runUpdate(&gUnit);
    // A failure has closed the connection already; closing here too ends a stand-in unit's loop
    // whatever the update did.
    closeConnection(&gUnit.connection);
    std::vector<UiCall> boxes = uiCallsOf(UI_SHOW_ERROR);
    return boxes.empty() ? std::wstring() : boxes.back().text;
}
