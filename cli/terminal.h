// What the command-line program needs of its console; each platform implements it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/messages.h"

enum TerminalStream { TERMINAL_OUT, TERMINAL_ERR };

// Writes UTF-8 text whose lines end in '\n'; a console is written in its own wide form.
void terminalWrite(TerminalStream stream, const std::string &text);
// True when the stream is a terminal (a self-rewriting progress line makes sense there).
bool terminalIsInteractive(TerminalStream stream);
// The width of the terminal in columns; 0 when the stream is no terminal or the width unknown.
uint32_t terminalColumns(TerminalStream stream);
// Reads one line of the answer, without its line end. False at end of input.
bool terminalReadLine(std::string *line);
// Milliseconds of a clock that never jumps, for the time left.
uint64_t terminalNowMs();
// German when the user's language is German, as the window program chooses.
MessageLanguage terminalLanguage();
// Keeps the system from sleeping while on.
void terminalKeepAwake(bool on);

// What Ctrl-C and SIGTERM do.
enum InterruptMode {
    INTERRUPT_EXIT,      // end the program at once with exit code 130
    INTERRUPT_EXIT_LINE, // at a question: end its line on standard error, then as INTERRUPT_EXIT
    INTERRUPT_HOLD,      // the update sends: say once that it goes on, and go on
    INTERRUPT_NOTICE,    // remember it; a waiting watch ends (interruptNoticed)
};
// Installs the handlers; heldNotice is what INTERRUPT_HOLD prints, once, to standard error, on a
// line of its own (on a terminal it first erases the line with the echoed ^C).
void interruptInstall(const std::string &heldNotice);
void interruptSetMode(InterruptMode mode);
// True once Ctrl-C or SIGTERM came in INTERRUPT_NOTICE mode.
bool interruptNoticed();
