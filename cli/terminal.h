// What the command-line program needs of its console; each platform implements it. What Ctrl-C
// and SIGTERM do is decided the same way on every platform (cli/interrupt.cpp).
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
// Keeps the system from sleeping while on; each thread that sends to a unit asks for itself.
void terminalKeepAwake(bool on);

// Installs the handlers of Ctrl-C and SIGTERM, which act as interruptArrived says. heldNotice is
// printed for INTERRUPT_SAY_HELD, finishingNotice for INTERRUPT_SAY_FINISHING, each on a line of
// its own (on a terminal the line with the echoed ^C is erased first).
void interruptInstall(const std::string &heldNotice, const std::string &finishingNotice);

// ---- Ctrl-C and SIGTERM (cli/interrupt.cpp): the program's signal state ----

// What a Ctrl-C does while no unit sends.
enum InterruptMode {
    INTERRUPT_EXIT,      // end the program at once with exit code 130
    INTERRUPT_EXIT_LINE, // at a question: end its line on standard error, then as INTERRUPT_EXIT
    INTERRUPT_NOTICE,    // a bench: remember it; the bench starts no new update and ends
};
void interruptSetMode(InterruptMode mode); // INTERRUPT_NOTICE forgets an earlier Ctrl-C
InterruptMode interruptMode();

// One unit more, or one fewer, sends its update: while any does, no Ctrl-C ends the program,
// since an update cut off leaves its ESC without firmware.
void interruptSending(bool on);

enum InterruptAction {
    INTERRUPT_END,           // exit with code 130 now
    INTERRUPT_END_LINE,      // end the question's line, then exit with code 130
    INTERRUPT_SAY_HELD,      // update: say that the update goes on (once per update)
    INTERRUPT_SAY_FINISHING, // bench: say that the updates under way are finished (each time)
    INTERRUPT_TAKEN,         // remembered, or held without a word
};
// A Ctrl-C or SIGTERM came: records it and says what the handler does. Async-signal-safe.
InterruptAction interruptArrived();
// True once a Ctrl-C came in INTERRUPT_NOTICE mode.
bool interruptNoticed();
// True once such a Ctrl-C came while a unit was sending: the bench ends with exit code 130.
bool interruptCameWhileSending();
