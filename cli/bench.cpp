// The bench of watch and watch --all: waits for units, and updates every ready one once until it
// is removed, each in a context of its own. watch updates one after another on this thread;
// --all updates every unit at once, each on a thread of its own, while this one watches units
// come and go.
#include "cli/cli.h"

#include "app/messages.h"
#include "app/status.h"
#include "app/texts.h"
#include "cli/device_watch.h"
#include "link/connection.h"
#include "link/pause.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {
// How long the watch waits for an event before it looks at the updates again.
constexpr uint32_t LOOK_MS = 100;

struct Tracked {
    Tracked(Session *session, const std::wstring &path) : unit(session, path) {}
    HandledUnit unit;
    std::thread worker;
    std::atomic<bool> done{false};
    bool busy = false;
    bool removed = false; // left while its update ran: forgotten once the update is over
    UnitReport report;
};

struct Bench {
    Session *session;
    uint32_t count; // 0: no end but Ctrl-C
    std::vector<std::unique_ptr<Tracked>> units;
    uint32_t busy = 0;
    uint32_t updated = 0;
    uint32_t failed = 0;
    uint32_t notReady = 0;
    bool logFailed = false;
    bool watchEnded = false;
};

// A failed update's box text on one line: its lines joined by spaces.
std::wstring failureLine(const UpdateResult &failure) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    updateFailureText(&failure, text, MESSAGE_BUFFER_SIZE);
    std::wstring line = text;
    line.erase(std::remove(line.begin(), line.end(), L'\r'), line.end());
    std::replace(line.begin(), line.end(), L'\n', L' ');
    return line;
}

// The bench's line of a unit handled.
std::string benchLine(const UnitReport &report) {
    std::wstring result;
    if (report.outcome == UNIT_UPDATED) {
        result = catalogue(MSG_CLI_WATCH_UPDATED);
    } else if (report.outcome == UNIT_FAILED) {
        std::wstring error = failureLine(report.result);
        const FormatArg errorArg = {error.c_str(), 0};
        result = cliFormatWide(MSG_CLI_WATCH_FAILED, &errorArg, 1);
    } else {
        result = catalogue(MSG_CLI_WATCH_NOTHING);
    }
    // A unit that did not answer after the write shows no version rather than an assumed one.
    const wchar_t *afterEsc =
        report.outcome == UNIT_UPDATED && !report.after.known ? L"-" : report.after.texts.esc;
    std::wstring time = wideText(cliTimeText(false));
    std::wstring escLabel = catalogue(MSG_LABEL_ESC);
    const FormatArg args[] = {{time.c_str(), 0},     {report.product.c_str(), 0},
                              {escLabel.c_str(), 0}, {report.before.texts.esc, 0},
                              {afterEsc, 0},         {result.c_str(), 0}};
    return cliFormat(MSG_CLI_WATCH_RESULT, args, 6) + "\n";
}

// The line of a unit that is there but not ready.
std::string notReadyLine(ConnectionOutcome outcome) {
    std::wstring time = wideText(cliTimeText(false));
    std::wstring message = catalogue(outcomeMessage(outcome));
    const FormatArg args[] = {{time.c_str(), 0}, {message.c_str(), 0}};
    return cliFormat(MSG_CLI_WATCH_NOT_READY, args, 2) + "\n";
}

bool ending(const Bench &bench) {
    return bench.watchEnded || bench.logFailed || interruptNoticed() ||
           (bench.count != 0 && bench.updated >= bench.count);
}

// Another update may start beside those under way and those about to start: the bench goes on,
// the count is not reached by them and the updates done, and without --all none runs.
bool mayStart(const Bench &bench, uint32_t starting) {
    uint32_t busy = bench.busy + starting;
    return !ending(bench) && (bench.count == 0 || bench.updated + busy < bench.count) &&
           (bench.session->options.all || busy == 0);
}

void runUpdate(Tracked *tracked) {
    CliUnit *state = &tracked->unit.state;
    tracked->report = updateUnit(tracked->unit.context.get(), state);
    if (state->progress.form == PROGRESS_BOARD) {
        boardEndRow(state->progress.board, state->progress.row);
    }
    tracked->done = true;
}

void startUpdate(Bench *bench, Tracked *tracked) {
    tracked->busy = true;
    ++bench->busy;
    Session *session = bench->session;
    if (!session->options.all) {
        runUpdate(tracked);
        return;
    }
    Progress *progress = &tracked->unit.state.progress;
    if (!session->options.json) {
        progress->form = PROGRESS_BOARD;
        progress->board = &session->board;
        progress->row = boardAddRow(&session->board, utf8Text(tracked->unit.path));
    }
    tracked->worker = std::thread(runUpdate, tracked);
}

// Classifies every unit that is not known yet; the ready ones are updated, each that is not ready
// is reported once and waited out until it is removed. All are classified before any update
// starts: a Ctrl-C meanwhile finds every one of them under way or none.
void takeNewUnits(Bench *bench) {
    const std::wstring &device = bench->session->options.device;
    std::vector<Tracked *> ready;
    for (const std::wstring &path : cliInterfacePaths()) {
        bool known = false;
        for (const std::unique_ptr<Tracked> &tracked : bench->units) {
            known = known || sameDevicePath(tracked->unit.path.c_str(), path.c_str());
        }
        if (known || (!device.empty() && !sameDevicePath(device.c_str(), path.c_str()))) {
            continue;
        }
        if (!mayStart(*bench, static_cast<uint32_t>(ready.size()))) {
            break;
        }
        auto tracked = std::make_unique<Tracked>(bench->session, path);
        tracked->unit.state.answerYes = true;
        tracked->unit.state.quietBoxes = bench->session->options.all;
        ConnectionOutcome outcome =
            classifyConnection(tracked->unit.context.get(), TRIGGER_ARRIVAL);
        if (outcome == OUTCOME_NO_UNIT || outcome == OUTCOME_UNIT_IN_USE) {
            // Not a unit, or one that another program holds: looked at again at the next arrival.
            continue;
        }
        if (outcome == OUTCOME_READY) {
            ready.push_back(tracked.get());
        } else {
            ++bench->notReady;
            boardPrint(&bench->session->board, notReadyLine(outcome));
        }
        bench->units.push_back(std::move(tracked));
    }
    for (Tracked *tracked : ready) {
        startUpdate(bench, tracked);
    }
}

// Prints and counts the updates that are over; a unit that left meanwhile is forgotten now.
// True when one was over.
bool collectDone(Bench *bench) {
    bool collected = false;
    for (size_t i = 0; i < bench->units.size();) {
        Tracked *tracked = bench->units[i].get();
        if (tracked->busy && tracked->done) {
            if (tracked->worker.joinable()) {
                tracked->worker.join();
            }
            tracked->busy = false;
            --bench->busy;
            collected = true;
            const UnitReport &report = tracked->report;
            bool json = bench->session->options.json;
            boardPrint(&bench->session->board, json ? report.record : benchLine(report));
            bench->updated += report.outcome == UNIT_UPDATED ? 1 : 0;
            bench->failed += report.outcome == UNIT_FAILED ? 1 : 0;
            bench->logFailed = bench->logFailed || !report.logged;
        }
        if (!tracked->busy && tracked->removed) {
            bench->units.erase(bench->units.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    return collected;
}

void handleEvent(Bench *bench, const DeviceEvent &event) {
    if (event.kind == DEVICE_ARRIVAL) {
        takeNewUnits(bench);
        return;
    }
    for (const std::unique_ptr<Tracked> &tracked : bench->units) {
        if (event.kind == DEVICE_REMOVE_COMPLETE &&
            sameDevicePath(tracked->unit.path.c_str(), event.path)) {
            // Its update, if one runs, finds the unit gone at its next command.
            tracked->removed = true;
        }
    }
}

// The bench's one question (false: declined): the window's notice, and that the answer holds.
bool confirmBench() {
    std::wstring text =
        catalogue(MSG_IMPORTANT) + TEXT_PARAGRAPH_BREAK + catalogue(MSG_CLI_WATCH_CONFIRM);
    if (!cliAsk(catalogue(MSG_IMPORTANT_CAPTION).c_str(), text.c_str(), MSG_CLI_ASK_UPDATE)) {
        printErr(cliMessage(MSG_CLI_DECLINED) + "\n");
        return false;
    }
    return true;
}
} // namespace

int cliWatch(bool yes, uint32_t count, const CommandOptions &options) {
    interruptSetMode(INTERRUPT_EXIT);
    Session session;
    session.options = options;
    if (!logOpen(&session.log, options.log)) {
        return EXIT_USAGE;
    }
    if (!yes && !confirmBench()) {
        return EXIT_DECLINED;
    }
    // From now on Ctrl-C ends the bench: at once while no unit sends, else once the updates
    // under way are over; it never cuts one off.
    interruptSetMode(INTERRUPT_NOTICE);
    if (!deviceWatchStart()) {
        return EXIT_UPDATE_FAILED;
    }
#ifndef _WIN32 // a console without escape sequences gets lines at every 10 %
    session.board.interactive = options.all && terminalIsInteractive(TERMINAL_ERR) && !cliQuiet();
#endif
    printOut(cliMessage(MSG_CLI_WATCH_WAITING) + "\n");
    Bench bench = {&session, count, {}};
    takeNewUnits(&bench);
    for (;;) {
        if (collectDone(&bench)) {
            takeNewUnits(&bench);
        }
        if (ending(bench)) {
            if (bench.busy == 0) {
                break;
            }
            pauseMs(LOOK_MS);
            continue;
        }
        DeviceEvent event;
        WatchWait waited = deviceWatchWait(&event, LOOK_MS);
        if (waited == WATCH_EVENT) {
            handleEvent(&bench, event);
        }
        bench.watchEnded = waited == WATCH_ENDED;
    }
    deviceWatchStop();
    bench.units.clear();
    const FormatArg args[] = {
        {nullptr, bench.updated}, {nullptr, bench.failed}, {nullptr, bench.notReady}};
    printOut(cliFormat(MSG_CLI_WATCH_SUMMARY, args, 3) + "\n");
    if (bench.logFailed) {
        return EXIT_LOG_FAILED;
    }
    if (interruptCameWhileSending()) {
        return EXIT_INTERRUPTED;
    }
    return bench.failed > 0 ? EXIT_UPDATE_FAILED : EXIT_OK;
}
