#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/console.h"

namespace orvane::kestreltest {

// One Intel HEX record with a correct checksum.
inline std::string HexRecord(std::uint32_t address, int type,
                             const std::vector<std::uint8_t>& bytes) {
    unsigned sum = static_cast<unsigned>(bytes.size()) + ((address >> 8) & 0xFF) +
                   (address & 0xFF) + static_cast<unsigned>(type);
    std::string line =
        formatText(":%02X%04X%02X", static_cast<unsigned>(bytes.size()), address & 0xFFFF, type);
    for (auto b : bytes) {
        line += formatText("%02X", b);
        sum += b;
    }
    return line + formatText("%02X", (0x100 - (sum & 0xFF)) & 0xFF);
}

inline const std::string kEndRecord = ":00000001FF";

// 24-bit instruction words by program address.
using Words = std::map<std::uint32_t, std::uint32_t>;

// A HEX file as a dsPIC tool chain writes it: each word as four bytes at
// twice its program address, the fourth (phantom) byte given as 0x5A here
// so that a loader sending it instead of 0x00 is caught.
inline std::string HexForWords(const Words& words) {
    std::string text = HexRecord(0, 4, {0x00, 0x00}) + "\n";
    for (auto [address, word] : words) {
        std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(word),
                                        static_cast<std::uint8_t>(word >> 8),
                                        static_cast<std::uint8_t>(word >> 16), 0x5A};
        text += HexRecord(2 * address, 0, bytes) + "\n";
    }
    return text + kEndRecord + "\n";
}

// The board's flash after a load, in image layout: erased words, the words
// given, and the first word replaced by the GOTO to the loader start.
inline std::vector<std::uint8_t> ExpectedFlash(const Words& words, std::size_t flashWords,
                                               std::uint8_t gotoMiddle) {
    std::vector<std::uint8_t> image;
    for (std::size_t i = 0; i < flashWords; ++i)
        image.insert(image.end(), {0xFF, 0xFF, 0xFF, 0});
    for (auto [address, word] : words) {
        image[2 * address] = static_cast<std::uint8_t>(word);
        image[2 * address + 1] = static_cast<std::uint8_t>(word >> 8);
        image[2 * address + 2] = static_cast<std::uint8_t>(word >> 16);
    }
    image[0] = 0x00, image[1] = gotoMiddle, image[2] = 0x04;
    return image;
}

inline std::string WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

inline std::string Upper(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace orvane::kestreltest
