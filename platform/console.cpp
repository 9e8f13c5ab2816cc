#include "platform/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace orvane {

// Puts a terminal on standard input into non-canonical, no-echo mode for the
// life of the console, so a single key can be seen without Enter.
struct StdConsole::TerminalMode {
    termios saved{};
    bool active = false;

    TerminalMode() {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0)
            return;
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~TerminalMode() {
        if (active)
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
};

StdConsole::StdConsole() : terminal_(std::make_unique<TerminalMode>()) {}
StdConsole::~StdConsole() = default;

void StdConsole::out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void StdConsole::err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool StdConsole::keyWaiting() {
    if (!terminal_->active)
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
