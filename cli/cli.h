// The command-line program's portable part: its commands, and the terminal UI's state.
#pragma once

#include <cstdint>
#include <string>

#include "app/context.h"
#include "cli/terminal.h"

// Exit codes.
constexpr int EXIT_OK = 0;
constexpr int EXIT_UPDATE_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_NO_UNIT = 3;
constexpr int EXIT_WRONG_MODE = 4;
constexpr int EXIT_NO_UPDATABLE_ESC = 5;
constexpr int EXIT_INCOMPATIBLE_ESC = 6;
constexpr int EXIT_DECLINED = 7;
constexpr int EXIT_INTERRUPTED = 130;

// Texts of the command-line program in the catalogue.
enum CliMessageId : uint16_t {
    MSG_CLI_PROMPT = 40100,
    MSG_CLI_YES_WORDS = 40101,
    MSG_CLI_NOT_INTERRUPTED = 40102,
    MSG_CLI_PROGRESS_LINE = 40103,
    MSG_CLI_WATCH_RESULT = 40104,
    MSG_CLI_WATCH_UPDATED = 40105,
    MSG_CLI_WATCH_FAILED = 40106,
    MSG_CLI_WATCH_NOT_READY = 40107,
    MSG_CLI_WATCH_SUMMARY = 40108,
    MSG_CLI_WATCH_WAITING = 40109,
    MSG_CLI_WATCH_CONFIRM = 40110,
    MSG_CLI_VERSION = 40111,
    MSG_CLI_HELP_PROGRAM = 40112,
    MSG_CLI_HELP_STATUS = 40113,
    MSG_CLI_HELP_JSON = 40114,
    MSG_CLI_HELP_UPDATE = 40115,
    MSG_CLI_HELP_YES = 40116,
    MSG_CLI_HELP_WATCH = 40117,
    MSG_CLI_HELP_COUNT = 40118,
    MSG_CLI_HELP_VERSION = 40119,
    MSG_CLI_HELP_HELP = 40120,
    MSG_CLI_HELP_OPTIONS = 40121,
    MSG_CLI_HELP_COMMANDS = 40122,
    MSG_CLI_HELP_USAGE = 40123,
    MSG_CLI_UNIT_IN_USE = 40124,
    MSG_CLI_TEST_BUILD = 40125,
    MSG_CLI_HELP_ALL = 40190,
};

// ---- Text (cli_text.cpp) ----

// UTF-8 of a wide text; "\r\n" becomes "\n".
std::string utf8Text(const wchar_t *text);
std::string utf8Text(const std::wstring &text);
// A catalogue text in the current language, as UTF-8.
std::string cliMessage(uint16_t id);
// Formats a catalogue text with formatText; cliFormat gives it as UTF-8.
std::wstring cliFormatWide(uint16_t id, const FormatArg *args, size_t argCount);
std::string cliFormat(uint16_t id, const FormatArg *args, size_t argCount);
void printOut(const std::string &text);
void printErr(const std::string &text);

// ---- The terminal UI (ui_cli.cpp) ----

// Forgets the status, the controls, the counts and the last error; questions are asked.
void cliUiReset();
// True: both questions are answered yes without asking.
void cliSetAnswerYes(bool yes);
// True: information boxes are not printed (status --json prints only its object).
void cliSetQuietBoxes(bool quiet);
// True: uiRegisterDeviceNotifications starts the device watch (watch command).
void cliSetWatchDevices(bool watch);
// What Ctrl-C does outside the sending.
void cliSetIdleInterrupt(InterruptMode mode);
// Asks a question on the terminal: caption, text, prompt; true only for a yes word.
bool cliAsk(const wchar_t *caption, const wchar_t *text);

// The progress of this thread's update goes to the bench board's row (watch --all), or with
// -1 to a line of its own.
void cliUiUseBoardRow(int row);

// ---- The bench board of watch --all (watch_all.cpp) ----

// Shows the percentage sent to the unit of a row.
void boardSetProgress(int row, uint32_t percent);

// ---- The commands (commands.cpp) ----

int cliStatus(bool json);
int cliUpdate(bool yes);
// count 0: until Ctrl-C.
int cliWatch(bool yes, uint32_t count);
// The bench over every unit at once: each ready unit is updated on a thread of its own, in its
// own context, once until it is removed. count 0: until Ctrl-C.
int cliWatchAll(bool yes, uint32_t count);
// What a bench has done so far.
struct BenchTally {
    uint32_t updated;
    uint32_t failed;
    uint32_t notReady;
};
// Updates the unit that classified ready in its context and returns its result line (time,
// product, ESC version before and after, result), counted into tally.
std::string cliUpdateBenchUnit(UnitContext *unit, BenchTally *tally);
// The line of a unit that is there but not ready, counted into tally.
std::string cliNotReadyLine(ConnectionOutcome outcome, BenchTally *tally);
// The bench's closing line.
std::string cliBenchSummary(const BenchTally &tally);
// The bench's one question (false: declined); watch and watch --all ask it without --yes.
bool cliConfirmBench();
// The --version text.
std::string cliVersionText();

// Parses the command line and runs the command; returns the exit code (main_cli.cpp).
int cliMain(int argc, char **argv);
