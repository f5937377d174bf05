// The bench over every unit at once (watch --all): each ready unit is updated on a thread of its
// own, in a context of its own, while this thread watches units come and go.
#include "cli/cli.h"

#include "app/mainwindow.h"
#include "app/status.h"
#include "cli/device_watch.h"
#include "link/hid.h"
#include "link/pause.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
// How long the watch waits for an event before it looks at the updates again.
constexpr uint32_t LOOK_MS = 100;
// A row's decile before its first line.
constexpr uint32_t NOTHING_PRINTED = 0xFFFFFFFFu;

// ---- The board: one progress line per unit being updated, on standard error ----

struct BoardRow {
    std::string label;
    uint32_t percent;
    uint32_t decile; // last printed off a terminal
    bool active;
};

struct Board {
    std::mutex lock;
    std::vector<BoardRow> rows;
    bool interactive;
    size_t drawn; // lines of the block on the terminal now
};

Board gBoard;

std::string rowText(const BoardRow &row) {
    char text[160];
    std::snprintf(text, sizeof text, "%-20s %3u %%", row.label.c_str(), row.percent);
    return text;
}

// Takes the block of progress lines away, so that a line can be printed above it.
void clearBlock() {
    if (gBoard.drawn == 0) {
        return;
    }
    std::string up = "\x1b[";
    up += std::to_string(gBoard.drawn);
    up += 'A';
    std::string text = up;
    for (size_t i = 0; i < gBoard.drawn; ++i) {
        text += "\r\x1b[K\n";
    }
    text += up;
    printErr(text);
    gBoard.drawn = 0;
}

void drawBlock() {
    std::string text;
    size_t lines = 0;
    for (const BoardRow &row : gBoard.rows) {
        if (row.active) {
            text += '\r';
            text += rowText(row);
            text += "\x1b[K\n";
            ++lines;
        }
    }
    printErr(text);
    gBoard.drawn = lines;
}

// A line above the progress lines (results, units that are not ready).
void boardPrint(const std::string &line) {
    std::lock_guard<std::mutex> locked(gBoard.lock);
    if (gBoard.interactive) {
        clearBlock();
        printOut(line);
        drawBlock();
    } else {
        printOut(line);
    }
}

int boardAddRow(const std::string &label) {
    std::lock_guard<std::mutex> locked(gBoard.lock);
    gBoard.rows.push_back(BoardRow{label, 0, NOTHING_PRINTED, true});
    return static_cast<int>(gBoard.rows.size() - 1);
}

void boardEndRow(int row) {
    std::lock_guard<std::mutex> locked(gBoard.lock);
    if (gBoard.interactive) {
        clearBlock();
    }
    gBoard.rows[static_cast<size_t>(row)].active = false;
    if (gBoard.interactive) {
        drawBlock();
    }
}

// ---- The units ----

struct Tracked {
    std::wstring path;
    std::unique_ptr<UnitContext> context;
    std::thread worker;
    std::atomic<bool> done{false};
    bool busy = false;
    bool removed = false; // left while its update ran: handled once the update is over
    BenchTally tally = {0, 0, 0};
    std::string line;
    const CommandOptions *options = nullptr;
};

// The update of one unit, on its own thread with a terminal UI of its own.
void updateOnThread(Tracked *unit, int row) {
    cliUiReset();
    cliSetIdleInterrupt(INTERRUPT_NOTICE);
    cliSetAnswerYes(true);
    cliUiUseBoardRow(row);
    unit->line = cliUpdateBenchUnit(unit->context.get(), &unit->tally, *unit->options);
    boardEndRow(row);
    unit->done = true;
}

struct Bench {
    std::vector<std::unique_ptr<Tracked>> units;
    BenchTally tally = {0, 0, 0};
    uint32_t count = 0;
    uint32_t started = 0; // updates started so far
    const CommandOptions *options = nullptr;
};

Tracked *find(Bench *bench, const wchar_t *path) {
    for (const std::unique_ptr<Tracked> &unit : bench->units) {
        if (sameDevicePath(unit->path.c_str(), path)) {
            return unit.get();
        }
    }
    return nullptr;
}

size_t busyCount(const Bench &bench) {
    size_t busy = 0;
    for (const std::unique_ptr<Tracked> &unit : bench.units) {
        busy += unit->busy ? 1 : 0;
    }
    return busy;
}

// Classifies every unit that is not known yet; a ready one is updated on a thread of its own,
// one that is not ready is reported once and waited out until it is removed.
void takeNewUnits(Bench *bench) {
    for (const std::wstring &path : cliInterfacePaths()) {
        if (find(bench, path.c_str()) != nullptr) {
            continue;
        }
        if (bench->count != 0 && bench->started >= bench->count) {
            return;
        }
        auto unit = std::make_unique<Tracked>();
        unit->path = path;
        unit->options = bench->options;
        unit->context = std::make_unique<UnitContext>(FRESH_UNIT_CONTEXT);
        UnitContext *context = unit->context.get();
        context->onlyPath = unit->path.c_str();
        ConnectionOutcome outcome = classifyConnection(context, TRIGGER_ARRIVAL);
        if (outcome == OUTCOME_NO_UNIT || outcome == OUTCOME_UNIT_IN_USE) {
            // Not a unit, or one that another program holds: looked at again at the next arrival.
            closeConnection(&context->connection);
            continue;
        }
        if (outcome != OUTCOME_READY) {
            boardPrint(cliNotReadyLine(outcome, &bench->tally));
        } else {
            unit->busy = true;
            ++bench->started;
            int row = boardAddRow(utf8Text(path));
            unit->worker = std::thread(updateOnThread, unit.get(), row);
        }
        bench->units.push_back(std::move(unit));
    }
}

// Joins the updates that are over, prints their lines and counts them; a unit that left
// meanwhile is forgotten now.
void collectDone(Bench *bench) {
    for (size_t i = 0; i < bench->units.size();) {
        Tracked *unit = bench->units[i].get();
        if (unit->busy && unit->done) {
            unit->worker.join();
            unit->busy = false;
            boardPrint(unit->line);
            bench->tally.updated += unit->tally.updated;
            bench->tally.failed += unit->tally.failed;
        }
        if (!unit->busy && unit->removed) {
            closeConnection(&unit->context->connection);
            bench->units.erase(bench->units.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
}

void handleEvent(Bench *bench, const DeviceEvent &event) {
    if (event.kind == DEVICE_ARRIVAL) {
        takeNewUnits(bench);
        return;
    }
    if (event.kind != DEVICE_REMOVE_COMPLETE) {
        return;
    }
    Tracked *unit = find(bench, event.path);
    if (unit != nullptr) {
        // Its update, if one runs, finds the unit gone at its next command.
        unit->removed = true;
    }
}

bool countReached(const Bench &bench) {
    return bench.count != 0 && bench.tally.updated >= bench.count;
}
} // namespace

void boardSetProgress(int row, uint32_t percent) {
    if (cliQuiet()) {
        return;
    }
    std::lock_guard<std::mutex> locked(gBoard.lock);
    BoardRow &shown = gBoard.rows[static_cast<size_t>(row)];
    if (percent == shown.percent && shown.decile != NOTHING_PRINTED) {
        return;
    }
    shown.percent = percent;
    if (gBoard.interactive) {
        clearBlock();
        drawBlock();
    } else if (shown.decile == NOTHING_PRINTED || percent / 10 > shown.decile) {
        shown.decile = percent / 10;
        printErr(rowText(shown) + "\n");
    }
}

int cliWatchAll(bool yes, uint32_t count, const CommandOptions &options) {
    cliSetIdleInterrupt(INTERRUPT_EXIT);
    cliUiReset();
    if (!yes && !cliConfirmBench()) {
        return EXIT_DECLINED;
    }
    // Ctrl-C ends the bench once the updates under way are over; it never cuts one off.
    cliSetIdleInterrupt(INTERRUPT_NOTICE);
    if (!deviceWatchStart()) {
        return EXIT_UPDATE_FAILED;
    }
    {
        std::lock_guard<std::mutex> locked(gBoard.lock);
        gBoard.rows.clear();
        gBoard.drawn = 0;
#ifdef _WIN32
        gBoard.interactive = false; // a console without escape sequences: lines at every 10 %
#else
        gBoard.interactive = terminalIsInteractive(TERMINAL_ERR) && !cliQuiet();
#endif
    }
    printOut(cliMessage(MSG_CLI_WATCH_WAITING) + "\n");
    Bench bench;
    bench.count = count;
    bench.options = &options;
    takeNewUnits(&bench);
    bool ended = false;
    for (;;) {
        collectDone(&bench);
        if (ended || countReached(bench)) {
            if (busyCount(bench) == 0) {
                break;
            }
            pauseMs(LOOK_MS);
            continue;
        }
        DeviceEvent event;
        switch (deviceWatchWait(&event, LOOK_MS)) {
        case WATCH_EVENT:
            handleEvent(&bench, event);
            break;
        case WATCH_ENDED:
            ended = true;
            break;
        case WATCH_QUIET:
            break;
        }
    }
    collectDone(&bench);
    for (const std::unique_ptr<Tracked> &unit : bench.units) {
        closeConnection(&unit->context->connection);
    }
    deviceWatchStop();
    printOut(cliBenchSummary(bench.tally));
    return bench.tally.failed > 0 ? EXIT_UPDATE_FAILED : EXIT_OK;
}
