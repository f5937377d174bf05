// The UI seam on a terminal: the window's state kept in memory, boxes and questions as text,
// the progress window as one progress line. Results go to standard output; questions, notices,
// the progress and the errors to standard error, so that a log of the results stays clean.
#include "app/image.h"
#include "app/ui.h"
#include "app/update.h"

#include "cli/carried_image.h"
#include "cli/cli.h"
#include "cli/device_watch.h"
#include "link/frames.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace {
// Stand-ins for the two windows: the application compares them, nothing draws them.
char gMainToken;
char gProgressToken;
UiWindow const MAIN_WINDOW = &gMainToken;
UiWindow const PROGRESS_WINDOW = &gProgressToken;

constexpr uint32_t BAR_WIDTH = 30;
constexpr uint32_t MIN_BAR_WIDTH = 10;
// The width assumed of a terminal that does not tell its own.
constexpr uint32_t DEFAULT_COLUMNS = 80;
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
    size_t length;    // of the last drawn line, in columns
    uint32_t updates; // progress updates: the first shows 0 %, each further one a block sent
    uint32_t imageLength;
};

// Each thread that updates a unit (watch --all) has a window of its own.
thread_local UiState gUi = {};
// -q and -v: the program's, for every thread.
std::atomic<bool> gQuiet{false};
std::atomic<bool> gVerbose{false};
thread_local ProgressLine gProgress = {};
// The bench board's row that this thread's progress goes to, or -1 for a line of its own.
thread_local int gBoardRow = -1;
// The unit whose progress goes to standard output as JSON lines (--json), or empty.
thread_local std::wstring gJsonDevice;
thread_local uint32_t gJsonPercent = NO_PERCENT;

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

// Columns of UTF-8 text: one per character (the catalogue's texts hold no wide characters).
size_t columnsOf(const std::string &text) {
    size_t columns = 0;
    for (char c : text) {
        columns += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u ? 1 : 0;
    }
    return columns;
}

// The text cut to at most columns characters, never inside a character.
std::string cutToColumns(const std::string &text, size_t columns) {
    size_t seen = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0u) != 0x80u && seen++ == columns) {
            return text.substr(0, at);
        }
    }
    return text;
}

// Bar, percentage, time left, then bytes and blocks sent and the rate. The bar narrows first
// when the line is wider than columns (0: any width).
std::string progressText(uint32_t percent, uint64_t now, size_t columns) {
    uint64_t elapsedMs = now - gProgress.startMs;
    uint32_t blocks = gProgress.updates > 0 ? gProgress.updates - 1 : 0;
    uint32_t totalBlocks =
        static_cast<uint32_t>((gProgress.imageLength + BLOCK_SIZE - 1) / BLOCK_SIZE);
    uint64_t bytes = static_cast<uint64_t>(blocks) * BLOCK_SIZE;
    if (bytes > gProgress.imageLength) {
        bytes = gProgress.imageLength;
    }
    uint32_t rate = elapsedMs > 0 ? static_cast<uint32_t>(bytes * 1000 / elapsedMs) : 0;
    const FormatArg countArgs[] = {{nullptr, static_cast<uint32_t>(bytes)},
                                   {nullptr, gProgress.imageLength},
                                   {nullptr, blocks},
                                   {nullptr, totalBlocks},
                                   {nullptr, rate}};
    std::string counts = cliFormat(MSG_CLI_PROGRESS_COUNTS, countArgs, 5);
    std::string left = timeLeft(percent, elapsedMs);
    std::wstring wideLeft = wideText(left);
    uint32_t barWidth = BAR_WIDTH;
    std::string line;
    for (;;) {
        std::wstring bar = L"[";
        uint32_t filled = percent * barWidth / 100;
        bar.append(filled, L'#');
        bar.append(barWidth - filled, L'-');
        bar += L"]";
        const FormatArg args[] = {{bar.c_str(), 0}, {nullptr, percent}, {wideLeft.c_str(), 0}};
        line = cliFormat(MSG_CLI_PROGRESS_LINE, args, 3) + "  " + counts;
        size_t width = columnsOf(line);
        if (columns == 0 || width <= columns || barWidth == MIN_BAR_WIDTH) {
            break;
        }
        size_t over = width - columns;
        barWidth = over >= barWidth - MIN_BAR_WIDTH ? MIN_BAR_WIDTH
                                                    : barWidth - static_cast<uint32_t>(over);
    }
    return columns == 0 ? line : cutToColumns(line, columns);
}

void endProgressLine() {
    if (gProgress.lineOpen) {
        printErr("\n");
        gProgress.lineOpen = false;
    }
}

void printBox(TerminalStream stream, const wchar_t *caption, const wchar_t *text) {
    endProgressLine();
    terminalWrite(stream, utf8Text(caption) + "\n" + utf8Text(text) + "\n");
}

// Whether the answer, trimmed and in lower case, is one of the space-separated words, whole.
bool isOneOf(const std::string &answer, const std::string &words) {
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

bool askOrAssume(const wchar_t *caption, const wchar_t *text, uint16_t questionId) {
    return gUi.answerYes || cliAsk(caption, text, questionId);
}

std::mutex gTraceLock;

// -v: one line per report on standard error; exchanges of several threads do not interleave.
void traceFrame(FrameDirection direction, const uint8_t *bytes, size_t length) {
    std::string hex;
    for (size_t at = 0; at < length; ++at) {
        char pair[4];
        std::snprintf(pair, sizeof pair, at == 0 ? "%02X" : " %02X", bytes[at]);
        hex += pair;
    }
    std::wstring wideHex = wideText(hex);
    const FormatArg arg = {wideHex.c_str(), 0};
    std::lock_guard<std::mutex> hold(gTraceLock);
    endProgressLine();
    printErr(cliFormat(direction == FRAME_WRITTEN ? MSG_CLI_TRACE_SENT : MSG_CLI_TRACE_RECEIVED,
                       &arg, 1) +
             "\n");
}
} // namespace

bool cliIsYesWord(const std::string &answer) {
    // The program's own language's words, and those of every other: y is yes in German too.
    for (MessageLanguage language : {messageLanguage(), LANGUAGE_ENGLISH, LANGUAGE_GERMAN}) {
        if (isOneOf(answer, utf8Text(catalogueText(MSG_CLI_YES_WORDS, language)))) {
            return true;
        }
    }
    return false;
}

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

bool cliQuiet() {
    return gQuiet;
}

void cliSetQuiet(bool quiet) {
    gQuiet = quiet;
}

void cliSetVerbose(bool verbose) {
    gVerbose = verbose;
    setFrameTrace(verbose ? traceFrame : nullptr);
}

void cliSetIdleInterrupt(InterruptMode mode) {
    gUi.idleInterrupt = mode;
    interruptSetMode(mode);
}

bool cliAsk(const wchar_t *caption, const wchar_t *text, uint16_t questionId) {
    endProgressLine();
    if (!gQuiet) {
        printErr(utf8Text(caption) + "\n" + (text != nullptr ? utf8Text(text) + "\n" : ""));
    }
    printErr(cliMessage(questionId) + " " + cliMessage(MSG_CLI_PROMPT));
    // Ctrl-C at the prompt ends the program on a line of its own.
    bool exitAtOnce = gUi.idleInterrupt == INTERRUPT_EXIT;
    if (exitAtOnce) {
        interruptSetMode(INTERRUPT_EXIT_LINE);
    }
    std::string answer;
    bool answered = terminalReadLine(&answer);
    if (exitAtOnce) {
        interruptSetMode(INTERRUPT_EXIT);
    }
    // A terminal echoes the answer and its line end; a log or a pipe gets the line end here.
    if (!answered || !terminalIsInteractive(TERMINAL_ERR)) {
        printErr("\n");
    }
    return answered && cliIsYesWord(answer); // end of input declines
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
    if (!gUi.quietBoxes && !gQuiet) {
        printBox(TERMINAL_ERR, caption, text);
    }
}

// The notice before the update, then the terminal's own question.
bool uiAskOkCancel(const wchar_t *caption, const wchar_t *text) {
    return askOrAssume(caption, text, MSG_CLI_ASK_UPDATE);
}

// The window's question about the installed version, in the terminal's own words.
bool uiAskYesNo(const wchar_t *caption, const wchar_t *) {
    return askOrAssume(caption, nullptr, MSG_CLI_ASK_OVERWRITE);
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

void cliUiJsonProgress(const std::wstring &device) {
    gJsonDevice = device;
    gJsonPercent = NO_PERCENT;
}

// One JSON line for every percentage the update reaches.
static void printJsonProgress(uint32_t percent) {
    if (percent == gJsonPercent) {
        return;
    }
    gJsonPercent = percent;
    nlohmann::ordered_json event = {{"schema", CLI_JSON_SCHEMA},
                                    {"event", "progress"},
                                    {"device", utf8Text(gJsonDevice)},
                                    {"percent", percent}};
    printOut(event.dump() + "\n");
}

UiWindow uiCreateProgressWindow(int32_t, int32_t, int32_t, int32_t, const wchar_t *text) {
    if (!gJsonDevice.empty()) {
        printJsonProgress(0);
        return PROGRESS_WINDOW;
    }
    if (gBoardRow >= 0) {
        boardSetProgress(gBoardRow, 0);
        return PROGRESS_WINDOW;
    }
    gProgress = ProgressLine{};
    gProgress.active = !gQuiet;
    // With -v the reports' lines come between: the line is not rewritten in place.
    gProgress.interactive = terminalIsInteractive(TERMINAL_ERR) && !gVerbose;
    gProgress.startMs = terminalNowMs();
    gProgress.percent = NO_PERCENT;
    gProgress.decile = NO_PERCENT;
    const uint8_t *image = nullptr;
    size_t length = 0;
    if (loadCarriedImage(&image, &length)) {
        gProgress.imageLength = static_cast<uint32_t>(length);
    }
    if (gProgress.active) {
        printErr(utf8Text(text) + "\n");
    }
    return PROGRESS_WINDOW;
}

// At most one line per call, and so per block: on a terminal the line is rewritten in place;
// elsewhere a line is printed when the percentage reaches the next ten.
void uiSetProgress(UiWindow progress, uint32_t percent) {
    if (percent > 100) {
        percent = 100;
    }
    if (!gJsonDevice.empty()) {
        printJsonProgress(percent);
        return;
    }
    if (gBoardRow >= 0) {
        boardSetProgress(gBoardRow, percent);
        return;
    }
    if (progress != PROGRESS_WINDOW || !gProgress.active) {
        return;
    }
    ++gProgress.updates;
    uint64_t now = terminalNowMs();
    if (gProgress.interactive) {
        if (percent == gProgress.percent && now - gProgress.drawnMs < REDRAW_MS) {
            return;
        }
        // One column short of the width: a full line would wrap on some terminals.
        uint32_t columns = terminalColumns(TERMINAL_ERR);
        std::string line =
            progressText(percent, now, (columns > 0 ? columns : DEFAULT_COLUMNS) - 1);
        // What is left of a longer line before is cleared to the end of the line.
        size_t length = columnsOf(line);
        if (length < gProgress.length) {
            line.append(gProgress.length - length, ' ');
        }
        line.insert(line.begin(), '\r');
        printErr(line);
        gProgress.length = length;
        gProgress.lineOpen = true;
    } else {
        uint32_t decile = percent / 10;
        if (gProgress.decile != NO_PERCENT && decile <= gProgress.decile) {
            return;
        }
        printErr(progressText(percent, now, 0) + "\n");
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
// The erase and its pause of some seconds follow the first command within milliseconds.
void uiSetSending(bool on) {
    interruptSetMode(on ? INTERRUPT_HOLD : gUi.idleInterrupt);
    if (on && !gQuiet) {
        printErr(cliMessage(MSG_CLI_ERASING) + "\n");
    }
}
