#include "transfer/http_response_reader.h"

#include <algorithm>

#include "platform/ascii_text.h"

namespace orvane {

namespace {

// A header still without its end after this many bytes is not one.
constexpr std::size_t kHeaderLimit = 64 * 1024;
constexpr std::string_view kHttpName = "HTTP/";
// "HTTP/1.1 200": the version, a blank and three digits.
constexpr std::size_t kShortestStatusLine = 12;
// Statuses below are interim answers, followed by the real one.
constexpr int kFirstFinalStatus = 200;

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Calls take(item) for each item of a comma-separated field value, blanks
// removed; stops at the first item it refuses.
template <typename Take>
bool ForEachItem(std::string_view value, Take take) {
    for (;;) {
        std::size_t comma = value.find(',');
        if (!take(TrimBlanks(value.substr(0, comma))))
            return false;
        if (comma == std::string_view::npos)
            return true;
        value.remove_prefix(comma + 1);
    }
}

// ForEachItem over every field of that (lower-case) name, in order.
template <typename Take>
bool ForEachItemOf(const std::vector<std::pair<std::string, std::string>>& fields,
                   std::string_view name, Take take) {
    for (const auto& [fieldName, value] : fields)
        if (fieldName == name && !ForEachItem(value, take))
            return false;
    return true;
}

// A length is decimal digits and nothing else, and fits 63 bits.
std::optional<std::int64_t> ParseLength(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (!isAsciiDigit(c) || value > (INT64_MAX - 9) / 10)
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

HttpResponseReader::HttpResponseReader(BodySink sink)
    : sink_(std::move(sink)), chunked_([this](std::string_view data) { sink_(data); }) {}

HttpResponseReader::State HttpResponseReader::feed(std::string_view bytes) {
    if (state_ != State::NeedMore)
        return state_;
    return headerDone_ ? ReadBody(bytes) : ReadHeader(bytes);
}

HttpResponseReader::State HttpResponseReader::finish() {
    if (state_ != State::NeedMore)
        return state_;
    if (!headerDone_)
        return Fail(Fault::BadHeader);
    if (framing_ != Framing::UntilClose)
        return Fail(Fault::CutBody);
    state_ = State::Complete;
    return state_;
}

std::optional<std::string> HttpResponseReader::field(std::string_view name) const {
    std::string wanted = asciiLowered(name);
    for (const auto& [fieldName, value] : fields_)
        if (fieldName == wanted)
            return value;
    return std::nullopt;
}

// The header is looked for from the first byte on, in every read, until
// its blank line has come; what follows it in the same read is body. An
// interim answer (1xx: 100 Continue, 103 Early Hints) has no body: the real
// answer follows it.
HttpResponseReader::State HttpResponseReader::ReadHeader(std::string_view bytes) {
    for (;;) {
        std::size_t before = head_.size();
        head_.append(bytes);
        // Anything but an HTTP status line is refused from its first bytes.
        std::size_t known = std::min(head_.size(), kHttpName.size());
        if (std::string_view(head_).substr(0, known) != kHttpName.substr(0, known))
            return Fail(Fault::BadHeader);
        std::size_t end = FindHeaderEnd();
        if (end > kHeaderLimit || (end == 0 && head_.size() > kHeaderLimit))
            return Fail(Fault::BadHeader);
        if (end == 0)
            return state_;
        head_.resize(end);
        if (!ParseHeader(head_))
            return Fail(Fault::BadHeader);
        // The blank line's last byte came in this read: what follows is next.
        bytes = bytes.substr(end - before);
        if (status_ >= kFirstFinalStatus) {
            headerDone_ = true;
            return ReadBody(bytes);
        }
        ForgetInterimAnswer();
    }
}

void HttpResponseReader::ForgetInterimAnswer() {
    head_.clear();
    scanned_ = 0;
    status_ = 0;
    reason_.clear();
    fields_.clear();
    framing_ = Framing::UntilClose;
    length_ = remaining_ = 0;
}

// A blank line is LF LF or LF CR LF (servers end lines in CR LF, a few in LF
// alone). The scan resumes where the last read left it.
std::size_t HttpResponseReader::FindHeaderEnd() {
    for (; scanned_ < head_.size(); ++scanned_) {
        if (head_[scanned_] != '\n')
            continue;
        std::size_t next = scanned_ + 1;
        if (next < head_.size() && head_[next] == '\r')
            ++next;
        if (next >= head_.size())
            return 0;  // looked at again when more has come
        if (head_[next] == '\n')
            return next + 1;
    }
    return 0;
}

bool HttpResponseReader::ParseHeader(std::string_view header) {
    bool first = true;
    while (!header.empty()) {
        std::size_t lineEnd = header.find('\n');
        std::string_view line = header.substr(0, lineEnd);
        header.remove_prefix(lineEnd == std::string_view::npos ? header.size() : lineEnd + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first && !ParseStatusLine(line))
            return false;
        if (!first && !line.empty())
            AddFieldLine(line);
        first = false;
    }
    return SettleFraming();
}

// "HTTP/1.0" or "HTTP/1.1", a blank, three digits (100 or more), then the
// reason phrase (not looked at) or nothing.
bool HttpResponseReader::ParseStatusLine(std::string_view line) {
    if (line.size() < kShortestStatusLine)
        return false;
    std::string_view version = line.substr(0, 9);
    if (version != "HTTP/1.0 " && version != "HTTP/1.1 ")
        return false;
    if (!isAsciiDigit(line[9]) || !isAsciiDigit(line[10]) || !isAsciiDigit(line[11]))
        return false;
    if (line.size() > kShortestStatusLine && line[kShortestStatusLine] != ' ')
        return false;
    int status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    if (status < 100)
        return false;
    status_ = status;
    reason_ = std::string(line.substr(std::min(line.size(), kShortestStatusLine + 1)));
    return true;
}

// "Name: value". A line that begins with a blank continues the field before
// it (the old folding); a line without a colon is no field and is skipped.
void HttpResponseReader::AddFieldLine(std::string_view line) {
    if (line.front() == ' ' || line.front() == '\t') {
        if (!fields_.empty())
            fields_.back().second += " " + std::string(TrimBlanks(line));
        return;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    fields_.emplace_back(asciiLowered(line.substr(0, colon)),
                         std::string(TrimBlanks(line.substr(colon + 1))));
}

// Chunked when the transfer codings say so; else the Content-Length; else
// the body runs until the server closes.
bool HttpResponseReader::SettleFraming() {
    bool chunked = false;
    if (!ReadTransferCodings(chunked))
        return false;
    if (chunked) {
        framing_ = Framing::Chunked;
        return true;
    }
    std::optional<std::int64_t> length;
    if (!ReadContentLength(length))
        return false;
    if (length) {
        framing_ = Framing::Length;
        length_ = remaining_ = *length;
    }
    return true;
}

// "chunked", once and last; a coding this client cannot undo (gzip, ...)
// would store other bytes than the file's, and is refused.
bool HttpResponseReader::ReadTransferCodings(bool& chunked) const {
    auto take = [&chunked](std::string_view item) {
        std::string coding = asciiLowered(item);
        if (coding.empty() || coding == "identity")
            return true;
        bool first = coding == "chunked" && !chunked;
        chunked = true;
        return first;
    };
    return ForEachItemOf(fields_, "transfer-encoding", take);
}

// One number, however often it is given; two that differ, or one that is
// no number, make the body's end unknown.
bool HttpResponseReader::ReadContentLength(std::optional<std::int64_t>& length) const {
    auto take = [&length](std::string_view item) {
        auto parsed = ParseLength(item);
        bool agrees = parsed && (!length || *length == *parsed);
        length = parsed;
        return agrees;
    };
    return ForEachItemOf(fields_, "content-length", take);
}

HttpResponseReader::State HttpResponseReader::ReadBody(std::string_view bytes) {
    if (framing_ == Framing::Chunked) {
        ChunkedDecoder::State decoded = chunked_.feed(bytes);
        if (decoded == ChunkedDecoder::State::Invalid)
            return Fail(Fault::BadChunk);
        if (decoded == ChunkedDecoder::State::Complete)
            state_ = State::Complete;
        return state_;
    }
    if (framing_ == Framing::Length) {
        std::size_t take = static_cast<std::size_t>(
            std::min<std::int64_t>(remaining_, static_cast<std::int64_t>(bytes.size())));
        bytes = bytes.substr(0, take);
        remaining_ -= static_cast<std::int64_t>(take);
        if (remaining_ == 0)
            state_ = State::Complete;
    }
    if (!bytes.empty())
        sink_(bytes);
    return state_;
}

HttpResponseReader::State HttpResponseReader::Fail(Fault fault) {
    fault_ = fault;
    state_ = State::Invalid;
    return state_;
}

}  // namespace orvane
