// The HTTP response reader and its chunked decoder, fed with arbitrary
// bytes in arbitrary pieces. Whatever arrives, the reading is the same in
// one piece, in the input's pieces and one byte at a time; a body that
// comes out complete has the length its header promised; and a body that
// is encoded in chunks (with extensions and trailers from the input) comes
// out of the decoder exactly as it went in.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/transfer_fuzz_rig.h"
#include "transfer/chunked_decoder.h"
#include "transfer/http_response_reader.h"

namespace {

using orvane::ChunkedDecoder;
using orvane::HttpResponseReader;
using orvane::fuzz::require;

// One byte at a time costs a call per byte: long inputs are read that way
// only up to this size.
constexpr std::size_t kByteByByteLimit = 8192;

struct Reading {
    HttpResponseReader::State state;
    HttpResponseReader::Fault fault;
    int status;
    std::int64_t length;
    std::string body;
    bool operator==(const Reading&) const = default;
};

Reading Read(const std::vector<std::string_view>& pieces, bool closed) {
    std::string body;
    HttpResponseReader reader([&body](std::string_view bytes) { body += bytes; });
    for (std::string_view piece : pieces)
        reader.feed(piece);
    if (closed)
        reader.finish();
    return {reader.state(), reader.fault(), reader.status(), reader.contentLength(), body};
}

std::vector<std::string_view> Views(const std::deque<std::string>& pieces) {
    return {pieces.begin(), pieces.end()};
}

std::vector<std::string_view> Bytes(std::string_view all) {
    std::vector<std::string_view> bytes;
    for (std::size_t at = 0; at < all.size(); ++at)
        bytes.push_back(all.substr(at, 1));
    return bytes;
}

void CheckResponse(FuzzedDataProvider& input) {
    bool closed = input.ConsumeBool();
    std::deque<std::string> pieces = orvane::fuzz::TakePieces(input);
    std::string all;
    for (const std::string& piece : pieces)
        all += piece;
    Reading whole = Read({all}, closed);
    require(Read(Views(pieces), closed) == whole, "the input's pieces read as the whole");
    if (all.size() <= kByteByByteLimit)
        require(Read(Bytes(all), closed) == whole, "one byte per read reads as the whole");
    bool complete = whole.state == HttpResponseReader::State::Complete;
    require(!complete || whole.status >= 200, "a complete response has a final status");
    require(!complete || whole.length < 0 ||
                whole.body.size() == static_cast<std::size_t>(whole.length),
            "a complete body has its Content-Length");
    require(whole.length < 0 || whole.body.size() <= static_cast<std::size_t>(whole.length),
            "never more body than the Content-Length");
    require((whole.state == HttpResponseReader::State::Invalid) ==
                (whole.fault != HttpResponseReader::Fault::None),
            "a fault exactly when the response is refused");
}

// Data chunks from the input, each with an extension, then trailers; the
// encoding cut into the input's pieces.
void CheckChunkRoundTrip(FuzzedDataProvider& input) {
    std::string data, encoded;
    while (input.remaining_bytes() > 0 && input.ConsumeBool()) {
        std::string chunk = input.ConsumeRandomLengthString(600);
        if (chunk.empty())
            continue;
        data += chunk;
        char size[32];
        std::snprintf(size, sizeof size, input.ConsumeBool() ? "%zx" : "%zX", chunk.size());
        std::string extension = input.ConsumeBool() ? ";name=\"v;1\"" : "";
        encoded += std::string(size) + extension + "\r\n" + chunk + "\r\n";
    }
    encoded += "0\r\n";
    if (input.ConsumeBool())
        encoded += "X-Trailer: " + std::to_string(data.size()) + "\r\n";
    encoded += "\r\n";
    std::string decoded;
    ChunkedDecoder decoder([&decoded](std::string_view bytes) { decoded += bytes; });
    std::string_view rest(encoded);
    while (!rest.empty()) {
        auto size = input.ConsumeIntegralInRange<std::size_t>(1, rest.size());
        decoder.feed(rest.substr(0, size));
        rest.remove_prefix(size);
    }
    require(decoder.state() == ChunkedDecoder::State::Complete, "a well-made body completes");
    require(decoded == data, "the chunks come out as they went in");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        CheckResponse(input);
    else
        CheckChunkRoundTrip(input);
    return 0;
}
