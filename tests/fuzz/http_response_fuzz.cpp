// The HTTP client's receive loop and its judgement of a response, fed with
// arbitrary server bytes in arbitrary pieces. Whatever arrives, the response
// ends stored, redirected or in one of the client's own failure texts; a
// stored file is exactly the body that the same bytes give when read in
// one piece, and the body's count matches the file.
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/transfer_fuzz_rig.h"
#include "transfer/http_response_reader.h"

namespace {

using orvane::ByteStream;
using orvane::CTransferDlg;
using orvane::HttpResponseReader;
using orvane::fuzz::require;
using orvane::testing::ScriptedStream;
using Exchange = CTransferDlg::HttpExchange;

bool KnownFailure(const std::string& text) {
    for (std::string_view known : {"Header Error", "File Not Found", "Write File Error",
                                   "Read Error", "Chunk Format Error", "Incomplete File Error"})
        if (text == known)
            return true;
    return false;
}

std::string Joined(const std::deque<std::string>& pieces) {
    std::string all;
    for (const std::string& piece : pieces)
        all += piece;
    return all;
}

// The body of the bytes read in one piece, and the end of the connection.
std::string BodyInOnePiece(const std::string& sent, bool closed, HttpResponseReader::State& state,
                           int& status) {
    std::string body;
    HttpResponseReader reader([&body](std::string_view bytes) { body += bytes; });
    reader.feed(sent);
    state = closed ? reader.finish() : reader.state();
    status = reader.status();
    return body;
}

void CheckStored(CTransferDlg& dialog, const std::string& sent, bool closed,
                 const std::string& path) {
    require(dialog.m_szError.get().empty(), "a good response has no failure text");
    HttpResponseReader::State state;
    int status = 0;
    std::string body = BodyInOnePiece(sent, closed, state, status);
    require(status == 200, "only a 200 status is stored");
    require(state == HttpResponseReader::State::Complete, "only a whole body is stored");
    require(dialog.m_pFile->Commit(), "the good file can be committed");
    std::string stored = orvane::testing::ReadFile(path);
    require(stored == body, "what is stored is the body, whatever the pieces");
    require(stored.size() == static_cast<std::size_t>(dialog.m_nReceived.load()),
            "the count is what was stored");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvane::fuzz::TransferRig rig;
    FuzzedDataProvider input(data, size);
    bool closed = input.ConsumeBool();
    auto ending = closed ? ScriptedStream::Ending::Close : ScriptedStream::Ending::Fail;
    std::deque<std::string> pieces = orvane::fuzz::TakePieces(input);
    std::string sent = Joined(pieces);

    CTransferDlg& dialog = rig.NewDialogWithFile();
    ScriptedStream stream(std::move(pieces), ending);
    std::string location;
    Exchange result = dialog.ReceiveHttpResponse(stream, location);
    require(stream.closed, "the connection is closed at the end");
    require(result != Exchange::Stopped, "nothing stops a transfer that no one cancels");
    require((result == Exchange::Failed) == (dialog.m_bFailed == 1), "a failure is flagged");
    if (result == Exchange::Stored)
        CheckStored(dialog, sent, closed, rig.finalPath());
    if (result == Exchange::Failed)
        require(KnownFailure(dialog.m_szError.get()), "a failure says one of the client's texts");
    if (result == Exchange::Redirected)
        require(dialog.m_nReceived == 0, "a redirect stores nothing");
    require(dialog.m_nPercent >= 0 && dialog.m_nPercent <= 100, "the percentage is 0 to 100");
    dialog.m_pFile->Discard();
    require(rig.NoTemporaryFileLeft(), "no temporary file is left behind");
    return 0;
}
