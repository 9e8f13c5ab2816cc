#include "platform/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <vector>

namespace orvane {

namespace {

// The terminal's own modes, kept where a signal handler can reach them.
termios gSavedTerminal{};
volatile std::sig_atomic_t gTerminalChanged = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ctrl-C, a kill or a closed terminal window must not leave the user's
// terminal without echo and line editing. tcsetattr is async-signal-safe;
// the signal is then raised again to end the process as it would have.
extern "C" void restoreTerminalAndEnd(int signalNumber) {
    if (gTerminalChanged)
        tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

}  // namespace

// Puts a terminal on standard input into non-canonical, no-echo mode the
// first time a key is looked for, so a single key can be seen without
// Enter, and gives the terminal its modes back at the end or on a signal
// that ends the process. A program that never looks for a key never
// touches the terminal.
struct StdConsole::TerminalMode {
    bool tried = false;
    bool active = false;
    struct sigaction previous[std::size(kEndingSignals)] = {};

    bool ready() {
        if (!tried)
            active = enter();
        tried = true;
        return active;
    }
    bool enter() {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0)
            return false;
        catchEndingSignals();
        gTerminalChanged = 1;
        termios raw = gSavedTerminal;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0)
            return true;
        leave();
        return false;
    }
    void catchEndingSignals() {
        struct sigaction action {};
        action.sa_handler = restoreTerminalAndEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], nullptr, &previous[i]);
            // A signal the user chose to ignore (nohup) stays ignored.
            if (previous[i].sa_handler != SIG_IGN)
                sigaction(kEndingSignals[i], &action, nullptr);
        }
    }
    void leave() {
        if (gTerminalChanged)
            tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
        gTerminalChanged = 0;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            sigaction(kEndingSignals[i], &previous[i], nullptr);
    }
    ~TerminalMode() {
        if (active)
            leave();
    }
};

StdConsole::StdConsole() : terminal_(std::make_unique<TerminalMode>()) {}
StdConsole::~StdConsole() = default;

bool StdConsole::keyWaiting() {
    if (!terminal_->ready())
        return false;
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
}

void StdConsole::readKey() {
    if (!keyWaiting())
        return;
    char key;
    if (read(STDIN_FILENO, &key, 1) < 0)
        return;
}

}  // namespace orvane
