#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "loaders/common/hex_image.h"
#include "loaders/common/serial_link.h"

namespace orvane {

// Framing of the board bootloader's protocol, in both directions.
inline constexpr std::uint8_t FRAME_START = 0x0F;
inline constexpr std::uint8_t FRAME_END = 0x04;
inline constexpr std::uint8_t FRAME_ESCAPE = 0x05;

// Command bytes, the first body byte of every request.
inline constexpr std::uint8_t CMD_VERSION = 0x00;
inline constexpr std::uint8_t CMD_READ = 0x01;
inline constexpr std::uint8_t CMD_WRITE = 0x02;
inline constexpr std::uint8_t CMD_ERASE = 0x03;
inline constexpr std::uint8_t CMD_FINISH = 0x05;
inline constexpr std::uint8_t CMD_RESET = 0x08;

// The host side of the framed board bootloader: reaches it (through the
// running application's boot command when the reset pulse is not enough),
// then erases, writes, reads back and compares the range the HEX file covers.
class BoardLoader : public SerialLink {
  public:
    static constexpr int kBootloaderBaud = 19200;
    static constexpr std::size_t kAnswerSize = 1024;
    // The board's program memory; nothing at or above it is sent or stored.
    static constexpr std::int32_t kImageEnd = 0x8000;
    // The bootloader lives below this address and is never touched.
    static constexpr std::int32_t kLowestAddress = 0x200;

    BoardLoader(PortDirectory& ports, Clock& clock, Console& console);

    // The rate of the board's running application, used only for the boot command.
    int applicationBaud = 38400;
    HexImage image;

    void appendBodyByte(std::uint8_t byte, std::size_t& length);
    void sendCommand(std::span<const std::uint8_t> body);
    bool receiveFrame();
    bool findLoader();
    void sendBootCommand();
    bool eraseRange(std::int32_t start, std::int32_t end);
    bool writeRange(std::int32_t start, std::int32_t end);
    bool readRange(std::int32_t start, std::int32_t end);
    void listDifferences(std::int32_t start, std::int32_t end);
    bool sendFinish();
    void sendReset();
    bool downloadFile(int port, const std::string& path);

    // The unescaped body of the last answer, its checksum byte included.
    std::span<const std::uint8_t> answer() const {
        return {answer_.data(), static_cast<std::size_t>(answerLength_)};
    }

  private:
    enum class Receive { More, Complete, Failed };
    struct FrameState;

    Receive takeAnswerByte(std::uint8_t byte, FrameState& state);
    bool answerTimedOut(std::int64_t startedSeconds);
    bool answerChecksumGood();
    // Byte i of the answer, or -1 when the answer is shorter.
    int answerByte(std::size_t index) const;
    bool exchange(std::span<const std::uint8_t> body);
    bool sendBlock(std::uint8_t command, std::uint8_t amount, std::int32_t address,
                   std::size_t dataBytes);
    bool writeBlocks(std::int32_t& address, int count, std::uint8_t amount, std::size_t size);
    bool readBlock(std::int32_t address);
    bool readAnswerGood(std::int32_t address);
    bool endPhaseOnKey();
    bool reachBootloader();
    bool loadAndVerify(std::int32_t start, std::int32_t end);
    bool failLoad(const char* message);

    std::array<std::uint8_t, kAnswerSize> answer_{};
    int answerLength_ = 0;
    std::uint8_t runningSum_ = 0;
};

}  // namespace orvane
