#include "tools/board_sim/frame_codec.h"

#include <cstdio>

namespace orvane::boardsim {

namespace {

bool reserved(std::uint8_t byte) {
    return byte == kFrameStart || byte == kFrameEnd || byte == kFrameEscape;
}

void appendEscaped(std::vector<std::uint8_t>& frame, std::uint8_t byte) {
    if (reserved(byte))
        frame.push_back(kFrameEscape);
    frame.push_back(byte);
}

std::string hexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

}  // namespace

std::uint8_t checksumFor(std::span<const std::uint8_t> body) {
    std::uint8_t sum = 0;
    for (std::uint8_t byte : body)
        sum = static_cast<std::uint8_t>(sum + byte);
    return static_cast<std::uint8_t>(0x100 - sum);
}

std::vector<std::uint8_t> encodeFrame(std::span<const std::uint8_t> body,
                                      std::uint8_t checksumOffset) {
    std::vector<std::uint8_t> frame{kFrameStart, kFrameStart};
    for (std::uint8_t byte : body)
        appendEscaped(frame, byte);
    appendEscaped(frame, static_cast<std::uint8_t>(checksumFor(body) + checksumOffset));
    frame.push_back(kFrameEnd);
    return frame;
}

FrameDecoder::Event FrameDecoder::fail(std::string what) {
    error_ = std::move(what);
    stage_ = Stage::Idle;
    escaped_ = false;
    return Event::Error;
}

FrameDecoder::Event FrameDecoder::feed(std::uint8_t byte) {
    switch (stage_) {
        case Stage::Idle:
            if (byte != kFrameStart)
                return fail("byte " + hexByte(byte) + " outside a frame");
            stage_ = Stage::SecondStart;
            return Event::None;
        case Stage::SecondStart:
            if (byte != kFrameStart)
                return fail("single start byte before " + hexByte(byte));
            stage_ = Stage::Body;
            body_.clear();
            escaped_ = false;
            return Event::None;
        case Stage::Body:
            return feedBody(byte);
    }
    return Event::None;
}

FrameDecoder::Event FrameDecoder::feedBody(std::uint8_t byte) {
    if (escaped_) {
        if (!reserved(byte))
            return fail("needless escape before " + hexByte(byte));
        escaped_ = false;
    } else if (byte == kFrameEscape) {
        escaped_ = true;
        return Event::None;
    } else if (byte == kFrameEnd) {
        return endFrame();
    } else if (byte == kFrameStart) {
        return fail("unescaped start byte inside a body");
    }
    if (body_.size() == kLongestBody)
        return fail("frame longer than any command");
    body_.push_back(byte);
    return Event::None;
}

FrameDecoder::Event FrameDecoder::endFrame() {
    stage_ = Stage::Idle;
    if (body_.empty())
        return fail("frame without body or checksum");
    std::uint8_t sum = 0;
    for (std::uint8_t b : body_)
        sum = static_cast<std::uint8_t>(sum + b);
    if (sum != 0)
        return fail("checksum wrong (sum " + hexByte(sum) + ")");
    body_.pop_back();
    if (body_.empty())
        return fail("frame with a checksum but no command");
    return Event::Frame;
}

}  // namespace orvane::boardsim
