#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transfer/chunked_decoder.h"

namespace orvane {

// Reads one HTTP/1.0 or HTTP/1.1 response as its bytes arrive: the status
// line, the header fields (names compared without case), then the body,
// framed the way the header says: chunked, Content-Length bytes, or
// everything until the server closes. Bytes in, a state out, no I/O: the
// body goes to the sink (already decoded), and the outcome is the same
// whether the response comes in one read or one byte per read.
class HttpResponseReader {
  public:
    enum class State { NeedMore, Complete, Invalid };
    // Why a response is invalid.
    enum class Fault {
        None,
        BadHeader,  // not an HTTP response, a header without end, a length that is none
        BadChunk,   // a chunked body that breaks its own format
        CutBody,    // the server closed before the body's end
    };
    enum class Framing { UntilClose, Length, Chunked };
    using BodySink = std::function<void(std::string_view body)>;

    explicit HttpResponseReader(BodySink sink);
    HttpResponseReader(const HttpResponseReader&) = delete;
    HttpResponseReader& operator=(const HttpResponseReader&) = delete;

    // Takes the next bytes from the server. Bytes after the end of the body
    // are not part of the response and are dropped.
    State feed(std::string_view bytes);
    // The server has closed the connection: the end of a body that runs
    // until then, a cut body for the other framings.
    State finish();

    State state() const { return state_; }
    Fault fault() const { return fault_; }
    // The status code once the whole header has been read; 0 before.
    int status() const { return status_; }
    // The status line's reason phrase ("Proxy Authentication Required").
    const std::string& reason() const { return reason_; }
    // The value of the first field of that name, blanks around it removed.
    std::optional<std::string> field(std::string_view name) const;
    Framing framing() const { return framing_; }
    // The Content-Length of a body framed by it; -1 for the other framings.
    std::int64_t contentLength() const { return framing_ == Framing::Length ? length_ : -1; }

  private:
    State ReadHeader(std::string_view bytes);
    void ForgetInterimAnswer();
    // The position just past the blank line that ends the header; 0 while
    // it has not arrived.
    std::size_t FindHeaderEnd();
    bool ParseHeader(std::string_view header);
    bool ParseStatusLine(std::string_view line);
    void AddFieldLine(std::string_view line);
    bool SettleFraming();
    bool ReadTransferCodings(bool& chunked) const;
    bool ReadContentLength(std::optional<std::int64_t>& length) const;
    State ReadBody(std::string_view bytes);
    State Fail(Fault fault);

    BodySink sink_;
    State state_ = State::NeedMore;
    Fault fault_ = Fault::None;
    bool headerDone_ = false;
    std::string head_;
    std::size_t scanned_ = 0;
    int status_ = 0;
    std::string reason_;
    std::vector<std::pair<std::string, std::string>> fields_;
    Framing framing_ = Framing::UntilClose;
    std::int64_t length_ = 0;
    std::int64_t remaining_ = 0;
    ChunkedDecoder chunked_;
};

}  // namespace orvane
