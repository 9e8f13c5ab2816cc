// The HTTP client's receive loop and its judgement of a response, fed with
// arbitrary server bytes in arbitrary pieces. Whatever arrives, the response
// ends in success or in one of the client's own failure texts; a good
// response stores exactly what followed the header, and the body's count
// matches the file.
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/transfer_fuzz_rig.h"

namespace {

using orvane::ByteStream;
using orvane::CTransferDlg;
using orvane::fuzz::require;
using orvane::testing::ScriptedStream;

bool KnownFailure(const std::string& text) {
    for (std::string_view known :
         {"File Length Error", "Header Error", "File Not Found", "Write File Error", "Read Error"})
        if (text == known)
            return true;
    return false;
}

// The body as the server sent it: everything after the first blank line.
std::string SentBody(const std::string& sent) {
    std::size_t end = sent.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : sent.substr(end + 4);
}

std::string Joined(const std::deque<std::string>& pieces) {
    std::string all;
    for (const std::string& piece : pieces)
        all += piece;
    return all;
}

void CheckGoodResponse(CTransferDlg& dialog, const std::string& sent, const std::string& path) {
    require(dialog.m_szError.get().empty(), "a good response has no failure text");
    require(sent.compare(0, 15, "HTTP/1.1 200 OK") == 0, "only a 200 status is good");
    require(dialog.m_pFile->Commit(), "the good file can be committed");
    std::string stored = orvane::testing::ReadFile(path);
    std::string body = SentBody(sent);
    require(stored.size() == static_cast<std::size_t>(dialog.m_nReceived.load()),
            "the count is what was stored");
    require(body.compare(0, stored.size(), stored) == 0,
            "what is stored is the start of the body as sent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvane::fuzz::TransferRig rig;
    FuzzedDataProvider input(data, size);
    auto ending =
        input.ConsumeBool() ? ScriptedStream::Ending::Close : ScriptedStream::Ending::Fail;
    std::deque<std::string> pieces = orvane::fuzz::TakePieces(input);
    std::string sent = Joined(pieces);

    CTransferDlg& dialog = rig.NewDialogWithFile();
    ScriptedStream stream(std::move(pieces), ending);
    int result = dialog.ReceiveHttpResponse(stream);
    require(stream.closed, "the connection is closed at the end");
    require(result == 0 || result == 1, "the client answers 0 or 1");
    require((result == 0) == (dialog.m_bFailed == 1), "a failure is flagged as one");
    if (result == 1)
        CheckGoodResponse(dialog, sent, rig.finalPath());
    else
        require(KnownFailure(dialog.m_szError.get()), "a failure says one of the client's texts");
    require(dialog.m_nPercent >= 0, "the percentage is never negative");
    dialog.m_pFile->Discard();
    require(rig.NoTemporaryFileLeft(), "no temporary file is left behind");
    return 0;
}
