// The UI seam on a terminal: the window's state kept in memory, boxes and questions as text,
// the progress window as one progress line.
#include "app/image.h"
#include "app/ui.h"

#include "cli/carried_image.h"
#include "cli/cli.h"
#include "cli/device_watch.h"

#include <cstdio>
#include <string>

namespace {
// Stand-ins for the two windows: the application compares them, nothing draws them.
char gMainToken;
char gProgressToken;
UiWindow const MAIN_WINDOW = &gMainToken;
UiWindow const PROGRESS_WINDOW = &gProgressToken;

constexpr uint32_t BAR_WIDTH = 30;
constexpr uint32_t NO_PERCENT = 0xFFFFFFFFu;
// On a terminal the line is drawn again when the percentage changes, or the time left after a
// second.
constexpr uint64_t REDRAW_MS = 1000;

// What the terminal keeps of the window: the status box's text, which the application reads
// back to join its paragraphs, and how boxes and questions are answered. The commands learn what
// happened from the application's results, never from here.
struct UiState {
    std::wstring status;
    bool answerYes;
    bool quietBoxes;
    bool watchDevices;
    InterruptMode idleInterrupt;
};

struct ProgressLine {
    bool active;
    bool interactive;
    bool lineOpen; // a self-rewriting line waits for its end
    uint64_t startMs;
    uint64_t drawnMs;
    uint32_t percent; // last drawn
    uint32_t decile;  // last printed, off a terminal
    size_t length;    // of the last drawn line
};

// Each thread that updates a unit (watch --all) has a window of its own.
thread_local UiState gUi = {};
thread_local ProgressLine gProgress = {};
// The bench board's row that this thread's progress goes to, or -1 for a line of its own.
thread_local int gBoardRow = -1;

std::string timeLeft(uint32_t percent, uint64_t elapsedMs) {
    if (percent == 0 || percent > 100) {
        return "--:--";
    }
    uint64_t leftSeconds = elapsedMs * (100 - percent) / percent / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(leftSeconds / 60),
                  static_cast<unsigned>(leftSeconds % 60));
    return text;
}

std::string progressText(uint32_t percent, uint64_t now) {
    std::wstring bar = L"[";
    uint32_t filled = percent * BAR_WIDTH / 100;
    bar.append(filled, L'#');
    bar.append(BAR_WIDTH - filled, L'-');
    bar += L"]";
    std::string left = timeLeft(percent, now - gProgress.startMs);
    std::wstring wideLeft(left.begin(), left.end());
    const FormatArg args[] = {{bar.c_str(), 0}, {nullptr, percent}, {wideLeft.c_str(), 0}};
    return cliFormat(MSG_CLI_PROGRESS_LINE, args, 3);
}

void endProgressLine() {
    if (gProgress.lineOpen) {
        printOut("\n");
        gProgress.lineOpen = false;
    }
}

void printBox(TerminalStream stream, const wchar_t *caption, const wchar_t *text) {
    endProgressLine();
    terminalWrite(stream, utf8Text(caption) + "\n" + utf8Text(text) + "\n");
}

bool isYesWord(const std::string &answer) {
    size_t first = answer.find_first_not_of(" \t\r");
    size_t last = answer.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
        return false;
    }
    std::string word = answer.substr(first, last - first + 1);
    for (char &c : word) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    // The yes words are separated by spaces; the answer must be one of them, whole.
    std::string words = cliMessage(MSG_CLI_YES_WORDS);
    size_t start = 0;
    while (start <= words.size()) {
        size_t end = words.find(' ', start);
        if (end == std::string::npos) {
            end = words.size();
        }
        if (end > start && words.compare(start, end - start, word) == 0 &&
            end - start == word.size()) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool askOrAssume(const wchar_t *caption, const wchar_t *text) {
    return gUi.answerYes || cliAsk(caption, text);
}
} // namespace

void cliUiReset() {
    InterruptMode idle = gUi.idleInterrupt;
    gUi = UiState{};
    gUi.idleInterrupt = idle;
    gProgress = ProgressLine{};
}

void cliSetAnswerYes(bool yes) {
    gUi.answerYes = yes;
}

void cliSetQuietBoxes(bool quiet) {
    gUi.quietBoxes = quiet;
}

void cliSetWatchDevices(bool watch) {
    gUi.watchDevices = watch;
}

void cliSetIdleInterrupt(InterruptMode mode) {
    gUi.idleInterrupt = mode;
    interruptSetMode(mode);
}

bool cliAsk(const wchar_t *caption, const wchar_t *text) {
    printBox(TERMINAL_OUT, caption, text);
    printOut(cliMessage(MSG_CLI_PROMPT));
    std::string answer;
    bool answered = terminalReadLine(&answer);
    // A terminal echoes the answer and its line end; a log or a pipe gets the line end here.
    if (!answered || !terminalIsInteractive(TERMINAL_OUT)) {
        printOut("\n");
    }
    return answered && isYesWord(answer); // end of input declines
}

void uiSetStatusText(const wchar_t *text) {
    gUi.status = text != nullptr ? text : L"";
}

size_t uiStatusTextLength() {
    return gUi.status.size();
}

void uiGetStatusText(wchar_t *buffer, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    size_t length = gUi.status.copy(buffer, capacity - 1);
    buffer[length] = L'\0';
}

// The commands print the versions and the unit's state from the application's results.
void uiEnableControl(int, bool) {}

void uiSetControlText(int, const wchar_t *) {}

void uiInform(const wchar_t *caption, const wchar_t *text) {
    if (!gUi.quietBoxes) {
        printBox(TERMINAL_OUT, caption, text);
    }
}

bool uiAskOkCancel(const wchar_t *caption, const wchar_t *text) {
    return askOrAssume(caption, text);
}

bool uiAskYesNo(const wchar_t *caption, const wchar_t *text) {
    return askOrAssume(caption, text);
}

void uiShowError(const wchar_t *caption, const wchar_t *text) {
    printBox(TERMINAL_ERR, caption, text);
}

UiRect uiDialogRect() {
    return UiRect{0, 0, 0, 0};
}

// A terminal has no pixels: the progress line ignores the window's geometry.
int32_t uiScalePixels(int32_t pixels) {
    return pixels;
}

void cliUiUseBoardRow(int row) {
    gBoardRow = row;
}

UiWindow uiCreateProgressWindow(int32_t, int32_t, int32_t, int32_t, const wchar_t *text) {
    if (gBoardRow >= 0) {
        boardSetProgress(gBoardRow, 0);
        return PROGRESS_WINDOW;
    }
    gProgress = ProgressLine{};
    gProgress.active = true;
    gProgress.interactive = terminalIsInteractive(TERMINAL_OUT);
    gProgress.startMs = terminalNowMs();
    gProgress.percent = NO_PERCENT;
    gProgress.decile = NO_PERCENT;
    printOut(utf8Text(text) + "\n");
    return PROGRESS_WINDOW;
}

// At most one line per call, and so per block: on a terminal the line is rewritten in place;
// elsewhere a line is printed when the percentage reaches the next ten.
void uiSetProgress(UiWindow progress, uint32_t percent) {
    if (gBoardRow >= 0) {
        boardSetProgress(gBoardRow, percent > 100 ? 100 : percent);
        return;
    }
    if (progress != PROGRESS_WINDOW || !gProgress.active) {
        return;
    }
    if (percent > 100) {
        percent = 100;
    }
    uint64_t now = terminalNowMs();
    if (gProgress.interactive) {
        if (percent == gProgress.percent && now - gProgress.drawnMs < REDRAW_MS) {
            return;
        }
        std::string line = progressText(percent, now);
        size_t length = line.size();
        if (length < gProgress.length) {
            line.append(gProgress.length - length, ' ');
        }
        line.insert(line.begin(), '\r');
        printOut(line);
        gProgress.length = length;
        gProgress.lineOpen = true;
    } else {
        uint32_t decile = percent / 10;
        if (gProgress.decile != NO_PERCENT && decile <= gProgress.decile) {
            return;
        }
        printOut(progressText(percent, now) + "\n");
        gProgress.decile = decile;
    }
    gProgress.percent = percent;
    gProgress.drawnMs = now;
}

void uiDestroyProgressWindow(UiWindow progress) {
    if (progress != PROGRESS_WINDOW) {
        return;
    }
    endProgressLine();
    gProgress.active = false;
}

UiWindow uiMainWindow() {
    return MAIN_WINDOW;
}

void uiRaiseWindow(UiWindow) {}

void uiShowWindow(UiWindow) {}

// No window of ours ever has the focus: nothing is raised during the transfer.
UiWindow uiForegroundWindow() {
    return nullptr;
}

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    *data = CARRIED_IMAGE;
    *length = CARRIED_IMAGE_SIZE;
    return true;
}

void uiSetTitle(const wchar_t *) {}

void uiSetIcon() {}

bool uiRegisterDeviceNotifications() {
    return !gUi.watchDevices || deviceWatchStart();
}

void uiUnregisterDeviceNotifications() {
    if (gUi.watchDevices) {
        deviceWatchStop();
    }
}

// The commands end when they have what they need: nothing waits for the window to end.
void uiEndWindow(int) {}

void uiKeepAwake(bool on) {
    terminalKeepAwake(on);
}

// Ctrl-C is held from the first command of the update to its end.
void uiSetSending(bool on) {
    interruptSetMode(on ? INTERRUPT_HOLD : gUi.idleInterrupt);
}
