// The command-line program's portable part: its commands, the front end of each unit they
// handle, and what they print and record of it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/record.h"
#include "app/update.h"
#include "app/utf8.h"
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
constexpr int EXIT_LOG_FAILED = 9;
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
    MSG_CLI_LOG_WRITE_FAILED = 40172,
    MSG_CLI_FINISHING = 40173,
    MSG_CLI_HELP_ALL = 40190,
};

// ---- Text (cli_text.cpp) ----

// A text of the program's own (times, hex, words of the command line) as a wide text, byte by
// byte.
std::wstring wideText(const std::string &text);
// A catalogue text in the current language, as UTF-8.
std::string cliMessage(uint16_t id);
std::wstring catalogue(uint16_t id);
// Formats a catalogue text with formatText; cliFormat gives it as UTF-8.
std::wstring cliFormatWide(uint16_t id, const FormatArg *args, size_t argCount);
std::string cliFormat(uint16_t id, const FormatArg *args, size_t argCount);
// Units updated at once print from their own threads: one text at a time, never interleaved.
void printOut(const std::string &text);
void printErr(const std::string &text);

// ---- The program's settings (frontend.cpp) ----

// True: only results and errors are printed (-q): no notices, no erase line, no progress.
void cliSetQuiet(bool quiet);
bool cliQuiet();
// True: every report exchanged with the unit is printed in hex on standard error (-v).
void cliSetVerbose(bool verbose);
bool cliVerbose();

// ---- The progress of a unit's transfer (progress.cpp): a line of its own on standard error
// (rewritten in place on a terminal, a line at every 10 % elsewhere), a row of the bench board
// (watch --all), or JSON lines on standard output (--json) ----

// The bench's board: one progress row per unit being updated, on standard error, below the
// lines of results. Shared by the bench's threads.
struct Board {
    struct Row {
        std::string label;
        uint32_t percent;
        uint32_t decile; // last printed off a terminal
        bool active;
    };
    std::mutex lock;
    std::vector<Row> rows;
    bool interactive = false; // redrawn in place (a terminal that takes escape sequences)
    size_t drawn = 0;         // lines of the block on the terminal now
};

// A line of results on standard output, above the board's rows.
void boardPrint(Board *board, const std::string &line);
// A row for a unit whose update starts; returns its number.
int boardAddRow(Board *board, const std::string &label);
void boardEndRow(Board *board, int row);

enum ProgressForm { PROGRESS_LINE, PROGRESS_BOARD, PROGRESS_JSON };

// One unit's progress and what its form has drawn so far.
struct Progress {
    ProgressForm form = PROGRESS_LINE;
    std::wstring device;    // PROGRESS_JSON: the unit's path
    Board *board = nullptr; // PROGRESS_BOARD: the board and the unit's row
    int row = -1;
    // PROGRESS_LINE
    bool active = false;
    bool interactive = false;
    bool lineOpen = false; // a self-rewriting line waits for its end
    uint64_t startMs = 0;
    uint64_t drawnMs = 0;
    uint32_t percent = 0; // last drawn, or last printed as JSON
    uint32_t decile = 0;  // last printed, off a terminal
    size_t length = 0;    // of the last drawn line, in columns
    uint32_t updates = 0; // the first shows 0 %, each further one a block sent
    size_t imageLength = 0;
};

void progressStart(Progress *progress, const TransferStart *start);
void progressShow(Progress *progress, uint32_t percent);
void progressEnd(Progress *progress);
// Ends a self-rewriting line that waits for its end, so that other text starts on a new line.
void progressBreak(Progress *progress);

// ---- The records (records.cpp): the only JSON of the program ----

// The version of every JSON object the program prints or logs: the records'.
constexpr int CLI_JSON_SCHEMA = RECORD_SCHEMA;

// One unit handled: what update, watch and watch --all print and log of it.
struct UnitReport : UnitRecord {
    std::string record; // its JSON line, as logged and printed by --json
    bool logged = true; // false: appending the record to the log failed
};

// The record of a report, one line of JSON with its line end, stamped with the time now.
std::string recordLine(const UnitReport &report);
// One line of --json progress.
std::string progressJsonLine(const std::wstring &device, uint32_t percent);
// status --json: the object, indented.
std::string statusJson(const UnitContext *unit, ConnectionOutcome outcome,
                       const std::string &status);

// The paths of the HID interfaces present now.
std::vector<std::wstring> cliInterfacePaths();
// Interfaces that are programming units, held ones included, found without identifying them.
size_t cliUnitCount();
// Opens and identifies every unit connected, one after the other, closes each again, and lists
// them as list prints them.
std::string cliListText(bool json);

// Now as the bench line shows it (local time, "2026-12-08 20:32:18") or, with utc, as the
// records hold it ("2026-12-08T20:32:18Z"); "-" when the clock cannot be read.
std::string cliTimeText(bool utc);

// The log of --log. Each record is opened, appended, synced to the disk and closed by itself,
// so that a log removed or made unwritable meanwhile fails rather than loses it. Safe from
// several threads.
struct RecordLog {
    std::string path; // empty: no log
    std::mutex lock;
};
// Creates the log at path if needed (none with an empty path); false, with a line on standard
// error, when it cannot be opened for appending.
bool logOpen(RecordLog *log, const std::string &path);
// Appends one line; false, with a line on standard error naming the log and the unit, when it
// could not be written whole.
bool logAppend(RecordLog *log, const std::string &line, const std::wstring &unit);

// ---- The front end of each unit (frontend.cpp) ----

// What the commands are told beside --yes and --count.
struct CommandOptions {
    std::wstring device;    // --device: only the unit at this path
    bool reinstall = false; // --reinstall: write an ESC that holds the image's version already
    bool json = false;      // --json: JSON lines instead of text
    std::string log;        // --log FILE: one record per unit handled
    bool all = false;       // watch --all: every unit at once
};

// What the units of one command share.
struct Session {
    CommandOptions options;
    RecordLog log;
    Board board;
};

// One unit's front end state: how its questions are answered, how its progress is shown.
struct CliUnit {
    Session *session = nullptr;
    bool answerYes = false;  // both questions are answered yes without asking
    bool quietBoxes = false; // information boxes are not printed (status --json)
    Progress progress;
};

// The front end of a unit with the given state, which outlives the unit's use.
FrontEnd cliFrontEnd(CliUnit *state);

// One unit that a command handles: its context (large, so on the heap) with a front end of its
// own, closed on every way out. With a path, only the unit there is opened.
struct HandledUnit {
    HandledUnit(Session *session, const std::wstring &path);
    ~HandledUnit();
    const std::wstring path;
    CliUnit state;
    std::unique_ptr<UnitContext> context;
};

// Asks a question on standard error: caption and notice (left out with -q), the question, the
// prompt; true only for a yes word of any language, whatever its case.
bool cliAsk(const wchar_t *caption, const wchar_t *text, uint16_t questionId);

// ---- The commands (commands.cpp, bench.cpp) ----

// The one path of every command that writes: updates the ready unit in its context (or finds
// nothing to do), reads the versions back after a write, and logs the record.
UnitReport updateUnit(UnitContext *unit, CliUnit *state);

int cliStatus(bool json, const CommandOptions &options = {});
int cliList(bool json);
int cliUpdate(bool yes, const CommandOptions &options = {});
// The bench: waits for units and updates each ready one once, one after another or, with
// options.all, every one at once on a thread of its own. count 0: until Ctrl-C.
int cliWatch(bool yes, uint32_t count, const CommandOptions &options = {});
// The --version text.
std::string cliVersionText();

// Parses the command line and runs the command; returns the exit code (main_cli.cpp).
int cliMain(int argc, char **argv);
