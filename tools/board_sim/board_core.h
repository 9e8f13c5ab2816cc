#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/board_sim/frame_codec.h"

namespace orvane::boardsim {

inline constexpr std::size_t kFlashSize = 0x8000;
inline constexpr std::uint32_t kLoaderAreaEnd = 0x200;
inline constexpr int kLoaderBaud = 19200;
inline constexpr std::size_t kEraseBlock = 64;

// Ways the board can misbehave, for the host's failure paths.
enum class Fault {
    None,
    BadChecksum,                // answers carry a checksum one too high
    ReadWrongCommand,           // read answers name another command
    ReadWrongAddress,           // read answers give back another address
    ReadWrongAmount,            // read answers say 0x40 bytes
    ReadWrongAddressAndAmount,  // both of the above
    ShortRead,                  // read answers carry only 64 data bytes
    NoiseBefore,                // noise holding lone start bytes before the answer
    DoubledStart,               // two unescaped start bytes inside the body
    EndlessNoise,               // a stream without any start byte that never stops
    EndlessBody,                // start bytes, then body bytes that never end
    OverlongBody,               // a sound frame whose body is longer than any buffer
    EmptyBody,                  // start bytes followed at once by the end byte
    Silence,                    // no answer at all
    Vanish,                     // the board's line goes away instead of answering
};

// A fault that hits the answers to one command (or to all), from its n-th frame on.
struct FaultSwitch {
    Fault fault = Fault::None;
    int command = -1;   // -1: every command
    int fromFrame = 0;  // 0: from the first frame of that command
};

// What the board sends back for one frame of the host.
struct Reply {
    std::size_t afterByte = 0;        // index, in the bytes handed in, of the frame's last byte
    int busyMs = 0;                   // flash work done before the answer starts
    std::vector<std::uint8_t> bytes;  // on the wire; empty when nothing is sent
    std::vector<std::uint8_t> endlessPattern;  // repeated after bytes until the host sends again
    bool vanish = false;
};

struct BoardStats {
    long framesReceived = 0;
    long busyMs = 0;
    long resets = 0;
    long outOfFlash = 0;    // requests for addresses at or past the end of the flash
    long loaderArea = 0;    // erase or write requests below the application area
    long unerasedBits = 0;  // bytes written over flash that was not erased
    std::vector<std::string> frameErrors;
    std::vector<int> bootCommandBauds;  // the line speed of every boot command seen
};

// The framed bootloader and the application in front of it, without any
// transport: bytes in with the line speed they came at, replies out.
class BoardCore {
  public:
    struct Options {
        bool startSilent = false;  // in the application until a boot command arrives
        int applicationBaud = 38400;
        int eraseMsPerBlock = 0;
        int writeMsPerFrame = 0;
        std::vector<FaultSwitch> faults;
    };

    explicit BoardCore(Options options);

    std::vector<Reply> receive(std::span<const std::uint8_t> bytes, int baud);

    const std::array<std::uint8_t, kFlashSize>& flash() const { return flash_; }
    bool inBootloader() const { return inBootloader_; }
    const BoardStats& stats() const { return stats_; }
    // The byte a board fresh from the factory holds: an older application.
    static std::uint8_t oldContent(std::size_t address);

  private:
    void watchForBootCommand(std::uint8_t byte, int baud);
    std::optional<Reply> handleFrame(const std::vector<std::uint8_t>& body);
    std::optional<std::vector<std::uint8_t>> answerFor(const std::vector<std::uint8_t>& body,
                                                       int& busyMs);
    std::vector<std::uint8_t> readAnswer(const std::vector<std::uint8_t>& body);
    bool writeFlash(const std::vector<std::uint8_t>& body);
    int eraseFlash(const std::vector<std::uint8_t>& body);
    Fault faultFor(std::uint8_t command);
    Reply wireReply(Fault fault, std::uint8_t command, std::vector<std::uint8_t> answer);
    void frameError(std::string what);

    Options options_;
    std::array<std::uint8_t, kFlashSize> flash_{};
    bool inBootloader_;
    FrameDecoder decoder_;
    std::array<int, 256> framesByCommand_{};
    std::size_t bootMatched_ = 0;
    int bootMatchBaud_ = 0;
    BoardStats stats_;
};

Fault faultNamed(const std::string& name);  // Fault::None when unknown

}  // namespace orvane::boardsim
