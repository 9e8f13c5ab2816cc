// board-sim: a board with the framed serial bootloader, served on a
// pseudo-terminal that boot reaches through its COM device map.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tools/board_sim/pty_board.h"

namespace {

using orvane::boardsim::Fault;
using orvane::boardsim::FaultSwitch;
using orvane::boardsim::PtyBoardOptions;

constexpr int kLongestTimeLimit = 3600;

void printUsage() {
    std::fputs(
        "Usage: board-sim --dosdevices DIR [options]\n"
        "  --port N            serve as COM N (link comN in DIR), default 1\n"
        "  --flash-out FILE    write the 32768-byte flash to FILE at exit\n"
        "  --stats FILE        write byte counts and board times to FILE at exit\n"
        "  --time-limit S      end after S seconds (default 60, at most 3600)\n"
        "  --silent            start in the application; only the boot command\n"
        "                      02 62 62 03 at the application's rate opens the bootloader\n"
        "  --app-baud B        the application's rate (default 38400)\n"
        "  --wire              pace the line at the host's speed, 10 bits a byte\n"
        "  --erase-ms N        flash erase time per 64-byte block (with --wire)\n"
        "  --write-ms N        flash write time per write frame (with --wire)\n"
        "  --exit-on-reset     end once the reset command has arrived\n"
        "  --read-lag-ms N     leave the host's bytes unread N ms after they arrive\n"
        "  --fault KIND[:CMD[:FROM]]  misbehave on answers to command CMD (hex,\n"
        "                      default all) from its FROM-th frame on (default 0);\n"
        "                      KIND: checksum read-command read-address read-amount\n"
        "                      read-address-amount short-read noise doubled-start\n"
        "                      endless-noise endless-body overlong empty silence vanish\n",
        stderr);
}

bool parseFault(const std::string& text, FaultSwitch& fault) {
    const std::size_t first = text.find(':');
    fault.fault = orvane::boardsim::faultNamed(text.substr(0, first));
    if (fault.fault == Fault::None)
        return false;
    if (first == std::string::npos)
        return true;
    const std::size_t second = text.find(':', first + 1);
    fault.command = static_cast<int>(std::strtol(text.c_str() + first + 1, nullptr, 16));
    if (second != std::string::npos)
        fault.fromFrame = std::atoi(text.c_str() + second + 1);
    return true;
}

bool takeSwitch(const std::string& name, PtyBoardOptions& options) {
    if (name == "--silent")
        return options.board.startSilent = true;
    if (name == "--wire")
        return options.wire = true;
    if (name == "--exit-on-reset")
        return options.exitOnReset = true;
    return false;
}

bool takeValue(const std::string& name, const char* value, PtyBoardOptions& options) {
    FaultSwitch fault;
    if (name == "--dosdevices")
        options.dosdevices = value;
    else if (name == "--port")
        options.port = std::atoi(value);
    else if (name == "--flash-out")
        options.flashOut = value;
    else if (name == "--stats")
        options.statsOut = value;
    else if (name == "--time-limit")
        options.timeLimitSeconds = std::atoi(value);
    else if (name == "--app-baud")
        options.board.applicationBaud = std::atoi(value);
    else if (name == "--erase-ms")
        options.board.eraseMsPerBlock = std::atoi(value);
    else if (name == "--write-ms")
        options.board.writeMsPerFrame = std::atoi(value);
    else if (name == "--read-lag-ms")
        options.readLagMs = std::atoi(value);
    else if (name == "--fault" && parseFault(value, fault))
        options.board.faults.push_back(fault);
    else
        return false;
    return true;
}

bool parse(int argc, char* argv[], PtyBoardOptions& options) {
    for (int i = 1; i < argc; ++i) {
        if (takeSwitch(argv[i], options))
            continue;
        if (i + 1 >= argc || !takeValue(argv[i], argv[i + 1], options))
            return false;
        ++i;
    }
    const bool limitGood =
        options.timeLimitSeconds > 0 && options.timeLimitSeconds <= kLongestTimeLimit;
    const bool lagGood = options.readLagMs >= 0 && options.readLagMs <= 10000;
    return !options.dosdevices.empty() && options.port > 0 && limitGood && lagGood;
}

}  // namespace

int main(int argc, char* argv[]) {
    PtyBoardOptions options;
    if (!parse(argc, argv, options)) {
        printUsage();
        return 2;
    }
    try {
        return orvane::boardsim::servePtyBoard(options);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "board-sim: %s\n", error.what());
        return 2;
    }
}
