#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "loaders/boot/board_loader.h"
#include "tools/board_sim/sim_boot_board.h"
#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"
#include "tools/testkit/temp_folder.h"

namespace orvane::boottest {

// Bytes that look like firmware and differ from the board's old content.
std::vector<std::uint8_t> firmwareBytes(std::size_t count, unsigned seed = 1);

// Intel HEX text for data at start: 16-byte records and an end record.
std::string hexText(std::uint32_t start, const std::vector<std::uint8_t>& data,
                    bool lowerCase = false);
void writeText(const std::string& path, const std::string& text);

// The body of every frame the host wrote, unescaped and without checksum;
// framing faults of the host fail the test.
std::vector<std::vector<std::uint8_t>> sentBodies(const testkit::LineLog& line);
std::uint32_t bodyAddress(const std::vector<std::uint8_t>& body);

// A board that starts in its application, listening at applicationBaud.
inline boardsim::BoardCore::Options silentBoard(int applicationBaud) {
    boardsim::BoardCore::Options options;
    options.startSilent = true;
    options.applicationBaud = applicationBaud;
    return options;
}

// A board whose answers to command (-1: all) go wrong from its fromFrame-th frame on.
inline boardsim::BoardCore::Options faultyBoard(boardsim::Fault fault, int command,
                                                int fromFrame = 0) {
    boardsim::BoardCore::Options options;
    options.faults.push_back({fault, command, fromFrame});
    return options;
}

// Names parameterised cases after their name field in test listings.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

// Everything a BoardLoader needs, on the virtual clock, with the framed
// board on COM1.
struct BoardRig {
    explicit BoardRig(boardsim::BoardCore::Options options = {}) : board(std::move(options)) {
        ports.attach(1, board);
        loader.portNumber = 1;
    }
    testkit::LineLog& line() { return ports.line(1); }
    std::string text() const { return console.text(); }

    testkit::VirtualClock clock;
    testkit::SimPortDirectory ports{clock};
    testkit::MemoryConsole console;
    boardsim::SimBootBoard board;
    BoardLoader loader{ports, clock, console};
};

}  // namespace orvane::boottest
