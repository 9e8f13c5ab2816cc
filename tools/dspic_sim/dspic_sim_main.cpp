// dspic-sim: a simulated dsPIC30F bootloader on a pseudo-terminal, reachable
// as a COM number through a dosdevices folder. It serves until SIGTERM/SIGINT
// or its time limit, then writes its flash (and what it saw) to files.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/dspic_sim/dspic_bootloader.h"
#include "tools/dspic_sim/pty_board_server.h"
#include "tools/testkit/pty.h"

namespace {

using orvane::dspicsim::BoardOptions;
using orvane::dspicsim::DspicBootloader;
using orvane::dspicsim::PtyBoardServer;
namespace fs = std::filesystem;

volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) {
    stopRequested = 1;
}

struct Settings {
    std::string dosdevices;
    int port = 1;
    double maxSeconds = 60;
    std::string flashOut;
    std::string statsOut;
    PtyBoardServer::Wire wire;
    BoardOptions board;
};

constexpr const char* kUsage =
    "usage: dspic-sim --dosdevices DIR [--port N] [--max-seconds S] [--flash-out FILE]\n"
    "                 [--stats-out FILE] [--paced] [--row-ms MS] [--device-id ID]\n"
    "                 [--version MAJOR.MINOR] [--silent] [--probe-zeros] [--write-ack BYTE]\n"
    "                 [--read-checksum plain|complement|offbyone] [--read-back OFFSET:BYTE]\n"
    "                 [--vanish-after-rows N] [--id-checksum-faults N]\n";

long number(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 0);
}

bool applyBoardOption(const std::string& name, const std::string& value, BoardOptions& board) {
    if (name == "--row-ms") {
        board.rowProgramMs = static_cast<int>(number(value));
    } else if (name == "--device-id") {
        board.deviceId = static_cast<std::uint32_t>(number(value));
    } else if (name == "--version") {
        unsigned major = 0, minor = 0;
        if (std::sscanf(value.c_str(), "%u.%u", &major, &minor) != 2)
            return false;
        board.versionMajor = static_cast<std::uint8_t>(major);
        board.versionMinor = static_cast<std::uint8_t>(minor);
    } else if (name == "--write-ack") {
        board.writeAck = static_cast<std::uint8_t>(number(value));
    } else if (name == "--read-checksum") {
        using Mode = BoardOptions::ReadChecksum;
        if (value != "plain" && value != "complement" && value != "offbyone")
            return false;
        board.readChecksum = value == "plain"        ? Mode::Plain
                             : value == "complement" ? Mode::Complement
                                                     : Mode::OffByOne;
    } else if (name == "--read-back") {
        std::size_t colon = value.find(':');
        if (colon == std::string::npos)
            return false;
        board.readBackOverride = {static_cast<std::uint32_t>(number(value.substr(0, colon))),
                                  static_cast<std::uint8_t>(number(value.substr(colon + 1)))};
    } else if (name == "--vanish-after-rows") {
        board.vanishAfterRows = static_cast<int>(number(value));
    } else if (name == "--id-checksum-faults") {
        board.deviceIdChecksumFaults = static_cast<int>(number(value));
    } else {
        return false;
    }
    return true;
}

bool applyOption(const std::string& name, const std::string& value, Settings& settings) {
    if (name == "--dosdevices")
        settings.dosdevices = value;
    else if (name == "--port")
        settings.port = static_cast<int>(number(value));
    else if (name == "--max-seconds")
        settings.maxSeconds = std::strtod(value.c_str(), nullptr);
    else if (name == "--flash-out")
        settings.flashOut = value;
    else if (name == "--stats-out")
        settings.statsOut = value;
    else
        return applyBoardOption(name, value, settings.board);
    return true;
}

std::optional<Settings> parse(int argc, char** argv) {
    Settings settings;
    settings.board.resetsBeforeAwake = 0;  // no DTR on a pty
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--paced")
            settings.wire.paced = true;
        else if (name == "--silent")
            settings.board.silent = true;
        else if (name == "--probe-zeros")
            settings.board.probeAnswer = {0x00, 0x00, 0x00};
        else if (i + 1 >= argc || !applyOption(name, argv[++i], settings))
            return std::nullopt;
    }
    if (settings.dosdevices.empty() || settings.maxSeconds <= 0)
        return std::nullopt;
    return settings;
}

// Publishes the pty as comN; the rename makes the entry appear whole.
bool publish(const std::string& slave, const fs::path& entry) {
    fs::path temporary = entry.string() + ".new";
    std::error_code ec;
    fs::remove(temporary, ec);
    fs::create_symlink(slave, temporary, ec);
    if (!ec)
        fs::rename(temporary, entry, ec);
    return !ec;
}

void writeResults(const Settings& settings, const DspicBootloader& board, std::uint64_t dropped) {
    if (!settings.flashOut.empty()) {
        auto image = board.flashImage();
        std::ofstream(settings.flashOut, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
    }
    std::ofstream stats;
    if (!settings.statsOut.empty())
        stats.open(settings.statsOut);
    stats << "bytes_from_host " << board.bytesReceived() << "\nbytes_to_host " << board.bytesSent()
          << "\nrows_programmed " << board.rowsProgrammed() << "\ndropped " << dropped << "\n";
    for (const auto& fault : board.faults()) {
        stats << "fault " << fault << "\n";
        std::cerr << "dspic-sim: " << fault << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Settings> settings = parse(argc, argv);
    if (!settings) {
        std::cerr << kUsage;
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = requestStop;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);

    orvane::testkit::PseudoTerminal pty;
    DspicBootloader board(settings->board);
    PtyBoardServer server(board, pty, settings->wire);
    fs::path entry = fs::path(settings->dosdevices) / ("com" + std::to_string(settings->port));
    if (!publish(pty.slavePath(), entry)) {
        std::cerr << "dspic-sim: cannot create " << entry << "\n";
        return 2;
    }
    auto limit = std::chrono::duration<double>(settings->maxSeconds);
    server.serve(std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(limit),
                 stopRequested);
    std::error_code ec;
    fs::remove(entry, ec);
    writeResults(*settings, board, server.droppedBytes());
    return board.faults().empty() ? 0 : 3;
}
