#include "loaders/common/hex_image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace orvane {

namespace {
constexpr std::size_t kShortestRecord = 11;
constexpr std::uint32_t kIgnoredFrom = 0x300000;
constexpr int kTypeData = 0x00;
constexpr int kTypeEnd = 0x01;
constexpr int kTypeLinear = 0x04;

bool isUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
}  // namespace

HexImageSettings HexImageSettings::board() {
    return {0x8000, 1, 0x200, false, 0x8000, true, 512};
}

HexImageSettings HexImageSettings::dspic() {
    return {256000, 2, 0, true, 0, false, 0};
}

HexImage::HexImage(HexImageSettings settings, Console& console)
    : data(settings.capacity, 0xFF),
      readBack(settings.capacity, 0xFF),
      settings_(settings),
      console_(console) {}

std::uint32_t HexImage::limitUnits() const {
    return settings_.fixedLimit ? settings_.fixedLimit : applicationSize_;
}

std::size_t HexImage::usedBytes() const {
    return std::min<std::size_t>(data.size(), std::size_t{limitUnits()} * settings_.addressDivisor);
}

bool HexImage::loadHexFile(const std::string& path) {
    std::fill_n(data.begin(), usedBytes(), 0xFF);
    endAddress = 0;
    if (settings_.keepStartAddress)
        startAddress = kNoStart;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open())
        return false;
    extendedAddress = 0;
    bool result = true;
    std::string line;
    // Lines are read whole, so records longer than any fixed buffer (up to
    // 255 data bytes) parse like short ones.
    for (lineNumber_ = 1; std::getline(file, line); ++lineNumber_) {
        int outcome = parseHexRecord(line);
        if (outcome != 0) {
            result = outcome == 1;
            break;
        }
    }
    endAddress += settings_.endMargin;
    return result;
}

std::uint8_t HexImage::decodeHexPair(const std::string& line, std::size_t position) {
    unsigned value = 0;
    for (std::size_t i = position; i < position + 2 && i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        value = (value * 16 + (c >= 'A' ? c - 55u : c - 48u)) & 0xFF;
    }
    return static_cast<std::uint8_t>(value);
}

// A record must be ':' followed by hex digit pairs whose count agrees with
// its count byte; anything else would store bytes the file never meant.
bool HexImage::wellFormed(const std::string& line) const {
    if (!std::all_of(line.begin() + 1, line.end(), isUpperHexDigit))
        return false;
    unsigned count = decodeHexPair(line, 1);
    return line.size() == kShortestRecord + 2 * count;
}

int HexImage::parseHexRecord(std::string line) {
    // Lower-case digits read like upper-case ones in both programs.
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() < kShortestRecord || line[0] != ':')
        return 0;
    if (!wellFormed(line)) {
        console_.print("Bad record in line %d\n", lineNumber_);
        return -1;
    }
    unsigned sum = 0;
    for (std::size_t i = 1; i + 2 < line.size(); i += 2)
        sum += decodeHexPair(line, i);
    std::uint8_t expected = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    std::uint8_t found = decodeHexPair(line, line.size() - 2);
    if (expected != found) {
        console_.print("Checksum error %x %x\n", expected, found);
        return -1;
    }
    unsigned count = decodeHexPair(line, 1);
    std::uint32_t address = (std::uint32_t{extendedAddress} << 16) |
                            (std::uint32_t{decodeHexPair(line, 3)} << 8) | decodeHexPair(line, 5);
    switch (decodeHexPair(line, 7)) {
        case kTypeEnd:
            return 1;
        case kTypeLinear:
            if (count < 2) {
                console_.print("Bad record in line %d\n", lineNumber_);
                return -1;
            }
            extendedAddress =
                static_cast<std::uint16_t>((decodeHexPair(line, 9) << 8) | decodeHexPair(line, 11));
            return 0;
        case kTypeData:
            return storeData(line, address, count);
        default:
            return 0;
    }
}

int HexImage::storeData(const std::string& line, std::uint32_t address, unsigned count) {
    if (address >= kIgnoredFrom)
        return 0;
    std::uint32_t units = address / settings_.addressDivisor;
    bool belowLoader = address < settings_.bootAreaBelow;
    bool aboveApplication = settings_.bootAreaAboveApplication && units > limitUnits();
    if (belowLoader || aboveApplication) {
        console_.print("Warning address 0x%x in boot area. Hex recorded skipped.\n", address);
        if (aboveApplication)
            return -1;
        // A record that runs from the loader's area into the application
        // still carries the application's first bytes: those are kept.
        const std::uint32_t skipped = settings_.bootAreaBelow - address;
        if (count <= skipped)
            return 0;
        return storeBytes(line, address, count, skipped);
    }
    return storeBytes(line, address, count, 0);
}

int HexImage::storeBytes(const std::string& line, std::uint32_t address, unsigned count,
                         std::uint32_t skipped) {
    const std::uint32_t first = address + skipped;
    const std::uint32_t units = first / settings_.addressDivisor;
    std::int32_t end = static_cast<std::int32_t>(address + count);
    endAddress = std::max(endAddress, end);
    if (settings_.keepStartAddress)
        startAddress = std::min(startAddress, static_cast<std::int32_t>(first));
    if (units + count - skipped >= limitUnits()) {
        console_.print("Memory load error\n");
        return -1;
    }
    std::size_t index = first;
    for (std::size_t i = 9 + 2 * skipped; i + 2 < line.size() && index < usedBytes(); i += 2)
        data[index++] = decodeHexPair(line, i);
    return 0;
}

std::optional<std::string> HexFileOpenFailure(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return std::string(std::strerror(EISDIR));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file)
        return std::string(std::strerror(errno));
    return std::nullopt;
}

}  // namespace orvane
