#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace orvane {

// Decodes a body sent with "Transfer-Encoding: chunked": size lines in hex
// (with extensions, which are skipped), the chunk data, the last chunk of
// size 0 and any trailer lines (skipped). Bytes in, a state out, no I/O: the
// data goes to the sink in runs as long as each read allows, and the result
// is the same however the body is split across reads. A size line that is
// not one (no hex digit, another character, a size beyond 63 bits, a line
// without end) makes the body invalid: it is refused, never guessed at.
class ChunkedDecoder {
  public:
    enum class State { NeedMore, Complete, Invalid };
    using Sink = std::function<void(std::string_view data)>;

    explicit ChunkedDecoder(Sink sink) : sink_(std::move(sink)) {}

    // Takes the next bytes of the body. Bytes after the end of the body (the
    // blank line after the trailers) are not part of it and are left alone.
    State feed(std::string_view bytes);
    State state() const;

  private:
    enum class Step {
        SizeStart,    // the first hex digit of a size line
        Size,         // more hex digits
        SizeSpace,    // blanks after the digits
        Extension,    // ";name=value" up to the line end
        SizeLineEnd,  // LF after CR
        Data,
        DataEnd,      // CR (or LF) after the data
        DataLineEnd,  // LF after that CR
        TrailerStart,
        Trailer,
        FinalLineEnd,  // LF of the blank line that ends the body
        Done,
        Failed,
    };

    // One byte of a line; false when the body is invalid.
    bool TakeByte(char c);
    bool SizeByte(char c);
    bool LineEnd(char c);
    void EndOfSizeLine();
    bool CountLineByte(std::size_t limit);
    bool CountTrailerByte();

    Sink sink_;
    Step step_ = Step::SizeStart;
    std::int64_t size_ = 0;
    std::size_t lineBytes_ = 0;
    std::size_t trailerBytes_ = 0;
};

}  // namespace orvane
