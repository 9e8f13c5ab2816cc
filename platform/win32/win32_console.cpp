// The loaders' console on Windows. Progress lines end in a carriage return,
// which the console itself handles; the key press that ends a phase early
// comes from the console keyboard (_kbhit, _getch).
#include <conio.h>
#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace orvane {

// Whether standard input is the console's keyboard: piped or redirected
// input is never looked at, so a script's input stays its own.
struct StdConsole::TerminalMode {
    bool keyboard = false;

    TerminalMode() {
        DWORD mode = 0;
        keyboard = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    }
};

StdConsole::StdConsole() : terminal_(std::make_unique<TerminalMode>()) {}
StdConsole::~StdConsole() = default;

bool StdConsole::keyWaiting() {
    return terminal_->keyboard && _kbhit() != 0;
}

void StdConsole::readKey() {
    if (!keyWaiting())
        return;
    // Function and arrow keys arrive as a prefix code and a second code:
    // take both, so that one key press ends one phase only.
    constexpr int kFunctionKeyPrefix = 0x00;
    constexpr int kExtendedKeyPrefix = 0xE0;
    int key = _getch();
    if (key == kFunctionKeyPrefix || key == kExtendedKeyPrefix)
        _getch();
}

}  // namespace orvane
