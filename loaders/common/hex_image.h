#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"

namespace orvane {

// How one loader program reads Intel HEX: the image size, the unit of the
// limit tests and where its bootloader lives.
struct HexImageSettings {
    std::size_t capacity;
    // The limit tests count in HEX byte addresses divided by this (the dsPIC
    // holds two image bytes per program-counter unit).
    std::uint32_t addressDivisor;
    // Data below this HEX address is the bootloader's: warned about and skipped.
    std::uint32_t bootAreaBelow;
    // Data above the application size (in limit units) is the bootloader's:
    // warned about and the load fails.
    bool bootAreaAboveApplication;
    // The memory limit in limit units; 0 means the application size set later.
    std::uint32_t fixedLimit;
    bool keepStartAddress;
    // Added to the end address after reading, whatever the result.
    std::int32_t endMargin;

    static HexImageSettings board();  // boot
    static HexImageSettings dspic();  // Kestrel
};

// The firmware read from an Intel HEX file, plus the read-back image of the
// same capacity that the protocols fill for the verify.
class HexImage {
  public:
    static constexpr std::int32_t kNoStart = 0x800000;

    HexImage(HexImageSettings settings, Console& console);

    // The application size in limit units (Kestrel sets it from the device).
    void setApplicationSize(std::uint32_t units) { applicationSize_ = units; }
    std::uint32_t applicationSize() const { return applicationSize_; }

    bool loadHexFile(const std::string& path);
    // -1 record refused (load fails), 0 line done or ignored, 1 end of file.
    int parseHexRecord(std::string line);
    static std::uint8_t decodeHexPair(const std::string& line, std::size_t position);

    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> readBack;
    std::uint16_t extendedAddress = 0;
    std::int32_t startAddress = kNoStart;
    std::int32_t endAddress = 0;

  private:
    std::uint32_t limitUnits() const;
    std::size_t usedBytes() const;
    bool wellFormed(const std::string& line) const;
    int storeData(const std::string& line, std::uint32_t address, unsigned count);
    // Stores the record's data from its skipped-th byte on.
    int storeBytes(const std::string& line, std::uint32_t address, unsigned count,
                   std::uint32_t skipped);

    HexImageSettings settings_;
    Console& console_;
    std::uint32_t applicationSize_ = 0;
    int lineNumber_ = 0;
};

// Why the file cannot be opened for reading ("No such file or directory",
// "Is a directory", ...); nullopt when it can. The loaders ask before they
// open a port, so a mistyped name never resets a board.
std::optional<std::string> HexFileOpenFailure(const std::string& path);

}  // namespace orvane
