#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::dspicsim {

// How the simulated board behaves, including the faults tests ask of it.
struct BoardOptions {
    enum class ReadChecksum { Plain, Complement, OffByOne };

    std::uint32_t deviceId = 320;  // 320/321 dsPIC30F4013, 352 dsPIC30F3014
    std::uint8_t versionMajor = 1;
    std::uint8_t versionMinor = 2;
    std::uint8_t loaderIdAck = 0x55;
    // What a probe is answered with; all zeros counts as no answer.
    std::vector<std::uint8_t> probeAnswer{0x55};
    // Probes are answered only after this many resets (a pty has no DTR: 0).
    int resetsBeforeAwake = 1;
    bool silent = false;  // never answers anything
    // Faults of replies to program-memory reads (the device-ID read stays sound).
    ReadChecksum readChecksum = ReadChecksum::Plain;
    std::uint8_t readAck = 0x55;
    // The device-ID read is never answered.
    bool deviceIdUnreadable = false;
    // The first this many device-ID replies carry a checksum one too high
    // (their acknowledge byte still follows).
    int deviceIdChecksumFaults = 0;
    std::uint8_t writeAck = 0x55;
    // Reads report this byte at this image offset, whatever the flash holds.
    std::optional<std::pair<std::uint32_t, std::uint8_t>> readBackOverride = std::nullopt;
    // Rows after this many are taken in silence (no acknowledge); -1: never.
    int acknowledgedRows = -1;
    // The device goes away once this many rows are programmed; -1: never.
    int vanishAfterRows = -1;
    int rowProgramMs = 2;  // time spent programming a row before answering
};

// The resident dsPIC30F bootloader: checks every length and checksum it
// receives, keeps the flash it was given and answers as the host expects.
// Faults of the host are recorded, never answered.
class DspicBootloader {
  public:
    static constexpr std::uint32_t kConfigSpace = 0xF80000;
    static constexpr int kRowWords = 32;
    static constexpr std::uint32_t kRowStep = 64;  // program-address units

    struct Reply {
        std::vector<std::uint8_t> bytes;
        int busyMs = 0;  // the board works this long before the first byte goes out
    };

    explicit DspicBootloader(BoardOptions options);

    // A reset pulse ended: any half-received command is dropped.
    void reset();
    // One byte from the host, received at nowMs; the reply, when one is due.
    std::optional<Reply> receive(std::uint8_t byte, std::int64_t nowMs);

    // The flash in the host's image layout: per word bits 7..0, 15..8, 23..16, 0.
    std::vector<std::uint8_t> flashImage() const;
    std::uint32_t word(std::uint32_t programAddress) const;
    std::uint32_t loaderStart() const { return loaderStart_; }
    int rowsProgrammed() const { return rowsProgrammed_; }
    bool vanished() const;
    // Every fault seen in what the host sent, in order.
    const std::vector<std::string>& faults() const { return faults_; }
    // Faults the carriers see on the line itself (a wrong speed).
    void recordFault(std::string text);
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    std::uint64_t bytesSent() const { return bytesSent_; }

  private:
    std::optional<Reply> startCommand(std::uint8_t byte);
    std::optional<Reply> finishCommand();
    std::optional<Reply> answerRead();
    std::optional<Reply> answerWrite();
    bool writeIsSound(std::uint32_t address, std::size_t length);
    std::optional<std::uint32_t> readableWord(std::uint32_t address) const;
    std::uint32_t overridden(std::uint32_t address, std::uint32_t value) const;
    std::size_t commandLength() const;
    std::optional<Reply> answer(std::vector<std::uint8_t> bytes, int busyMs = 0);

    BoardOptions options_;
    std::uint32_t loaderStart_;
    std::vector<std::uint32_t> flash_;  // one 24-bit word per two program addresses
    std::vector<std::uint8_t> command_;
    std::int64_t lastByteMs_ = 0;
    int resets_ = 0;
    int rowsProgrammed_ = 0;
    int deviceIdChecksumsSpoilt_ = 0;
    std::vector<std::string> faults_;
    std::uint64_t bytesReceived_ = 0;
    std::uint64_t bytesSent_ = 0;
};

}  // namespace orvane::dspicsim
