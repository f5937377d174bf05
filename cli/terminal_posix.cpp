// The terminal on Linux: file descriptors 0 to 2, the locale variables, SIGINT and SIGTERM.
#include "cli/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// Written once before the handlers are installed, only read by them afterwards.
struct Notice {
    char text[512];
    size_t length;
};
Notice gHeld;
Notice gFinishing;

void writeAll(int fd, const char *data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
}

void say(const Notice &notice) {
    int saved = errno;
    writeAll(STDERR_FILENO, notice.text, notice.length);
    errno = saved;
}

// Only async-signal-safe calls in here: the atomics of interruptArrived, write and _exit.
void onInterrupt(int) {
    switch (interruptArrived()) {
    case INTERRUPT_SAY_HELD:
        say(gHeld);
        return;
    case INTERRUPT_SAY_FINISHING:
        say(gFinishing);
        return;
    case INTERRUPT_TAKEN:
        return;
    case INTERRUPT_END_LINE:
        writeAll(STDERR_FILENO, "\n", 1);
        _exit(130);
    case INTERRUPT_END:
        break;
    }
    _exit(130);
}

// The terminal has echoed ^C where the cursor was: that line is erased, and the progress line
// is drawn again below the notice.
void prepare(Notice *notice, const std::string &text) {
    std::string line = isatty(STDERR_FILENO) == 1 ? "\r\033[K" : "\n";
    line += text;
    line += '\n';
    notice->length = line.copy(notice->text, sizeof notice->text);
}
} // namespace

void terminalWrite(TerminalStream stream, const std::string &text) {
    writeAll(stream == TERMINAL_ERR ? STDERR_FILENO : STDOUT_FILENO, text.data(), text.size());
}

bool terminalIsInteractive(TerminalStream stream) {
    return isatty(stream == TERMINAL_ERR ? STDERR_FILENO : STDOUT_FILENO) == 1;
}

uint32_t terminalColumns(TerminalStream stream) {
    struct winsize size = {};
    int fd = stream == TERMINAL_ERR ? STDERR_FILENO : STDOUT_FILENO;
    if (isatty(fd) != 1 || ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

// Byte by byte, so that nothing past the answer's line is taken from a pipe.
bool terminalReadLine(std::string *line) {
    line->clear();
    for (;;) {
        char c = 0;
        ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return !line->empty();
        }
        if (c == '\n') {
            return true;
        }
        line->push_back(c);
    }
}

uint64_t terminalNowMs() {
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// The first of LANGUAGE (a colon-separated list), LC_ALL, LC_MESSAGES and LANG that is set, as
// the window program's toolkit looks them up.
MessageLanguage terminalLanguage() {
    for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value == nullptr || value[0] == '\0') {
            continue;
        }
        std::string first(value, std::strcspn(value, ":"));
        return languageFromTag(first.c_str());
    }
    return LANGUAGE_ENGLISH;
}

// A console program has no session to ask; the system's own policy applies.
void terminalKeepAwake(bool) {}

void interruptInstall(const std::string &heldNotice, const std::string &finishingNotice) {
    prepare(&gHeld, heldNotice);
    prepare(&gFinishing, finishingNotice);
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a waiting watch wakes up
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
