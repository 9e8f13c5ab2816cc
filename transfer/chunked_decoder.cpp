#include "transfer/chunked_decoder.h"

#include <algorithm>

#include "platform/hex_digit.h"

namespace orvane {

namespace {

// A size line with extensions longer than this is not a size line.
constexpr std::size_t kSizeLineLimit = 4096;
// Trailer fields are skipped, but not without end.
constexpr std::size_t kTrailerLimit = 64 * 1024;
// A size beyond 63 bits would overflow the counters.
constexpr std::int64_t kLargestSize = INT64_MAX >> 4;

}  // namespace

ChunkedDecoder::State ChunkedDecoder::state() const {
    if (step_ == Step::Done)
        return State::Complete;
    return step_ == Step::Failed ? State::Invalid : State::NeedMore;
}

ChunkedDecoder::State ChunkedDecoder::feed(std::string_view bytes) {
    while (!bytes.empty() && step_ != Step::Done && step_ != Step::Failed) {
        if (step_ == Step::Data) {
            // The data passes in one run, never byte by byte.
            std::size_t run = static_cast<std::size_t>(
                std::min<std::int64_t>(size_, static_cast<std::int64_t>(bytes.size())));
            sink_(bytes.substr(0, run));
            bytes.remove_prefix(run);
            size_ -= static_cast<std::int64_t>(run);
            if (size_ == 0)
                step_ = Step::DataEnd;
            continue;
        }
        if (!TakeByte(bytes.front()))
            step_ = Step::Failed;
        bytes.remove_prefix(1);
    }
    return state();
}

bool ChunkedDecoder::TakeByte(char c) {
    switch (step_) {
        case Step::SizeStart:
        case Step::Size:
        case Step::SizeSpace:
            return SizeByte(c);
        case Step::Extension:
            if (c == '\r' || c == '\n')
                return LineEnd(c);
            return CountLineByte(kSizeLineLimit);
        case Step::SizeLineEnd:
            return LineEnd(c);
        case Step::DataEnd:
            // The data is followed by its own line end: CR LF (or a bare LF).
            step_ = c == '\r' ? Step::DataLineEnd : Step::SizeStart;
            return c == '\r' || c == '\n';
        case Step::DataLineEnd:
            step_ = Step::SizeStart;
            return c == '\n';
        case Step::TrailerStart:
            if (c == '\n' || c == '\r') {
                step_ = c == '\n' ? Step::Done : Step::FinalLineEnd;
                return true;
            }
            step_ = Step::Trailer;
            return CountTrailerByte();
        case Step::Trailer:
            if (c == '\n')
                step_ = Step::TrailerStart;
            return CountTrailerByte();
        case Step::FinalLineEnd:
            step_ = Step::Done;
            return c == '\n';
        default:
            return false;
    }
}

// The digits of a size line, blanks after them, then ";" and an extension
// or the line end.
bool ChunkedDecoder::SizeByte(char c) {
    int digit = hexDigitValue(c);
    if (digit >= 0 && step_ != Step::SizeSpace) {
        if (step_ == Step::SizeStart) {
            size_ = 0;
            lineBytes_ = 0;
        }
        if (size_ > kLargestSize)
            return false;
        size_ = size_ * 16 + digit;
        step_ = Step::Size;
        return CountLineByte(kSizeLineLimit);
    }
    if (step_ == Step::SizeStart)
        return false;
    if (c == ' ' || c == '\t') {
        step_ = Step::SizeSpace;
        return CountLineByte(kSizeLineLimit);
    }
    if (c == ';') {
        step_ = Step::Extension;
        return CountLineByte(kSizeLineLimit);
    }
    return c == '\r' || c == '\n' ? LineEnd(c) : false;
}

// CR then LF, or a bare LF, ends a size line.
bool ChunkedDecoder::LineEnd(char c) {
    if (c == '\r' && step_ != Step::SizeLineEnd) {
        step_ = Step::SizeLineEnd;
        return true;
    }
    if (c != '\n')
        return false;
    EndOfSizeLine();
    return true;
}

void ChunkedDecoder::EndOfSizeLine() {
    step_ = size_ == 0 ? Step::TrailerStart : Step::Data;
}

bool ChunkedDecoder::CountLineByte(std::size_t limit) {
    return ++lineBytes_ <= limit;
}

bool ChunkedDecoder::CountTrailerByte() {
    return ++trailerBytes_ <= kTrailerLimit;
}

}  // namespace orvane
