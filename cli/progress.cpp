// The progress of a unit's transfer: its own line, a row of the bench board, or JSON lines.
#include "cli/cli.h"

#include "app/update.h"

#include <cstdio>

namespace {
constexpr uint32_t BAR_WIDTH = 30;
constexpr uint32_t MIN_BAR_WIDTH = 10;
// The width assumed of a terminal that does not tell its own.
constexpr uint32_t DEFAULT_COLUMNS = 80;
// Nothing drawn or printed yet.
constexpr uint32_t NOTHING_SHOWN = 0xFFFFFFFFu;
// On a terminal the line is drawn again when the percentage changes, or the time left after a
// second.
constexpr uint64_t REDRAW_MS = 1000;

// ---- The line ----

std::string timeLeft(uint32_t percent, uint64_t elapsedMs) {
    if (percent == 0 || percent > 100) {
        return "--:--";
    }
    uint64_t leftSeconds = elapsedMs * (100 - percent) / percent / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(leftSeconds / 60),
                  static_cast<unsigned>(leftSeconds % 60));
    return text;
}

// Columns of UTF-8 text: one per character (the catalogue's texts hold no wide characters).
size_t columnsOf(const std::string &text) {
    size_t columns = 0;
    for (char c : text) {
        columns += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u ? 1 : 0;
    }
    return columns;
}

// The text cut to at most columns characters, never inside a character.
std::string cutToColumns(const std::string &text, size_t columns) {
    size_t seen = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0u) != 0x80u && seen++ == columns) {
            return text.substr(0, at);
        }
    }
    return text;
}

// Bar, percentage, time left, then bytes and blocks sent and the rate. The bar narrows first
// when the line is wider than columns (0: any width).
std::string progressText(const Progress &progress, uint32_t percent, uint64_t now, size_t columns) {
    uint64_t elapsedMs = now - progress.startMs;
    uint32_t blocks = progress.updates > 0 ? progress.updates - 1 : 0;
    uint64_t length = progress.imageLength;
    uint64_t bytes = static_cast<uint64_t>(blocks) * BLOCK_SIZE;
    bytes = bytes > length ? length : bytes;
    uint32_t rate = elapsedMs > 0 ? static_cast<uint32_t>(bytes * 1000 / elapsedMs) : 0;
    const FormatArg countArgs[] = {
        {nullptr, static_cast<uint32_t>(bytes)},
        {nullptr, static_cast<uint32_t>(length)},
        {nullptr, blocks},
        {nullptr, static_cast<uint32_t>((length + BLOCK_SIZE - 1) / BLOCK_SIZE)},
        {nullptr, rate}};
    std::string counts = cliFormat(MSG_CLI_PROGRESS_COUNTS, countArgs, 5);
    std::wstring left = wideText(timeLeft(percent, elapsedMs));
    uint32_t barWidth = BAR_WIDTH;
    std::string line;
    for (;;) {
        std::wstring bar = L"[";
        uint32_t filled = percent * barWidth / 100;
        bar.append(filled, L'#');
        bar.append(barWidth - filled, L'-');
        bar += L"]";
        const FormatArg args[] = {{bar.c_str(), 0}, {nullptr, percent}, {left.c_str(), 0}};
        line = cliFormat(MSG_CLI_PROGRESS_LINE, args, 3) + "  " + counts;
        size_t width = columnsOf(line);
        if (columns == 0 || width <= columns || barWidth == MIN_BAR_WIDTH) {
            break;
        }
        size_t over = width - columns;
        barWidth = over >= barWidth - MIN_BAR_WIDTH ? MIN_BAR_WIDTH
                                                    : barWidth - static_cast<uint32_t>(over);
    }
    return columns == 0 ? line : cutToColumns(line, columns);
}

// At most one line per call, and so per block: on a terminal the line is rewritten in place;
// elsewhere a line is printed when the percentage reaches the next ten.
void showLine(Progress *progress, uint32_t percent) {
    ++progress->updates;
    uint64_t now = terminalNowMs();
    if (progress->interactive) {
        if (percent == progress->percent && now - progress->drawnMs < REDRAW_MS) {
            return;
        }
        // One column short of the width: a full line would wrap on some terminals.
        uint32_t columns = terminalColumns(TERMINAL_ERR);
        std::string line =
            progressText(*progress, percent, now, (columns > 0 ? columns : DEFAULT_COLUMNS) - 1);
        // What is left of a longer line before is cleared to the end of the line.
        size_t length = columnsOf(line);
        if (length < progress->length) {
            line.append(progress->length - length, ' ');
        }
        line.insert(line.begin(), '\r');
        printErr(line);
        progress->length = length;
        progress->lineOpen = true;
    } else {
        uint32_t decile = percent / 10;
        if (progress->decile != NOTHING_SHOWN && decile <= progress->decile) {
            return;
        }
        printErr(progressText(*progress, percent, now, 0) + "\n");
        progress->decile = decile;
    }
    progress->percent = percent;
    progress->drawnMs = now;
}

// ---- The board ----

std::string rowText(const Board::Row &row) {
    char text[160];
    std::snprintf(text, sizeof text, "%-20s %3u %%", row.label.c_str(), row.percent);
    return text;
}

// Takes the block of progress rows away, so that a line can be printed above it.
void clearBlock(Board *board) {
    if (!board->interactive || board->drawn == 0) {
        return;
    }
    std::string up = "\x1b[";
    up += std::to_string(board->drawn) + "A";
    std::string text = up;
    for (size_t i = 0; i < board->drawn; ++i) {
        text += "\r\x1b[K\n";
    }
    printErr(text + up);
    board->drawn = 0;
}

void drawBlock(Board *board) {
    if (!board->interactive) {
        return;
    }
    std::string text;
    size_t lines = 0;
    for (const Board::Row &row : board->rows) {
        if (row.active) {
            text += '\r';
            text += rowText(row) + "\x1b[K\n";
            ++lines;
        }
    }
    printErr(text);
    board->drawn = lines;
}

void showRow(Board *board, int row, uint32_t percent) {
    if (cliQuiet()) {
        return;
    }
    std::lock_guard<std::mutex> locked(board->lock);
    Board::Row &shown = board->rows[static_cast<size_t>(row)];
    if (percent == shown.percent && shown.decile != NOTHING_SHOWN) {
        return;
    }
    shown.percent = percent;
    if (board->interactive) {
        clearBlock(board);
        drawBlock(board);
    } else if (shown.decile == NOTHING_SHOWN || percent / 10 > shown.decile) {
        shown.decile = percent / 10;
        printErr(rowText(shown) + "\n");
    }
}

// ---- JSON lines: one for every percentage the update reaches ----

void showJson(Progress *progress, uint32_t percent) {
    if (percent != progress->percent) {
        progress->percent = percent;
        printOut(progressJsonLine(progress->device, percent));
    }
}
} // namespace

void boardPrint(Board *board, const std::string &line) {
    std::lock_guard<std::mutex> locked(board->lock);
    clearBlock(board);
    printOut(line);
    drawBlock(board);
}

int boardAddRow(Board *board, const std::string &label) {
    std::lock_guard<std::mutex> locked(board->lock);
    board->rows.push_back(Board::Row{label, 0, NOTHING_SHOWN, true});
    return static_cast<int>(board->rows.size() - 1);
}

void boardEndRow(Board *board, int row) {
    std::lock_guard<std::mutex> locked(board->lock);
    clearBlock(board);
    board->rows[static_cast<size_t>(row)].active = false;
    drawBlock(board);
}

void progressStart(Progress *progress, const TransferStart *start) {
    progress->percent = NOTHING_SHOWN;
    progress->decile = NOTHING_SHOWN;
    if (progress->form == PROGRESS_LINE) {
        progress->active = !cliQuiet();
        // With -v the reports' lines come between: the line is not rewritten in place.
        progress->interactive = terminalIsInteractive(TERMINAL_ERR) && !cliVerbose();
        progress->lineOpen = false;
        progress->startMs = terminalNowMs();
        progress->length = 0;
        progress->updates = 0;
        progress->imageLength = start->imageLength;
        if (progress->active) {
            printErr(utf8Text(start->text) + "\n");
        }
    }
}

void progressShow(Progress *progress, uint32_t percent) {
    percent = percent > 100 ? 100 : percent;
    switch (progress->form) {
    case PROGRESS_JSON:
        showJson(progress, percent);
        break;
    case PROGRESS_BOARD:
        showRow(progress->board, progress->row, percent);
        break;
    case PROGRESS_LINE:
        if (progress->active) {
            showLine(progress, percent);
        }
        break;
    }
}

void progressEnd(Progress *progress) {
    progressBreak(progress);
    progress->active = false;
}

void progressBreak(Progress *progress) {
    if (progress->lineOpen) {
        printErr("\n");
        progress->lineOpen = false;
    }
}
