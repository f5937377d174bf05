// The command-line program's portable part: its commands, and the terminal UI's state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "app/update.h"
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
constexpr int EXIT_NOTHING_TO_DO = 8;
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
    // Terminal manners, the parser's messages, quiet and verbose.
    MSG_CLI_ERASING = 40130,
    MSG_CLI_PROGRESS_COUNTS = 40131,
    MSG_CLI_ASK_UPDATE = 40132,
    MSG_CLI_ASK_OVERWRITE = 40133,
    MSG_CLI_DECLINED = 40134,
    MSG_CLI_INSTRUCTIONS = 40135,
    MSG_CLI_READY = 40136,
    MSG_CLI_UNKNOWN_COMMAND = 40137,
    MSG_CLI_UNKNOWN_OPTION = 40138,
    MSG_CLI_UNEXPECTED_ARGUMENT = 40139,
    MSG_CLI_COMMAND_REQUIRED = 40140,
    MSG_CLI_SEE_HELP = 40141,
    MSG_CLI_WHOLE_NUMBER = 40142,
    MSG_CLI_HELP_HELP_COMMAND = 40144,
    MSG_CLI_HELP_TOPIC = 40145,
    MSG_CLI_HELP_QUIET = 40146,
    MSG_CLI_HELP_VERBOSE = 40147,
    MSG_CLI_TRACE_SENT = 40148,
    MSG_CLI_TRACE_RECEIVED = 40149,
    // Units, records and nothing to do.
    MSG_CLI_LIST_HELD = 40160,
    MSG_CLI_LIST_UNIDENTIFIED = 40161,
    MSG_CLI_SEVERAL_UNITS = 40162,
    MSG_CLI_NOTHING_TO_DO = 40163,
    MSG_CLI_WATCH_NOTHING = 40164,
    MSG_CLI_LOG_FAILED = 40165,
    MSG_CLI_HELP_LIST = 40166,
    MSG_CLI_HELP_DEVICE = 40167,
    MSG_CLI_HELP_REINSTALL = 40168,
    MSG_CLI_HELP_LOG = 40169,
    MSG_CLI_HELP_JSON_LINES = 40170,
    MSG_CLI_HELP_EXIT_CODES = 40171,
    MSG_CLI_HELP_ALL = 40190,
};

// ---- Text (cli_text.cpp) ----

// UTF-8 of a wide text; "\r\n" becomes "\n".
std::string utf8Text(const wchar_t *text);
std::string utf8Text(const std::wstring &text);
// A text of the program's own (times, hex, words of the command line) as a wide text, byte by
// byte.
std::wstring wideText(const std::string &text);
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
// True: only results and errors are printed (-q): no notices, no erase line, no progress.
void cliSetQuiet(bool quiet);
// Whether -q was given.
bool cliQuiet();
// True: every report exchanged with the unit is printed in hex on standard error (-v).
void cliSetVerbose(bool verbose);
// What Ctrl-C does outside the sending.
void cliSetIdleInterrupt(InterruptMode mode);
// Asks a question on standard error: caption and notice (left out with -q), the question, the
// prompt; true only for a yes word of any language.
bool cliAsk(const wchar_t *caption, const wchar_t *text, uint16_t questionId);
// True when the answer is one of the yes words of any language, whatever its case.
bool cliIsYesWord(const std::string &answer);

// The progress of this thread's update goes to the bench board's row (watch --all), or with
// -1 to a line of its own.
void cliUiUseBoardRow(int row);

// ---- The bench board of watch --all (watch_all.cpp) ----

// Shows the percentage sent to the unit of a row.
void boardSetProgress(int row, uint32_t percent);

// Progress as JSON lines of the unit at device (update --json), or with an empty device as the
// progress line; for this thread.
void cliUiJsonProgress(const std::wstring &device);

// ---- Records (records.cpp) ----

// The version of every JSON object the program prints or logs.
constexpr int CLI_JSON_SCHEMA = 1;

// Now as the bench line shows it (local time, "2026-12-08 20:32:18") or, with utc, as the
// records hold it ("2026-12-08T20:32:18Z"); "-" when the clock cannot be read.
std::string cliTimeText(bool utc);

// The paths of the HID interfaces present now.
std::vector<std::wstring> cliInterfacePaths();

// A unit connected now, as list shows it.
struct ListedUnit {
    std::wstring path;
    bool held;       // another of our programs holds it: not identified
    bool identified; // it answered its identification
    std::string product;
    std::string mode; // "application" or "bootloader"
    nlohmann::ordered_json versions;
};
// Opens and identifies every unit connected, one after the other, and closes each again.
std::vector<ListedUnit> cliListUnits();
std::string cliListText(const std::vector<ListedUnit> &units, bool json);
// The open unit's versions as JSON (unit, escBootloader, escFirmware: raw and shown), or null
// while no unit is open.
nlohmann::ordered_json cliVersionsJson(const UnitContext *unit);
// The record of one unit handled: what the log holds, and what --json prints as its result.
// result is null for a unit that was not updated.
nlohmann::ordered_json cliUnitRecord(const std::wstring &path, const std::string &product,
                                     const nlohmann::ordered_json &before,
                                     const nlohmann::ordered_json &after, const char *outcome,
                                     const UpdateResult *result);
// The log of --log: opened for appending (false when it cannot be), one line per record, each
// on the disk before the call returns. Safe from several threads.
bool cliOpenLog(const std::string &path);
bool cliLogRecord(const nlohmann::ordered_json &record);
void cliCloseLog();

// ---- The commands (commands.cpp) ----

// What the commands are told beside --yes and --count.
struct CommandOptions {
    std::wstring device;    // --device: only the unit at this path
    bool reinstall = false; // --reinstall: write an ESC that holds the image's version already
    bool json = false;      // --json: JSON lines instead of text
};

int cliStatus(bool json, const CommandOptions &options = {});
int cliList(bool json);
int cliUpdate(bool yes, const CommandOptions &options = {});
// count 0: until Ctrl-C.
int cliWatch(bool yes, uint32_t count, const CommandOptions &options = {});
// The bench over every unit at once: each ready unit is updated on a thread of its own, in its
// own context, once until it is removed. count 0: until Ctrl-C.
int cliWatchAll(bool yes, uint32_t count, const CommandOptions &options = {});
// What a bench has done so far.
struct BenchTally {
    uint32_t updated;
    uint32_t failed;
    uint32_t notReady;
};
// Updates the unit that classified ready in its context and returns its result line (time,
// product, ESC version before and after, result), counted into tally.
std::string cliUpdateBenchUnit(UnitContext *unit, BenchTally *tally, const CommandOptions &options);
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
