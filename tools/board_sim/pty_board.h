#pragma once

#include <string>

#include "tools/board_sim/board_core.h"

namespace orvane::boardsim {

struct PtyBoardOptions {
    std::string dosdevices;  // folder that gets the comN link to the pseudo-terminal
    int port = 1;
    std::string flashOut;  // the flash is written here at exit, when given
    std::string statsOut;  // counts of the exchange, for the benchmark
    int timeLimitSeconds = 60;
    // Pace both directions as a real line at the host's speed would (10 bits
    // a byte) and let the board spend its flash work time.
    bool wire = false;
    bool exitOnReset = false;  // end once the host has sent the reset command
    // Leave the host's bytes unread this long after they arrive, as a busy
    // board or a slow serial bridge (socat, ser2net) does.
    int readLagMs = 0;
    BoardCore::Options board;
};

// Serves the board on a pseudo-terminal until its time limit, SIGTERM or
// SIGINT, the reset command (when asked) or a Vanish fault. Returns the
// program's exit status.
int servePtyBoard(const PtyBoardOptions& options);

}  // namespace orvane::boardsim
