#include "tests/loaders/boot/boot_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "tools/board_sim/frame_codec.h"
#include "tools/testkit/temp_folder.h"

namespace orvane::boottest {

std::vector<std::uint8_t> firmwareBytes(std::size_t count, unsigned seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

std::string hexText(std::uint32_t start, const std::vector<std::uint8_t>& data, bool lowerCase) {
    std::string text;
    char field[8];
    for (std::size_t at = 0; at < data.size(); at += 16) {
        const std::size_t count = std::min<std::size_t>(16, data.size() - at);
        const std::uint32_t address = start + static_cast<std::uint32_t>(at);
        unsigned sum = static_cast<unsigned>(count + (address >> 8) + (address & 0xFF));
        std::snprintf(field, sizeof field, ":%02X%04X", static_cast<unsigned>(count), address);
        text += std::string(field) + "00";
        for (std::size_t i = 0; i < count; ++i) {
            std::snprintf(field, sizeof field, "%02X", data[at + i]);
            text += field;
            sum += data[at + i];
        }
        std::snprintf(field, sizeof field, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += field;
    }
    text += ":00000001FF\n";
    if (lowerCase)
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::vector<std::uint8_t>> sentBodies(const testkit::LineLog& line) {
    std::vector<std::vector<std::uint8_t>> bodies;
    boardsim::FrameDecoder decoder;
    for (const testkit::LineLog::Write& write : line.writes) {
        if (write.baud != BoardLoader::kBootloaderBaud)
            continue;  // the boot commands
        for (std::uint8_t byte : write.bytes) {
            auto event = decoder.feed(byte);
            EXPECT_NE(event, boardsim::FrameDecoder::Event::Error) << decoder.error();
            if (event == boardsim::FrameDecoder::Event::Frame)
                bodies.push_back(decoder.body());
        }
    }
    return bodies;
}

std::uint32_t bodyAddress(const std::vector<std::uint8_t>& body) {
    return body[2] | (std::uint32_t{body[3]} << 8) | (std::uint32_t{body[4]} << 16);
}

}  // namespace orvane::boottest
