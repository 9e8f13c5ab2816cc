#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "loaders/common/hex_image.h"
#include "loaders/common/serial_link.h"

namespace orvane {

// Kestrel's loader: the serial link to a dsPIC30F4013/3014 board plus the
// program image, and the host side of the resident bootloader's protocol.
// Every operation but the verify returns true on success; none closes the
// port on failure, the run decides that.
class DspicLoader : public SerialLink {
  public:
    static constexpr int kLinkBaud = 57600;
    static constexpr std::uint8_t PROBE_BYTE = 0x55;
    static constexpr std::uint8_t ACK_BYTE = 0x55;
    static constexpr std::uint8_t CMD_READ = 0x01;
    static constexpr std::uint8_t CMD_WRITE = 0x02;
    static constexpr std::uint8_t CMD_LOADER_ID = 0x03;
    static constexpr int kWordsPerRow = 32;
    static constexpr std::uint32_t kRowAddressStep = 64;
    static constexpr std::int32_t kImageBytesPerRow = 128;
    static constexpr std::uint32_t kDeviceIdAddress = 0xFF0000;

    DspicLoader(PortDirectory& ports, Clock& clock, Console& console);

    // The run prints its own lines between the protocol steps.
    using SerialLink::console;

    // Catches the bootloader right after a reset; up to ten attempts.
    bool FindBootloader(bool resetFirst);
    bool GetLoaderID();
    bool ReadDeviceID();
    // Takes CPU name, boot-area start and application size from the device ID.
    bool SelectDevice();
    bool ReadBlock(std::uint32_t address, int words);
    bool WriteBlock(std::uint32_t address, int words);
    bool WriteProgram();
    bool ReadProgram();
    // Reports differences between what was written and what was read back;
    // they do not fail a load.
    void VerifyProgram();
    void DumpDifferences();

    // The program image (data), the read-back image, extendedAddress and
    // endAddress, filled by the HEX reader with the settings of this chip.
    HexImage& image() { return image_; }
    const HexImage& image() const { return image_; }

    std::uint32_t deviceId() const { return deviceId_; }
    const std::string& cpuName() const { return cpuName_; }
    std::uint32_t bootAreaStart() const { return bootAreaStart_; }
    std::uint32_t applicationSize() const { return applicationSize_; }

  private:
    void sendAddress(std::uint32_t address);
    // How many rows a load writes and reads back: always one past the last
    // whole row below the image end.
    int rowCount() const;
    std::uint8_t resetVectorMiddleByte() const;
    // The image bytes the verify compares: those below the image end.
    std::size_t comparedBytes() const;

    HexImage image_;
    std::size_t writeCursor_ = 0;  // image offset of the next word to send
    std::size_t readCursor_ = 0;   // read-back offset where the next word goes
    std::uint32_t bootAreaStart_ = 0;
    std::uint32_t applicationSize_ = 0;
    std::uint32_t deviceId_ = 0;
    std::string cpuName_;
};

}  // namespace orvane
