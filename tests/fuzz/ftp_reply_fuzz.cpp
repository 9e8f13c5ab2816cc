// The FTP client's user-interface side fed with arbitrary server bytes: the
// control connection's replies, the data connection's pieces and the socket
// events in any order. Replies are split into lines and classified by their
// code, the size of a 150 reply is never negative, and what the data
// connection stores is the start of what the server sent, counted exactly.
#include <sys/socket.h>

#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/transfer_fuzz_rig.h"
#include "transfer/socket_relay.h"

namespace {

using orvane::CTransferDlg;
using orvane::FD_CLOSE;
using orvane::FD_READ;
using orvane::FD_WRITE;
using orvane::FtpSocket;
using orvane::fuzz::require;
using orvane::testing::ScriptedStream;

std::deque<std::string> TakeSome(FuzzedDataProvider& input, std::string* joined) {
    std::deque<std::string> pieces;
    auto count = input.ConsumeIntegralInRange<int>(0, 8);
    for (int i = 0; i < count; ++i) {
        std::string piece =
            input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(1, 2048));
        if (piece.empty())
            break;
        if (joined != nullptr)
            *joined += piece;
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

void Attach(std::unique_ptr<FtpSocket>& socket, std::deque<std::string> pieces,
            ScriptedStream::Ending ending) {
    socket = std::make_unique<FtpSocket>();
    socket->stream = std::make_unique<ScriptedStream>(std::move(pieces), ending);
}

void CheckReply(const CTransferDlg& dialog) {
    const std::string& reply = dialog.m_szReply;
    require(reply.size() <= orvane::FtpReplySplitter::kMaxReply, "a reply is bounded");
    require(dialog.m_nExpected >= 0, "a size is never negative");
    if (reply.compare(0, 3, "150") == 0)
        require(dialog.m_nExpected == orvane::ParseReplySize(reply), "150 gives the size");
}

// One socket event or one tick of the dialog, as the input chooses.
void Step(CTransferDlg& dialog, FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
        case 1:
            dialog.OnControlEvent(0, FD_READ);
            CheckReply(dialog);
            break;
        case 2:
            dialog.OnControlEvent(0, input.ConsumeBool() ? FD_WRITE : FD_CLOSE);
            break;
        case 3:
            dialog.OnDataEvent(0, FD_READ);
            break;
        case 4:
            dialog.OnDataEvent(0, FD_CLOSE);
            break;
        default:
            dialog.OnTimer();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvane::fuzz::TransferRig rig;
    FuzzedDataProvider input(data, size);
    CTransferDlg& dialog = rig.NewDialogWithFile();
    std::string sentData;
    Attach(dialog.m_ctrlSocket, TakeSome(input, nullptr), ScriptedStream::Ending::WouldBlock);
    auto dataEnding =
        input.ConsumeBool() ? ScriptedStream::Ending::Close : ScriptedStream::Ending::Fail;
    Attach(dialog.m_dataSocket, TakeSome(input, &sentData), dataEnding);
    dialog.m_nChunk = input.ConsumeIntegralInRange<int>(1, 1024);
    dialog.m_bRetrieving = 1;
    dialog.m_commands = {"USER anonymous", "PASS FtpGuest01@", "TYPE I", "RETR /quakes/a.evt"};
    for (int steps = 0; steps < 64 && input.remaining_bytes() > 0; ++steps)
        Step(dialog, input);

    std::string sentSize = input.ConsumeRemainingBytesAsString();
    require(orvane::ParseReplySize(sentSize) >= 0, "a size is never negative");
    require(dialog.m_pFile->Commit(), "the file can be committed");
    std::string stored = orvane::testing::ReadFile(rig.finalPath());
    require(stored.size() == static_cast<std::size_t>(dialog.m_nReceived.load()),
            "the count is what was stored");
    require(sentData.compare(0, stored.size(), stored) == 0,
            "what is stored is the start of what was sent");
    dialog.ResetFtp();
    require(rig.NoTemporaryFileLeft(), "no temporary file is left behind");
    return 0;
}
