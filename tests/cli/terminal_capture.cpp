// The terminal for in-process tests: output captured, input scripted, time from the recorded
// pauses, interrupts only recorded.
#include "tests/cli/terminal_capture.h"

#include "tests/support/clock.h"

#include <atomic>

namespace {
std::string gOut;
std::string gErr;
std::string gInput;
size_t gRead = 0;
bool gInteractive = false;
uint32_t gColumns = 0;
// Set from the threads of units updated at once.
std::atomic<InterruptMode> gMode{INTERRUPT_EXIT};
bool gNoticed = false;
} // namespace

void captureReset(const std::string &input, bool interactive, uint32_t columns) {
    gColumns = columns;
    gOut.clear();
    gErr.clear();
    gInput = input;
    gRead = 0;
    gInteractive = interactive;
    gNoticed = false;
}

const std::string &capturedOut() {
    return gOut;
}

const std::string &capturedErr() {
    return gErr;
}

InterruptMode capturedInterruptMode() {
    return gMode;
}

void captureSetNoticed(bool noticed) {
    gNoticed = noticed;
}

void terminalWrite(TerminalStream stream, const std::string &text) {
    (stream == TERMINAL_ERR ? gErr : gOut) += text;
}

bool terminalIsInteractive(TerminalStream) {
    return gInteractive;
}

uint32_t terminalColumns(TerminalStream) {
    return gInteractive ? gColumns : 0;
}

bool terminalReadLine(std::string *line) {
    if (gRead >= gInput.size()) {
        return false;
    }
    size_t end = gInput.find('\n', gRead);
    if (end == std::string::npos) {
        end = gInput.size();
    }
    *line = gInput.substr(gRead, end - gRead);
    gRead = end + 1;
    return true;
}

uint64_t terminalNowMs() {
    return recordedPauseTotal();
}

MessageLanguage terminalLanguage() {
    return LANGUAGE_ENGLISH;
}

void terminalKeepAwake(bool) {}

void interruptInstall(const std::string &) {}

void interruptSetMode(InterruptMode mode) {
    gMode = mode;
}

bool interruptNoticed() {
    return gNoticed;
}
