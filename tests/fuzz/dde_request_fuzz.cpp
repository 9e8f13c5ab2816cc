// The DDE server's request reader: any byte stream, in any pieces, must end
// in the same state as when it arrives whole, and a complete request must be
// exactly the bytes its topic and command encode to.
//
// Input: one byte that seeds the piece sizes, then the stream.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "platform/dde/dde_channel.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using orvane::DdeRequestReader;
using orvane::fuzz::require;

// Piece sizes from a small generator, so that one seed byte gives many.
class PieceSizes {
  public:
    explicit PieceSizes(std::uint8_t seed) : state_(seed * 2654435761u + 1) {}
    std::size_t next() {
        state_ = state_ * 1103515245u + 12345u;
        return 1 + (state_ >> 16) % 17;
    }

  private:
    std::uint32_t state_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    DdeRequestReader whole;
    whole.feed(stream);

    DdeRequestReader pieces;
    PieceSizes sizes(data[0]);
    for (std::string_view rest = stream; !rest.empty();) {
        const std::size_t take = std::min(sizes.next(), rest.size());
        const auto before = pieces.state();
        const auto after = pieces.feed(rest.substr(0, take));
        require(
            before != DdeRequestReader::State::Invalid || after == DdeRequestReader::State::Invalid,
            "a refused request stays refused");
        rest.remove_prefix(take);
    }
    require(pieces.state() == whole.state(), "pieces end where the whole stream ends");
    if (whole.state() == DdeRequestReader::State::Complete) {
        require(pieces.topic() == whole.topic() && pieces.command() == whole.command(),
                "pieces give the same request");
        require(orvane::encodeDdeRequest(whole.topic(), whole.command()) == stream,
                "a complete request is exactly its encoding");
        require(!whole.topic().empty() && whole.topic().size() <= orvane::kDdeMaxTopicBytes &&
                    whole.command().size() <= orvane::kDdeMaxCommandBytes,
                "a complete request keeps its bounds");
    }
    return 0;
}
