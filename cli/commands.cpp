// The commands status, list and update, and the one path by which update and the bench write a
// unit, over the same application as the window programs.
#include "cli/cli.h"

#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/texts.h"
#include "link/connection.h"
#include "link/identify.h"

namespace {
// The exit code of each classification outcome, in the order of its enumeration.
constexpr int OUTCOME_EXIT_CODES[] = {EXIT_NO_UNIT,          EXIT_WRONG_MODE, EXIT_NO_UPDATABLE_ESC,
                                      EXIT_INCOMPATIBLE_ESC, EXIT_OK,         EXIT_NO_UNIT};
static_assert(OUTCOME_UNIT_IN_USE == 5, "one exit code for each classification outcome");

// The version group as the window shows it: heading, then label and version of each line; the
// unit's label is the open unit's product name, else the label's text.
std::string versionLines(const UnitContext *unit) {
    VersionTexts texts;
    versionTexts(unit, &texts);
    std::string lines = utf8Text(dialogText(DIALOG_GROUP_VERSIONS, messageLanguage())) + "\n";
    const std::wstring rows[][2] = {
        {texts.unitLabel != nullptr ? texts.unitLabel : catalogue(MSG_LABEL_UNIT), texts.unit},
        {catalogue(MSG_LABEL_BOOTLOADER), texts.bootloader},
        {catalogue(MSG_LABEL_ESC), texts.esc}};
    for (const auto &row : rows) {
        std::string label = utf8Text(row[0]);
        if (label.size() < 20) {
            label.append(20 - label.size(), ' ');
        }
        lines += "  ";
        lines += label + " " + utf8Text(row[1]) + "\n";
    }
    return lines;
}

// The status box's text for an outcome in a terminal's words: ready, or the message above the
// connection instructions.
std::string statusText(ConnectionOutcome outcome) {
    if (outcome == OUTCOME_READY) {
        return cliMessage(MSG_CLI_READY);
    }
    return utf8Text(catalogue(outcomeMessage(outcome)) + TEXT_PARAGRAPH_BREAK +
                    catalogue(MSG_CLI_INSTRUCTIONS));
}

// The ESC holds the image's version or a newer one, and --yes without --reinstall leaves it.
bool nothingToDo(const UnitContext *unit, const CliUnit *state) {
    uint16_t installed = escFirmwareVersion(&unit->connection);
    return state->answerYes && !state->session->options.reinstall &&
           installed != NO_FIRMWARE_VERSION && installed >= IMAGE_FIRMWARE_VERSION;
}

// Below the no-unit status: why, when every unit found is held by another of our programs.
void explainUnitInUse(ConnectionOutcome outcome) {
    if (outcome == OUTCOME_UNIT_IN_USE) {
        printErr(cliMessage(MSG_CLI_UNIT_IN_USE) + "\n");
    }
}
} // namespace

HandledUnit::HandledUnit(Session *session, const std::wstring &onlyPath)
    : path(onlyPath), context(std::make_unique<UnitContext>(FRESH_UNIT_CONTEXT)) {
    state.session = session;
    context->frontEnd = cliFrontEnd(&state);
    context->onlyPath = path.empty() ? nullptr : path.c_str();
}

HandledUnit::~HandledUnit() {
    closeConnection(&context->connection);
}

UnitReport updateUnit(UnitContext *unit, CliUnit *state) {
    UnitReport report;
    report.path = unit->connection.devicePath;
    // The classification's identification: the versions before, never asked for again.
    report.before = versionsOf(unit);
    report.product = report.before.texts.unitLabel != nullptr ? report.before.texts.unitLabel : L"";
    report.after = report.before;
    if (!nothingToDo(unit, state)) {
        if (state->session->options.json) {
            state->progress.form = PROGRESS_JSON;
            state->progress.device = report.path;
        }
        report.result = appUpdate(unit);
        report.outcome = unitOutcomeOf(report.result.status);
        // After a write, the versions as the unit reports them now, never as assumed: none
        // when it does not answer its identification.
        bool answered = report.outcome != UNIT_UPDATED || identifyUnit(&unit->connection) == 0;
        report.after = versionsOf(unit);
        report.after.known = report.after.known && answered;
    }
    report.record = recordLine(report);
    report.logged = logAppend(&state->session->log, report.record, report.path);
    return report;
}

int cliStatus(bool json, const CommandOptions &options) {
    interruptSetMode(INTERRUPT_EXIT);
    Session session;
    HandledUnit unit(&session, options.device);
    unit.state.quietBoxes = json;
    ConnectionOutcome outcome = appInitialise(unit.context.get()).outcome;
    if (json) {
        printOut(statusJson(unit.context.get(), outcome, statusText(outcome)));
    } else {
        printOut(statusText(outcome) + "\n\n" + versionLines(unit.context.get()));
        if (PLACEHOLDER_BUILD) {
            printOut("\n");
            printOut(cliMessage(MSG_CLI_TEST_BUILD) + "\n");
        }
    }
    explainUnitInUse(outcome);
    appClose(unit.context.get());
    return OUTCOME_EXIT_CODES[outcome];
}

int cliList(bool json) {
    interruptSetMode(INTERRUPT_EXIT);
    printOut(cliListText(json));
    return EXIT_OK;
}

int cliUpdate(bool yes, const CommandOptions &options) {
    interruptSetMode(INTERRUPT_EXIT);
    Session session;
    session.options = options;
    // A log that cannot be written is known before anything is sent.
    if (!logOpen(&session.log, options.log)) {
        return EXIT_USAGE;
    }
    // Which of several units is meant is for the user to say, never for the search. Counting
    // them sends nothing: the unit is identified once, by its classification.
    if (options.device.empty() && cliUnitCount() > 1) {
        printErr(cliMessage(MSG_CLI_SEVERAL_UNITS) + "\n" + cliListText(false));
        return EXIT_USAGE;
    }
    HandledUnit unit(&session, options.device);
    unit.state.answerYes = yes;
    UnitContext *context = unit.context.get();
    ConnectionOutcome outcome = appInitialise(context).outcome;
    if (outcome != OUTCOME_READY) {
        printErr(statusText(outcome) + "\n");
        explainUnitInUse(outcome);
        appClose(context);
        return OUTCOME_EXIT_CODES[outcome];
    }
    if (!options.json && !nothingToDo(context, &unit.state)) {
        printOut(versionLines(context));
    }
    UnitReport report = updateUnit(context, &unit.state);
    int code = EXIT_OK;
    if (report.outcome == UNIT_NOTHING_TO_DO) {
        const FormatArg args[] = {{nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                                  {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
        printErr(cliFormat(MSG_CLI_NOTHING_TO_DO, args, 2) + "\n");
        code = EXIT_NOTHING_TO_DO;
    } else if (report.outcome == UNIT_DECLINED) {
        printErr(cliMessage(MSG_CLI_DECLINED) + "\n");
        code = EXIT_DECLINED;
    } else if (report.outcome == UNIT_FAILED) {
        code = EXIT_UPDATE_FAILED;
    } else if (!options.json) {
        printOut(cliMessage(MSG_UPDATE_SUCCEEDED) + "\n");
    }
    if (options.json) {
        printOut(report.record);
    }
    appClose(context);
    return report.logged ? code : EXIT_LOG_FAILED;
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
