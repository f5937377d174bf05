// The terminal for in-process tests: output captured, input scripted, time from the recorded
// pauses; a Ctrl-C is whatever the test has interruptArrived say.
#include "tests/cli/terminal_capture.h"

#include "tests/support/clock.h"

namespace {
std::string gOut;
std::string gErr;
std::string gInput;
size_t gRead = 0;
bool gInteractive = false;
uint32_t gColumns = 0;
} // namespace

void captureReset(const std::string &input, bool interactive, uint32_t columns) {
    gColumns = columns;
    gOut.clear();
    gErr.clear();
    gInput = input;
    gRead = 0;
    gInteractive = interactive;
}

const std::string &capturedOut() {
    return gOut;
}

const std::string &capturedErr() {
    return gErr;
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

void interruptInstall(const std::string &, const std::string &) {}
