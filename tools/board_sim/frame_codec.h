#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvane::boardsim {

inline constexpr std::uint8_t kFrameStart = 0x0F;
inline constexpr std::uint8_t kFrameEnd = 0x04;
inline constexpr std::uint8_t kFrameEscape = 0x05;

// The checksum byte that makes a body's bytes sum to zero modulo 256.
std::uint8_t checksumFor(std::span<const std::uint8_t> body);

// A whole frame as the board sends it: two start bytes, the escaped body,
// the escaped checksum (plus checksumOffset, to send a wrong one), the end byte.
std::vector<std::uint8_t> encodeFrame(std::span<const std::uint8_t> body,
                                      std::uint8_t checksumOffset = 0);

// Checks the host's byte stream against the framing rules and hands out
// each sound frame's body. Anything the host should never send (a byte
// outside a frame, a lone start byte, an unescaped reserved byte in a
// body, a needless escape, a wrong checksum, an empty frame) is an error.
class FrameDecoder {
  public:
    static constexpr std::size_t kLongestBody = 200;
    enum class Event { None, Frame, Error };

    Event feed(std::uint8_t byte);
    // The body of the frame just completed, checksum removed.
    const std::vector<std::uint8_t>& body() const { return body_; }
    // What was wrong with the stream, after an Error.
    const std::string& error() const { return error_; }
    bool betweenFrames() const { return stage_ == Stage::Idle; }

  private:
    enum class Stage { Idle, SecondStart, Body };
    Event fail(std::string what);
    Event feedBody(std::uint8_t byte);
    Event endFrame();

    Stage stage_ = Stage::Idle;
    bool escaped_ = false;
    std::vector<std::uint8_t> body_;
    std::string error_;
};

}  // namespace orvane::boardsim
