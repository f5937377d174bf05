// The commands status, update and watch, over the same application as the window programs.
#include "cli/cli.h"

#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/texts.h"
#include "app/update.h"
#include "link/connection.h"
#include "cli/device_watch.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <memory>

namespace {
int exitCodeOf(ConnectionOutcome outcome) {
    switch (outcome) {
    case OUTCOME_NO_UNIT:
    case OUTCOME_UNIT_IN_USE:
        return EXIT_NO_UNIT;
    case OUTCOME_WRONG_MODE:
        return EXIT_WRONG_MODE;
    case OUTCOME_NO_UPDATABLE_ESC:
        return EXIT_NO_UPDATABLE_ESC;
    case OUTCOME_INCOMPATIBLE_ESC:
        return EXIT_INCOMPATIBLE_ESC;
    case OUTCOME_READY:
        break;
    }
    return EXIT_OK;
}

const char *outcomeName(ConnectionOutcome outcome) {
    switch (outcome) {
    case OUTCOME_NO_UNIT:
    case OUTCOME_UNIT_IN_USE:
        return "no-unit";
    case OUTCOME_WRONG_MODE:
        return "wrong-mode";
    case OUTCOME_NO_UPDATABLE_ESC:
        return "no-updatable-esc";
    case OUTCOME_INCOMPATIBLE_ESC:
        return "incompatible-esc";
    case OUTCOME_READY:
        break;
    }
    return "ready";
}

// The main window's start-up in the command's context: labels, registration, the first
// classification.
StartResult startWindow(UnitContext *unit, bool answerYes, bool quietBoxes = false,
                        bool watchDevices = false) {
    cliUiReset();
    cliSetAnswerYes(answerYes);
    cliSetQuietBoxes(quietBoxes);
    cliSetWatchDevices(watchDevices);
    appReset(unit);
    return appInitialise(unit);
}

std::wstring catalogue(uint16_t id) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(id, text, MESSAGE_BUFFER_SIZE);
    return text;
}

// The unit's label as the window shows it: the open unit's product name, else the label's text.
std::wstring unitLabel(const VersionTexts &texts) {
    return texts.unitLabel != nullptr ? std::wstring(texts.unitLabel) : catalogue(MSG_LABEL_UNIT);
}

// The version group as the window shows it: heading, then label and version of each line.
std::string versionLines(const UnitContext *unit) {
    VersionTexts texts;
    versionTexts(unit, &texts);
    std::string heading = utf8Text(dialogText(DIALOG_GROUP_VERSIONS, messageLanguage()));
    std::string lines = heading + "\n";
    const std::wstring rows[][2] = {{unitLabel(texts), texts.unit},
                                    {catalogue(MSG_LABEL_BOOTLOADER), texts.bootloader},
                                    {catalogue(MSG_LABEL_ESC), texts.esc}};
    for (const auto &row : rows) {
        std::string label = utf8Text(row[0]);
        if (label.size() < 20) {
            label.append(20 - label.size(), ' ');
        }
        lines += "  ";
        lines += label;
        lines += " ";
        lines += utf8Text(row[1]);
        lines += "\n";
    }
    return lines;
}

// The status box's text for an outcome in a terminal's words: ready, or the message above the
// connection instructions.
std::wstring statusText(ConnectionOutcome outcome) {
    if (outcome == OUTCOME_READY) {
        return catalogue(MSG_CLI_READY);
    }
    std::wstring text = catalogue(outcomeMessage(outcome));
    text += TEXT_PARAGRAPH_BREAK;
    text += catalogue(MSG_CLI_INSTRUCTIONS);
    return text;
}

std::string imageVersionText() {
    wchar_t text[32];
    const FormatArg args[] = {{nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                              {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
    formatText(text, 32, TEXT_VERSION_PAIR_FORMAT, args, 2);
    return utf8Text(text);
}

// The keys in the order the interface names them.
std::string statusJson(const UnitContext *unit, ConnectionOutcome outcome) {
    const UnitConnection *connection = &unit->connection;
    VersionTexts texts;
    versionTexts(unit, &texts);
    nlohmann::ordered_json product = nullptr;
    if (texts.unitLabel != nullptr) {
        product = utf8Text(texts.unitLabel);
    }
    auto version = [](uint32_t raw, const wchar_t *shown) {
        return nlohmann::ordered_json{{"raw", raw}, {"shown", utf8Text(shown)}};
    };
    nlohmann::ordered_json object = {
        {"outcome", outcomeName(outcome)},
        {"product", product},
        {"versions",
         {{"unit", version(connection->unitFirmwareVersion, texts.unit)},
          {"escBootloader", version(escBootloaderVersion(connection), texts.bootloader)},
          {"escFirmware", version(escFirmwareVersion(connection), texts.esc)}}},
        {"imageVersion", {{"raw", IMAGE_FIRMWARE_VERSION}, {"shown", imageVersionText()}}},
        {"status", utf8Text(statusText(outcome))}};
    return object.dump(2) + "\n";
}

std::string clockText() {
    std::time_t now = std::time(nullptr);
    char text[32];
    std::tm *local = std::localtime(&now);
    if (local == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local) == 0) {
        return "-";
    }
    return text;
}

std::wstring wide(const std::string &ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// A failed update's box text on one line: its lines joined by spaces.
std::wstring failureLine(const UpdateResult &failure) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    updateFailureText(&failure, text, MESSAGE_BUFFER_SIZE);
    std::wstring line;
    for (const wchar_t *at = text; *at != L'\0'; ++at) {
        if (*at == L'\n') {
            line.push_back(L' ');
        } else if (*at != L'\r') {
            line.push_back(*at);
        }
    }
    return line;
}

// Below the no-unit status: why, when every unit found is held by another of our programs.
void explainUnitInUse(ConnectionOutcome outcome) {
    if (outcome == OUTCOME_UNIT_IN_USE) {
        printErr(cliMessage(MSG_CLI_UNIT_IN_USE) + "\n");
    }
}

bool unitThereButNotReady(ConnectionOutcome outcome) {
    return outcome == OUTCOME_WRONG_MODE || outcome == OUTCOME_NO_UPDATABLE_ESC ||
           outcome == OUTCOME_INCOMPATIBLE_ESC;
}

// The context of the command's one unit: large, so it lives on the heap, and closed on every
// way out of the command.
struct CommandUnit {
    std::unique_ptr<UnitContext> context;
    CommandUnit() : context(new UnitContext(FRESH_UNIT_CONTEXT)) {}
    ~CommandUnit() {
        closeConnection(&context->connection);
    }
    UnitContext *get() {
        return context.get();
    }
};
} // namespace

int cliStatus(bool json) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    CommandUnit unit;
    ConnectionOutcome outcome = startWindow(unit.get(), false, json).outcome;
    if (json) {
        printOut(statusJson(unit.get(), outcome));
    } else {
        printOut(utf8Text(statusText(outcome)) + "\n\n" + versionLines(unit.get()));
        if (PLACEHOLDER_BUILD) {
            printOut("\n");
            printOut(cliMessage(MSG_CLI_TEST_BUILD) + "\n");
        }
    }
    explainUnitInUse(outcome);
    appClose(unit.get());
    return exitCodeOf(outcome);
}

int cliUpdate(bool yes) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    CommandUnit unit;
    ConnectionOutcome outcome = startWindow(unit.get(), yes).outcome;
    if (outcome != OUTCOME_READY) {
        printErr(utf8Text(statusText(outcome)) + "\n");
        explainUnitInUse(outcome);
        appClose(unit.get());
        return exitCodeOf(outcome);
    }
    printOut(versionLines(unit.get()));
    UpdateResult result = appUpdate(unit.get());
    int code = EXIT_OK;
    if (result.status == UPDATE_FAILED) {
        code = EXIT_UPDATE_FAILED;
    } else if (result.status == UPDATE_DECLINED) {
        code = EXIT_DECLINED;
        printErr(cliMessage(MSG_CLI_DECLINED) + "\n");
    } else {
        printOut(utf8Text(catalogue(MSG_UPDATE_SUCCEEDED)) + "\n");
    }
    appClose(unit.get());
    return code;
}

std::string cliUpdateBenchUnit(UnitContext *unit, BenchTally *tally) {
    VersionTexts before;
    versionTexts(unit, &before);
    std::wstring product = unitLabel(before);
    UpdateResult outcome = appUpdate(unit);
    std::wstring result;
    if (outcome.status == UPDATE_SUCCEEDED) {
        result = cliFormatWide(MSG_CLI_WATCH_UPDATED, nullptr, 0);
        ++tally->updated;
    } else {
        std::wstring error = failureLine(outcome);
        const FormatArg errorArg = {error.c_str(), 0};
        result = cliFormatWide(MSG_CLI_WATCH_FAILED, &errorArg, 1);
        ++tally->failed;
    }
    VersionTexts after;
    versionTexts(unit, &after);
    std::wstring time = wide(clockText());
    std::wstring escLabel = catalogue(MSG_LABEL_ESC);
    const FormatArg args[] = {{time.c_str(), 0}, {product.c_str(), 0}, {escLabel.c_str(), 0},
                              {before.esc, 0},   {after.esc, 0},       {result.c_str(), 0}};
    return cliFormat(MSG_CLI_WATCH_RESULT, args, 6) + "\n";
}

std::string cliNotReadyLine(ConnectionOutcome outcome, BenchTally *tally) {
    std::wstring time = wide(clockText());
    std::wstring message = catalogue(outcomeMessage(outcome));
    const FormatArg args[] = {{time.c_str(), 0}, {message.c_str(), 0}};
    ++tally->notReady;
    return cliFormat(MSG_CLI_WATCH_NOT_READY, args, 2) + "\n";
}

std::string cliBenchSummary(const BenchTally &tally) {
    const FormatArg args[] = {
        {nullptr, tally.updated}, {nullptr, tally.failed}, {nullptr, tally.notReady}};
    return cliFormat(MSG_CLI_WATCH_SUMMARY, args, 3) + "\n";
}

bool cliConfirmBench() {
    wchar_t caption[MESSAGE_BUFFER_SIZE];
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_IMPORTANT_CAPTION, caption, MESSAGE_BUFFER_SIZE);
    loadMessage(MSG_IMPORTANT, text, MESSAGE_BUFFER_SIZE);
    appendText(text, MESSAGE_BUFFER_SIZE, TEXT_PARAGRAPH_BREAK);
    wchar_t holds[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_CLI_WATCH_CONFIRM, holds, MESSAGE_BUFFER_SIZE);
    appendText(text, MESSAGE_BUFFER_SIZE, holds);
    if (!cliAsk(caption, text, MSG_CLI_ASK_UPDATE)) {
        printErr(cliMessage(MSG_CLI_DECLINED) + "\n");
        return false;
    }
    return true;
}

int cliWatch(bool yes, uint32_t count) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    cliUiReset();
    if (!yes && !cliConfirmBench()) {
        return EXIT_DECLINED;
    }
    // Ctrl-C while waiting ends the watch with its summary; during an update it is held.
    cliSetIdleInterrupt(INTERRUPT_NOTICE);
    CommandUnit unit;
    StartResult start = startWindow(unit.get(), true, false, true);
    if (!start.registered) {
        cliSetWatchDevices(false);
        return EXIT_UPDATE_FAILED;
    }
    printOut(cliMessage(MSG_CLI_WATCH_WAITING) + "\n");
    BenchTally tally = {0, 0, 0};
    // A unit updated stays open until it is removed; until then it never counts again.
    bool updatedStillThere = false;
    bool classified = true;
    ConnectionOutcome outcome = start.outcome;
    while (count == 0 || tally.updated < count) {
        bool open = isUnitOpen(&unit.get()->connection);
        if (!open) {
            updatedStillThere = false;
        }
        if (classified && outcome == OUTCOME_READY && open && !updatedStillThere) {
            printOut(cliUpdateBenchUnit(unit.get(), &tally));
            updatedStillThere = isUnitOpen(&unit.get()->connection);
            classified = false;
            continue;
        }
        if (classified && unitThereButNotReady(outcome) && !open) {
            printOut(cliNotReadyLine(outcome, &tally));
        }
        DeviceEvent event;
        if (!deviceWatchNext(&event)) {
            break;
        }
        // Only an arrival that found no unit open classifies anew.
        DeviceEventResult handled = appDeviceEvent(unit.get(), &event);
        classified = handled.classified;
        outcome = handled.outcome;
    }
    appClose(unit.get());
    cliSetWatchDevices(false);
    printOut(cliBenchSummary(tally));
    return tally.failed > 0 ? EXIT_UPDATE_FAILED : EXIT_OK;
}

std::string cliVersionText() {
    const FormatArg args[] = {{L"quillar-updater-cli", 0},
                              {nullptr, QUILLAR_PROGRAM_VERSION_MAJOR},
                              {nullptr, QUILLAR_PROGRAM_VERSION_MINOR},
                              {nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                              {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
    std::string text = cliFormat(MSG_CLI_VERSION, args, 5);
    return PLACEHOLDER_BUILD ? text + " " + utf8Text(TEXT_TEST_BUILD) : text;
}
