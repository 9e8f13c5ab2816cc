// The FTP reply splitter fed with arbitrary bytes cut at arbitrary places:
// the replies do not depend on where the reads were cut, each is complete
// (its last line carries its code and a blank, or is the code alone) and
// bounded, and nothing is split twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "transfer/ftp_reply_splitter.h"

namespace {

using orvane::FtpReply;
using orvane::FtpReplySplitter;
using orvane::fuzz::require;

std::vector<FtpReply> SplitWhole(const std::string& bytes) {
    FtpReplySplitter splitter;
    return splitter.Take(bytes);
}

void CheckReply(const FtpReply& reply) {
    require(reply.code >= 1 && reply.code <= 999, "a reply has a three-digit code");
    require(reply.text.size() <= FtpReplySplitter::kMaxReply, "a reply is bounded");
    std::string last = reply.LastLine();
    require(last.size() >= 3 && std::stoi(last.substr(0, 3)) == reply.code,
            "the last line carries the code");
    require(last.size() == 3 || last[3] == ' ', "the last line ends the reply");
    require(std::stoi(reply.text.substr(0, 3)) == reply.code, "the first line carries the code");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<std::size_t> cuts;
    for (int i = input.ConsumeIntegralInRange<int>(0, 16); i > 0; --i)
        cuts.push_back(input.ConsumeIntegralInRange<std::size_t>(0, 4096));
    std::string bytes = input.ConsumeRemainingBytesAsString();

    FtpReplySplitter splitter;
    std::vector<FtpReply> pieces;
    std::size_t at = 0;
    for (std::size_t cut : cuts) {
        std::size_t length = std::min(cut, bytes.size() - at);
        for (FtpReply& reply : splitter.Take(std::string_view(bytes).substr(at, length)))
            pieces.push_back(std::move(reply));
        at += length;
    }
    for (FtpReply& reply : splitter.Take(std::string_view(bytes).substr(at)))
        pieces.push_back(std::move(reply));

    std::vector<FtpReply> whole = SplitWhole(bytes);
    require(pieces.size() == whole.size(), "the cuts do not change the number of replies");
    for (std::size_t i = 0; i < whole.size(); ++i) {
        require(pieces[i].code == whole[i].code && pieces[i].text == whole[i].text,
                "the cuts do not change a reply");
        CheckReply(whole[i]);
    }
    return 0;
}
