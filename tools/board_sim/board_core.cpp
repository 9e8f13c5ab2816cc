#include "tools/board_sim/board_core.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace orvane::boardsim {

namespace {

constexpr std::uint8_t kVersion = 0x00;
constexpr std::uint8_t kRead = 0x01;
constexpr std::uint8_t kWrite = 0x02;
constexpr std::uint8_t kErase = 0x03;
constexpr std::uint8_t kFinish = 0x05;
constexpr std::uint8_t kReset = 0x08;
constexpr std::size_t kHead = 5;  // command, amount, AL, AH, AU
constexpr std::size_t kWriteUnit = 8;
constexpr std::array<std::uint8_t, 4> kBootCommand{0x02, 0x62, 0x62, 0x03};
constexpr std::size_t kNoiseLength = 32;
constexpr std::size_t kOverlongBody = 1500;

std::uint32_t addressOf(const std::vector<std::uint8_t>& body) {
    return body[2] | (std::uint32_t{body[3]} << 8) | (std::uint32_t{body[4]} << 16);
}

std::string hexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

bool bootCommandAt(std::span<const std::uint8_t> bytes, std::size_t i) {
    return bytes.size() - i >= kBootCommand.size() &&
           std::equal(kBootCommand.begin(), kBootCommand.end(), bytes.begin() + i);
}

// The answer after line noise that holds lone start bytes, the last one
// right before the frame's own two.
std::vector<std::uint8_t> withNoise(const std::vector<std::uint8_t>& frame) {
    std::vector<std::uint8_t> bytes{0x00, 0x33, kFrameStart, 0x44, 0xAA, kFrameStart};
    for (std::uint8_t byte : frame)
        bytes.push_back(byte);
    return bytes;
}

// The answer with two unescaped start bytes after its first body byte.
std::vector<std::uint8_t> withDoubledStart(std::vector<std::uint8_t> frame) {
    std::size_t after = frame[2] == kFrameEscape ? 4 : 3;
    frame.insert(frame.begin() + static_cast<long>(after), {kFrameStart, kFrameStart});
    return frame;
}

// A read answer that names the wrong command, address or amount, or stops short.
void spoilReadAnswer(Fault fault, std::vector<std::uint8_t>& answer) {
    const bool wrongAddress =
        fault == Fault::ReadWrongAddress || fault == Fault::ReadWrongAddressAndAmount;
    const bool wrongAmount =
        fault == Fault::ReadWrongAmount || fault == Fault::ReadWrongAddressAndAmount;
    if (fault == Fault::ReadWrongCommand)
        answer[0] = kErase;
    if (wrongAddress)
        answer[3] = static_cast<std::uint8_t>(answer[3] + 1);
    if (wrongAmount)
        answer[1] = 0x40;
    if (fault == Fault::ShortRead)
        answer.resize(kHead + 64);
}

}  // namespace

BoardCore::BoardCore(Options options)
    : options_(std::move(options)), inBootloader_(!options_.startSilent) {
    for (std::size_t address = 0; address < kFlashSize; ++address)
        flash_[address] = oldContent(address);
}

std::uint8_t BoardCore::oldContent(std::size_t address) {
    return static_cast<std::uint8_t>(address < kLoaderAreaEnd ? 0xA5 : address * 7 + 3);
}

std::vector<Reply> BoardCore::receive(std::span<const std::uint8_t> bytes, int baud) {
    std::vector<Reply> replies;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // The bootloader hears only its own rate; anything else is garbled for it.
        if (!inBootloader_ || baud != kLoaderBaud) {
            watchForBootCommand(bytes[i], baud);
            continue;
        }
        // A boot command repeated to a board already in its bootloader is
        // not a framing fault of the host.
        if (decoder_.betweenFrames() && bootCommandAt(bytes, i)) {
            stats_.bootCommandBauds.push_back(baud);
            i += kBootCommand.size() - 1;
            continue;
        }
        FrameDecoder::Event event = decoder_.feed(bytes[i]);
        if (event == FrameDecoder::Event::Error)
            frameError(decoder_.error());
        if (event != FrameDecoder::Event::Frame)
            continue;
        std::optional<Reply> reply = handleFrame(decoder_.body());
        if (!reply)
            continue;
        reply->afterByte = i;
        replies.push_back(std::move(*reply));
    }
    return replies;
}

void BoardCore::watchForBootCommand(std::uint8_t byte, int baud) {
    if (baud != bootMatchBaud_)
        bootMatched_ = 0, bootMatchBaud_ = baud;
    if (byte == kBootCommand[bootMatched_]) {
        ++bootMatched_;
    } else {
        bootMatched_ = byte == kBootCommand[0] ? 1 : 0;
    }
    if (bootMatched_ < kBootCommand.size())
        return;
    bootMatched_ = 0;
    stats_.bootCommandBauds.push_back(baud);
    // The application understands the command only at its own rate.
    if (!inBootloader_ && baud == options_.applicationBaud) {
        inBootloader_ = true;
        decoder_ = FrameDecoder{};
    }
}

void BoardCore::frameError(std::string what) {
    stats_.frameErrors.push_back(std::move(what));
}

std::optional<Reply> BoardCore::handleFrame(const std::vector<std::uint8_t>& body) {
    ++stats_.framesReceived;
    const std::uint8_t command = body[0];
    const Fault fault = faultFor(command);
    if (command == kReset) {
        ++stats_.resets;
        // The application starts again, and a silent one stops listening for frames.
        if (options_.startSilent)
            inBootloader_ = false;
        return std::nullopt;
    }
    int busyMs = 0;
    std::optional<std::vector<std::uint8_t>> answer = answerFor(body, busyMs);
    if (!answer)
        return std::nullopt;
    Reply reply = wireReply(fault, command, std::move(*answer));
    reply.busyMs = busyMs;
    stats_.busyMs += busyMs;
    return reply;
}

std::optional<std::vector<std::uint8_t>> BoardCore::answerFor(const std::vector<std::uint8_t>& body,
                                                              int& busyMs) {
    const std::uint8_t command = body[0];
    const std::size_t expected = command == kVersion ? 2 : kHead;
    if (command != kWrite && body.size() != expected) {
        frameError("command " + hexByte(command) + " with a body of " +
                   std::to_string(body.size()) + " bytes");
        return std::nullopt;
    }
    switch (command) {
        case kVersion:
            return std::vector<std::uint8_t>{0x00, 0x02, 0x01, 0x05};
        case kRead:
            return readAnswer(body);
        case kWrite:
            if (!writeFlash(body))
                return std::nullopt;
            busyMs = options_.writeMsPerFrame;
            return std::vector<std::uint8_t>{kWrite};
        case kErase:
            busyMs = eraseFlash(body);
            return std::vector<std::uint8_t>{kErase};
        case kFinish:
            return std::vector<std::uint8_t>{kFinish, 0x01};
        default:
            frameError("unknown command " + hexByte(command));
            return std::nullopt;
    }
}

std::vector<std::uint8_t> BoardCore::readAnswer(const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> answer(body.begin(), body.begin() + kHead);
    const std::uint32_t address = addressOf(body);
    if (address + body[1] > kFlashSize)
        ++stats_.outOfFlash;
    for (std::uint32_t i = 0; i < body[1]; ++i) {
        const std::uint32_t at = address + i;
        answer.push_back(at < kFlashSize ? flash_[at] : 0xFF);
    }
    return answer;
}

bool BoardCore::writeFlash(const std::vector<std::uint8_t>& body) {
    if (body.size() < kHead || body.size() != kHead + body[1] * kWriteUnit) {
        frameError("write whose amount disagrees with its " + std::to_string(body.size()) +
                   " bytes");
        return false;
    }
    const std::uint32_t address = addressOf(body);
    const std::size_t count = body.size() - kHead;
    if (address + count > kFlashSize)
        ++stats_.outOfFlash;
    if (address < kLoaderAreaEnd)
        ++stats_.loaderArea;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = address + i;
        if (at < kLoaderAreaEnd || at >= kFlashSize)
            continue;
        const std::uint8_t data = body[kHead + i];
        // Flash can only clear bits: a write before its erase leaves its mark.
        if ((data & ~flash_[at]) != 0)
            ++stats_.unerasedBits;
        flash_[at] &= data;
    }
    return true;
}

int BoardCore::eraseFlash(const std::vector<std::uint8_t>& body) {
    const std::size_t first = addressOf(body) & ~(kEraseBlock - 1);
    for (std::size_t block = 0; block < body[1]; ++block) {
        const std::size_t start = first + block * kEraseBlock;
        if (start >= kFlashSize) {
            ++stats_.outOfFlash;
        } else if (start < kLoaderAreaEnd) {
            ++stats_.loaderArea;
        } else {
            std::fill_n(flash_.begin() + static_cast<long>(start), kEraseBlock, 0xFF);
        }
    }
    return options_.eraseMsPerBlock * body[1];
}

Fault BoardCore::faultFor(std::uint8_t command) {
    const int ofCommand = framesByCommand_[command]++;
    const int ofAll = static_cast<int>(stats_.framesReceived) - 1;
    for (const FaultSwitch& fault : options_.faults) {
        if (fault.command == -1 && ofAll >= fault.fromFrame)
            return fault.fault;
        if (fault.command == command && ofCommand >= fault.fromFrame)
            return fault.fault;
    }
    return Fault::None;
}

Reply BoardCore::wireReply(Fault fault, std::uint8_t command, std::vector<std::uint8_t> answer) {
    if (command == kRead)
        spoilReadAnswer(fault, answer);
    Reply reply;
    switch (fault) {
        case Fault::BadChecksum:
            reply.bytes = encodeFrame(answer, 1);
            break;
        case Fault::NoiseBefore:
            reply.bytes = withNoise(encodeFrame(answer));
            break;
        case Fault::DoubledStart:
            reply.bytes = withDoubledStart(encodeFrame(answer));
            break;
        case Fault::EndlessNoise:
            reply.endlessPattern.assign(kNoiseLength, 0x55);
            break;
        case Fault::EndlessBody:
            reply.bytes = {kFrameStart, kFrameStart};
            reply.endlessPattern.assign(kNoiseLength, 0x11);
            break;
        case Fault::OverlongBody:
            answer.resize(kOverlongBody, 0x11);
            reply.bytes = encodeFrame(answer);
            break;
        case Fault::EmptyBody:
            reply.bytes = {kFrameStart, kFrameStart, kFrameEnd};
            break;
        case Fault::Silence:
            break;
        case Fault::Vanish:
            reply.vanish = true;
            break;
        default:
            reply.bytes = encodeFrame(answer);
            break;
    }
    return reply;
}

Fault faultNamed(const std::string& name) {
    static const std::map<std::string, Fault> kNames{
        {"checksum", Fault::BadChecksum},
        {"read-command", Fault::ReadWrongCommand},
        {"read-address", Fault::ReadWrongAddress},
        {"read-amount", Fault::ReadWrongAmount},
        {"read-address-amount", Fault::ReadWrongAddressAndAmount},
        {"short-read", Fault::ShortRead},
        {"noise", Fault::NoiseBefore},
        {"doubled-start", Fault::DoubledStart},
        {"endless-noise", Fault::EndlessNoise},
        {"endless-body", Fault::EndlessBody},
        {"overlong", Fault::OverlongBody},
        {"empty", Fault::EmptyBody},
        {"silence", Fault::Silence},
        {"vanish", Fault::Vanish},
    };
    auto found = kNames.find(name);
    return found == kNames.end() ? Fault::None : found->second;
}

}  // namespace orvane::boardsim
