// The front end of each unit on a terminal: boxes and questions as text, the transfer as its
// progress, and Ctrl-C held while the unit sends. Results go to standard output; questions,
// notices, the progress and the errors to standard error, so that a log of the results stays
// clean. The commands print what happened from the application's results, never from here.
#include "cli/cli.h"

#include "link/frames.h"

#include <atomic>
#include <cstdio>
#include <sstream>

namespace {
// -q and -v: the program's, for every thread.
std::atomic<bool> gQuiet{false};
std::atomic<bool> gVerbose{false};

CliUnit *unitOf(void *state) {
    return static_cast<CliUnit *>(state);
}

// Whether the answer, in lower case, is one of the space-separated words, whole.
bool isOneOf(const std::string &answer, const std::string &words) {
    std::istringstream given(answer);
    std::string word;
    std::string more;
    if (!(given >> word) || given >> more) {
        return false;
    }
    for (char &c : word) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    std::istringstream listed(words);
    for (std::string each; listed >> each;) {
        if (each == word) {
            return true;
        }
    }
    return false;
}

// -v: one line per report on standard error.
void traceFrame(FrameDirection direction, const uint8_t *bytes, size_t length) {
    std::string hex;
    for (size_t at = 0; at < length; ++at) {
        char pair[4];
        std::snprintf(pair, sizeof pair, at == 0 ? "%02X" : " %02X", bytes[at]);
        hex += pair;
    }
    std::wstring wideHex = wideText(hex);
    const FormatArg arg = {wideHex.c_str(), 0};
    uint16_t id = direction == FRAME_WRITTEN ? MSG_CLI_TRACE_SENT : MSG_CLI_TRACE_RECEIVED;
    printErr(cliFormat(id, &arg, 1) + "\n");
}

// True when the answer is one of the yes words of any language.
bool cliIsYesWord(const std::string &answer) {
    // The program's own language's words, and those of every other: y is yes in German too.
    for (MessageLanguage language : {messageLanguage(), LANGUAGE_ENGLISH, LANGUAGE_GERMAN}) {
        if (isOneOf(answer, utf8Text(catalogueText(MSG_CLI_YES_WORDS, language)))) {
            return true;
        }
    }
    return false;
}

// The notice before the update and the question about the installed version are asked in the
// terminal's own words; an error box is printed whatever -q says.
bool showBox(void *state, BoxKind kind, const wchar_t *caption, const wchar_t *text) {
    CliUnit *unit = unitOf(state);
    progressBreak(&unit->progress);
    switch (kind) {
    case BOX_ASK_OK_CANCEL:
        return unit->answerYes || cliAsk(caption, text, MSG_CLI_ASK_UPDATE);
    case BOX_ASK_YES_NO:
        return unit->answerYes || cliAsk(caption, nullptr, MSG_CLI_ASK_OVERWRITE);
    case BOX_INFORM:
        if (unit->quietBoxes || gQuiet) {
            return true;
        }
        break;
    case BOX_ERROR:
        break;
    }
    printErr(utf8Text(caption) + "\n" + utf8Text(text) + "\n");
    return true;
}

// From the first command to the end: Ctrl-C is held and the system kept awake. The erase and
// its pause of some seconds follow the first command within milliseconds.
void sending(void *, bool on) {
    interruptSending(on);
    terminalKeepAwake(on);
    if (on && !gQuiet) {
        printErr(cliMessage(MSG_CLI_ERASING) + "\n");
    }
}

void transferStarted(void *state, const TransferStart *start) {
    progressStart(&unitOf(state)->progress, start);
}

void transferProgress(void *state, uint32_t percent) {
    progressShow(&unitOf(state)->progress, percent);
}

void transferEnded(void *state) {
    progressEnd(&unitOf(state)->progress);
}

// No status box, version group or Update button: the commands print those from the results.
constexpr FrontEndOps TERMINAL_OPS = {
    .showStatus = nullptr,
    .showVersions = nullptr,
    .offerUpdate = nullptr,
    .showBox = showBox,
    .sending = sending,
    .transferStarted = transferStarted,
    .transferProgress = transferProgress,
    .transferEnded = transferEnded,
    .window = nullptr,
};
} // namespace

FrontEnd cliFrontEnd(CliUnit *state) {
    return FrontEnd{&TERMINAL_OPS, state};
}

void cliSetQuiet(bool quiet) {
    gQuiet = quiet;
}

bool cliQuiet() {
    return gQuiet;
}

void cliSetVerbose(bool verbose) {
    gVerbose = verbose;
    setFrameTrace(verbose ? traceFrame : nullptr);
}

bool cliVerbose() {
    return gVerbose;
}

bool cliAsk(const wchar_t *caption, const wchar_t *text, uint16_t questionId) {
    if (!gQuiet) {
        printErr(utf8Text(caption) + "\n" + (text != nullptr ? utf8Text(text) + "\n" : ""));
    }
    printErr(cliMessage(questionId) + " " + cliMessage(MSG_CLI_PROMPT));
    // Ctrl-C at the prompt ends the program on a line of its own.
    bool exitAtOnce = interruptMode() == INTERRUPT_EXIT;
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
