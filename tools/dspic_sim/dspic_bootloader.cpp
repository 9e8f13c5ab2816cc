#include "tools/dspic_sim/dspic_bootloader.h"

#include "platform/console.h"

namespace orvane::dspicsim {

namespace {

constexpr std::uint8_t kProbe = 0x55;
constexpr std::uint8_t kRead = 0x01;
constexpr std::uint8_t kWrite = 0x02;
constexpr std::uint8_t kLoaderId = 0x03;
constexpr std::size_t kHeaderLength = 5;  // command, three address bytes or count+address, length
constexpr std::int64_t kCommandGapMs = 1000;
constexpr std::uint32_t kDeviceIdAddress = 0xFF0000;
constexpr std::uint32_t kRevisionAddress = 0xFF0002;
constexpr std::uint32_t kRevision = 0x003001;
constexpr std::uint32_t kErased = 0xFFFFFF;
// The bootloader's own rows above the loader start.
constexpr std::uint32_t kLoaderSpan = 0x200;

std::uint32_t addressAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 16) | (std::uint32_t{bytes[at + 1]} << 8) | bytes[at + 2];
}

}  // namespace

DspicBootloader::DspicBootloader(BoardOptions options)
    : options_(std::move(options)),
      loaderStart_(options_.deviceId == 352 ? 0x3E00 : 0x7E00),
      flash_((loaderStart_ + kLoaderSpan) / 2, kErased) {}

void DspicBootloader::reset() {
    if (!command_.empty())
        recordFault(formatText("reset during command 0x%02x", command_[0]));
    command_.clear();
    ++resets_;
}

void DspicBootloader::recordFault(std::string text) {
    faults_.push_back(std::move(text));
}

bool DspicBootloader::vanished() const {
    return options_.vanishAfterRows >= 0 && rowsProgrammed_ >= options_.vanishAfterRows;
}

std::optional<DspicBootloader::Reply> DspicBootloader::answer(std::vector<std::uint8_t> bytes,
                                                              int busyMs) {
    bytesSent_ += bytes.size();
    return Reply{std::move(bytes), busyMs};
}

std::optional<DspicBootloader::Reply> DspicBootloader::receive(std::uint8_t byte,
                                                               std::int64_t nowMs) {
    ++bytesReceived_;
    if (options_.silent)
        return std::nullopt;
    if (!command_.empty() && nowMs - lastByteMs_ > kCommandGapMs) {
        recordFault(
            formatText("command 0x%02x dropped after %zu bytes", command_[0], command_.size()));
        command_.clear();
    }
    lastByteMs_ = nowMs;
    if (command_.empty())
        return startCommand(byte);
    command_.push_back(byte);
    if (command_.size() < commandLength())
        return std::nullopt;
    std::optional<Reply> reply = finishCommand();
    command_.clear();
    return reply;
}

std::size_t DspicBootloader::commandLength() const {
    if (command_[0] == kWrite && command_.size() >= kHeaderLength)
        return kHeaderLength + command_[kHeaderLength - 1];
    return kHeaderLength;
}

std::optional<DspicBootloader::Reply> DspicBootloader::startCommand(std::uint8_t byte) {
    bool awake = resets_ >= options_.resetsBeforeAwake;
    if (byte == kProbe) {
        // Before its reset the board runs the application, which ignores probes.
        if (!awake)
            return std::nullopt;
        return answer(options_.probeAnswer);
    }
    if (!awake) {
        recordFault(formatText("byte 0x%02x before the bootloader was reached", byte));
        return std::nullopt;
    }
    if (byte == kLoaderId)
        return answer({options_.versionMajor, options_.versionMinor, options_.loaderIdAck});
    if (byte == kRead || byte == kWrite) {
        command_.push_back(byte);
        return std::nullopt;
    }
    recordFault(formatText("unknown command 0x%02x", byte));
    return std::nullopt;
}

std::optional<DspicBootloader::Reply> DspicBootloader::finishCommand() {
    return command_[0] == kRead ? answerRead() : answerWrite();
}

std::optional<std::uint32_t> DspicBootloader::readableWord(std::uint32_t address) const {
    if (address >= kConfigSpace) {
        if (address == kDeviceIdAddress)
            return options_.deviceId;
        return address == kRevisionAddress ? kRevision : 0;
    }
    if (address % 2 != 0 || address / 2 >= flash_.size())
        return std::nullopt;
    return flash_[address / 2];
}

std::uint32_t DspicBootloader::overridden(std::uint32_t address, std::uint32_t value) const {
    if (!options_.readBackOverride || address >= kConfigSpace)
        return value;
    auto [offset, byte] = *options_.readBackOverride;
    unsigned lane = offset % 4;
    if (address != offset / 4 * 2 || lane == 3)
        return value;
    value &= ~(0xFFu << (8 * lane));
    return value | (std::uint32_t{byte} << (8 * lane));
}

std::optional<DspicBootloader::Reply> DspicBootloader::answerRead() {
    unsigned count = command_[1];
    std::uint32_t address = addressAt(command_, 2);
    if (count == 0) {
        recordFault(formatText("read of 0 words at 0x%06x", address));
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t sum = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::optional<std::uint32_t> value = readableWord(address + 2 * i);
        if (!value) {
            recordFault(formatText("read past the flash at 0x%06x", address + 2 * i));
            return std::nullopt;
        }
        std::uint32_t word = overridden(address + 2 * i, *value);
        for (int shift : {16, 8, 0}) {
            bytes.push_back(static_cast<std::uint8_t>(word >> shift));
            sum = static_cast<std::uint8_t>(sum + bytes.back());
        }
    }
    bool program = address < kConfigSpace;
    if (!program && options_.deviceIdUnreadable)
        return std::nullopt;
    using Mode = BoardOptions::ReadChecksum;
    Mode mode = program ? options_.readChecksum : Mode::Plain;
    if (mode == Mode::Complement)
        sum = static_cast<std::uint8_t>(0x100 - sum);
    if (!program && deviceIdChecksumsSpoilt_ < options_.deviceIdChecksumFaults) {
        ++deviceIdChecksumsSpoilt_;
        mode = Mode::OffByOne;
    }
    if (mode == Mode::OffByOne)
        sum = static_cast<std::uint8_t>(sum + 1);
    bytes.push_back(sum);
    bytes.push_back(program ? options_.readAck : 0x55);
    return answer(std::move(bytes));
}

bool DspicBootloader::writeIsSound(std::uint32_t address, std::size_t length) {
    std::size_t faultsBefore = faults_.size();
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < command_.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + command_[i]);
    if (sum != 0)
        recordFault(formatText("row 0x%04x: checksum leaves 0x%02x", address, sum));
    if (length != 4 * kRowWords + 1)
        recordFault(formatText("row 0x%04x: length byte 0x%02zx", address, length));
    if (address % kRowStep != 0 || address + kRowStep > loaderStart_)
        recordFault(formatText("row 0x%04x: not a row of the application area", address));
    for (std::size_t phantom = kHeaderLength + 3; phantom + 1 < command_.size(); phantom += 4) {
        if (command_[phantom] != 0)
            recordFault(formatText("row 0x%04x: phantom byte 0x%02x", address, command_[phantom]));
    }
    return faults_.size() == faultsBefore;
}

std::optional<DspicBootloader::Reply> DspicBootloader::answerWrite() {
    std::uint32_t address = addressAt(command_, 1);
    std::size_t length = command_[kHeaderLength - 1];
    if (!writeIsSound(address, length))
        return std::nullopt;
    for (int i = 0; i < kRowWords; ++i) {
        const std::uint8_t* bytes = &command_[kHeaderLength + 4 * static_cast<std::size_t>(i)];
        flash_[address / 2 + static_cast<std::uint32_t>(i)] =
            bytes[0] | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16);
    }
    ++rowsProgrammed_;
    if (options_.acknowledgedRows >= 0 && rowsProgrammed_ > options_.acknowledgedRows)
        return std::nullopt;
    return answer({options_.writeAck}, options_.rowProgramMs);
}

std::uint32_t DspicBootloader::word(std::uint32_t programAddress) const {
    return programAddress / 2 < flash_.size() ? flash_[programAddress / 2] : kErased;
}

std::vector<std::uint8_t> DspicBootloader::flashImage() const {
    std::vector<std::uint8_t> image;
    image.reserve(flash_.size() * 4);
    for (std::uint32_t value : flash_) {
        image.push_back(static_cast<std::uint8_t>(value));
        image.push_back(static_cast<std::uint8_t>(value >> 8));
        image.push_back(static_cast<std::uint8_t>(value >> 16));
        image.push_back(0x00);
    }
    return image;
}

}  // namespace orvane::dspicsim
