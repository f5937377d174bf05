// The commands status, update and watch, over the same application as the window programs.
#include "cli/cli.h"

#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/texts.h"
#include "app/update.h"
#include "link/connection.h"
#include "link/identify.h"
#include "cli/device_watch.h"

#include <nlohmann/json.hpp>

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
StartResult startWindow(UnitContext *unit, bool answerYes, const CommandOptions &options,
                        bool quietBoxes = false, bool watchDevices = false) {
    cliUiReset();
    cliSetAnswerYes(answerYes);
    cliSetQuietBoxes(quietBoxes);
    cliSetWatchDevices(watchDevices);
    appReset(unit);
    unit->onlyPath = options.device.empty() ? nullptr : options.device.c_str();
    return appInitialise(unit);
}

// The ESC holds the image's version or a newer one: there is nothing to write.
bool escAlreadyCurrent(const UnitContext *unit) {
    uint16_t installed = escFirmwareVersion(&unit->connection);
    return installed != NO_FIRMWARE_VERSION && installed >= IMAGE_FIRMWARE_VERSION;
}

// After a written image, the versions as the unit reports them now, never as assumed: null
// when the unit does not answer its identification.
nlohmann::ordered_json readBackVersions(UnitContext *unit) {
    if (!isUnitOpen(&unit->connection) || identifyUnit(&unit->connection) != 0) {
        return nullptr;
    }
    return cliVersionsJson(unit);
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
    VersionTexts texts;
    versionTexts(unit, &texts);
    nlohmann::ordered_json product = nullptr;
    nlohmann::ordered_json device = nullptr;
    if (texts.unitLabel != nullptr) {
        product = utf8Text(texts.unitLabel);
        device = utf8Text(unit->connection.devicePath);
    }
    nlohmann::ordered_json object = {
        {"schema", CLI_JSON_SCHEMA},
        {"outcome", outcomeName(outcome)},
        {"device", device},
        {"product", product},
        {"versions", cliVersionsJson(unit)},
        {"imageVersion", {{"raw", IMAGE_FIRMWARE_VERSION}, {"shown", imageVersionText()}}},
        {"status", utf8Text(statusText(outcome))}};
    return object.dump(2) + "\n";
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

// Logs the record of a unit handled (--log); returns the line --json prints of it, else
// nothing.
std::string loggedRecordLine(const nlohmann::ordered_json &record, bool json) {
    cliLogRecord(record);
    return json ? record.dump() + "\n" : std::string();
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

int cliStatus(bool json, const CommandOptions &options) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    CommandUnit unit;
    ConnectionOutcome outcome = startWindow(unit.get(), false, options, json).outcome;
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

int cliList(bool json) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    printOut(cliListText(cliListUnits(), json));
    return EXIT_OK;
}

int cliUpdate(bool yes, const CommandOptions &options) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    if (options.device.empty()) {
        // Which of several units is meant is for the user to say, never for the search.
        std::vector<ListedUnit> units = cliListUnits();
        if (units.size() > 1) {
            printErr(cliMessage(MSG_CLI_SEVERAL_UNITS) + "\n" + cliListText(units, false));
            return EXIT_USAGE;
        }
    }
    CommandUnit unit;
    ConnectionOutcome outcome = startWindow(unit.get(), yes, options).outcome;
    if (outcome != OUTCOME_READY) {
        printErr(utf8Text(statusText(outcome)) + "\n");
        explainUnitInUse(outcome);
        appClose(unit.get());
        return exitCodeOf(outcome);
    }
    std::wstring path = unit.get()->connection.devicePath;
    VersionTexts texts;
    versionTexts(unit.get(), &texts);
    std::string product = utf8Text(texts.unitLabel);
    nlohmann::ordered_json before = cliVersionsJson(unit.get());
    if (yes && !options.reinstall && escAlreadyCurrent(unit.get())) {
        const FormatArg args[] = {{nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                                  {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
        printErr(cliFormat(MSG_CLI_NOTHING_TO_DO, args, 2) + "\n");
        printOut(loggedRecordLine(
            cliUnitRecord(path, product, before, before, "nothing-to-do", nullptr), options.json));
        appClose(unit.get());
        return EXIT_NOTHING_TO_DO;
    }
    if (!options.json) {
        printOut(versionLines(unit.get()));
    }
    cliUiJsonProgress(options.json ? path : std::wstring());
    UpdateResult result = appUpdate(unit.get());
    cliUiJsonProgress(std::wstring());
    int code = EXIT_OK;
    const char *name = "updated";
    nlohmann::ordered_json after = cliVersionsJson(unit.get());
    if (result.status == UPDATE_FAILED) {
        code = EXIT_UPDATE_FAILED;
        name = "failed";
    } else if (result.status == UPDATE_DECLINED) {
        code = EXIT_DECLINED;
        name = "declined";
        printErr(cliMessage(MSG_CLI_DECLINED) + "\n");
    } else {
        after = readBackVersions(unit.get());
        if (!options.json) {
            printOut(utf8Text(catalogue(MSG_UPDATE_SUCCEEDED)) + "\n");
        }
    }
    printOut(
        loggedRecordLine(cliUnitRecord(path, product, before, after, name, &result), options.json));
    appClose(unit.get());
    return code;
}

std::string cliUpdateBenchUnit(UnitContext *unit, BenchTally *tally,
                               const CommandOptions &options) {
    VersionTexts before;
    versionTexts(unit, &before);
    std::wstring product = unitLabel(before);
    std::wstring path = unit->connection.devicePath;
    nlohmann::ordered_json beforeJson = cliVersionsJson(unit);
    std::wstring result;
    UpdateResult outcome = {UPDATE_DECLINED, 0, 0, 0};
    const char *name = "nothing-to-do";
    nlohmann::ordered_json afterJson = beforeJson;
    if (!options.reinstall && escAlreadyCurrent(unit)) {
        result = cliFormatWide(MSG_CLI_WATCH_NOTHING, nullptr, 0);
    } else {
        cliUiJsonProgress(options.json ? path : std::wstring());
        outcome = appUpdate(unit);
        cliUiJsonProgress(std::wstring());
        if (outcome.status == UPDATE_SUCCEEDED) {
            afterJson = readBackVersions(unit);
            result = cliFormatWide(MSG_CLI_WATCH_UPDATED, nullptr, 0);
            ++tally->updated;
            name = "updated";
        } else {
            std::wstring error = failureLine(outcome);
            const FormatArg errorArg = {error.c_str(), 0};
            result = cliFormatWide(MSG_CLI_WATCH_FAILED, &errorArg, 1);
            ++tally->failed;
            name = "failed";
            afterJson = cliVersionsJson(unit);
        }
    }
    nlohmann::ordered_json record =
        cliUnitRecord(path, utf8Text(product), beforeJson, afterJson, name,
                      outcome.status == UPDATE_DECLINED ? nullptr : &outcome);
    std::string jsonLine = loggedRecordLine(record, options.json);
    if (options.json) {
        return jsonLine;
    }
    VersionTexts after;
    versionTexts(unit, &after);
    // A unit that did not answer after the write shows no version rather than an assumed one.
    const wchar_t *afterEsc =
        outcome.status == UPDATE_SUCCEEDED && afterJson.is_null() ? L"-" : after.esc;
    std::wstring time = wideText(cliTimeText(false));
    std::wstring escLabel = catalogue(MSG_LABEL_ESC);
    const FormatArg args[] = {{time.c_str(), 0}, {product.c_str(), 0}, {escLabel.c_str(), 0},
                              {before.esc, 0},   {afterEsc, 0},        {result.c_str(), 0}};
    return cliFormat(MSG_CLI_WATCH_RESULT, args, 6) + "\n";
}

std::string cliNotReadyLine(ConnectionOutcome outcome, BenchTally *tally) {
    std::wstring time = wideText(cliTimeText(false));
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

int cliWatch(bool yes, uint32_t count, const CommandOptions &options) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    cliUiReset();
    if (!yes && !cliConfirmBench()) {
        return EXIT_DECLINED;
    }
    // Ctrl-C while waiting ends the watch with its summary; during an update it is held.
    cliSetIdleInterrupt(INTERRUPT_NOTICE);
    CommandUnit unit;
    StartResult start = startWindow(unit.get(), true, options, false, true);
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
            printOut(cliUpdateBenchUnit(unit.get(), &tally, options));
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
