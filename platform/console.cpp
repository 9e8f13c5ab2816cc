#include "platform/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace orvane {
namespace {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

void Console::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    out(vformat(format, args));
    va_end(args);
}

void Console::printErr(const char* format, ...) {
    va_list args;
    va_start(args, format);
    err(vformat(format, args));
    va_end(args);
}

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
