// The FTP client's user-interface side fed with scripted bytes: replies on
// the control connection, the command pump, the data connection's pieces.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "tests/transfer/transfer_harness.h"
#include "transfer/socket_relay.h"

namespace orvane::testing {
namespace {

ScriptedStream* UseControl(CTransferDlg& dialog, std::deque<std::string> replies) {
    auto stream =
        std::make_unique<ScriptedStream>(std::move(replies), ScriptedStream::Ending::WouldBlock);
    ScriptedStream* raw = stream.get();
    dialog.m_ctrlSocket = std::make_unique<FtpSocket>();
    dialog.m_ctrlSocket->stream = std::move(stream);
    return raw;
}

void UseData(CTransferDlg& dialog, std::deque<std::string> pieces,
             ScriptedStream::Ending ending = ScriptedStream::Ending::Close) {
    dialog.m_dataSocket = std::make_unique<FtpSocket>();
    dialog.m_dataSocket->stream = std::make_unique<ScriptedStream>(std::move(pieces), ending);
    dialog.m_nChunk = 1024;
}

// What one split produces for the bytes cut into the given pieces.
std::vector<std::string> Split(const std::vector<std::string>& pieces) {
    FtpReplySplitter splitter;
    std::vector<std::string> replies;
    for (const std::string& piece : pieces)
        for (const FtpReply& reply : splitter.Take(piece))
            replies.push_back(std::to_string(reply.code) + "|" + reply.text);
    return replies;
}

TEST(FtpReplySplitter, ReadsCutAnywhereGiveTheSameCompleteReplies) {
    std::string bytes =
        "220-Welcome\r\n  230 an indented line inside\r\n221 another code inside\r\n"
        "220 Ready\r\nnot a reply\r\n331 Password\n230 Done\r\n150 Opening";
    std::vector<std::string> expected = {
        "220|220-Welcome\r\n  230 an indented line inside\r\n221 another code inside\r\n220 "
        "Ready",
        "331|331 Password", "230|230 Done"};
    EXPECT_EQ(Split({bytes}), expected);
    std::vector<std::string> bytewise;
    for (char c : bytes)
        bytewise.emplace_back(1, c);
    EXPECT_EQ(Split(bytewise), expected);
    EXPECT_EQ(Split({bytes, "\r\n"}).back(), "150|150 Opening");
    FtpReplySplitter splitter;
    splitter.Take(std::string(100000, 'x') + "\r\n" + "230-" + std::string(100000, 'y') + "\n");
    EXPECT_TRUE(splitter.Pending());
    auto replies = splitter.Take("230 end\r\n");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_LE(replies[0].text.size(), FtpReplySplitter::kMaxReply);
    EXPECT_EQ(replies[0].LastLine(), "230 end");
}

TEST(FtpControlReplies, EveryCompleteReplyInAReadIsClassifiedOnce) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    UseControl(dialog, {"220 Wel", "come\r\n331 Password please\r\n230 Logged in\r\n",
                        "150 Opening (2,048 bytes)\r\n550 No such file\r\n",
                        "530-Login\r\n530 incorrect\r\n"});
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_bReplyIn, 0);  // half a reply is none
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_bReplyIn, 1);
    EXPECT_EQ(dialog.m_bLoggedIn, 1);
    EXPECT_EQ(dialog.m_szReply, "230 Logged in");
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_nExpected, 2048);
    EXPECT_EQ(dialog.m_bNotFound, 1);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_bLoginFailed, 1);
    EXPECT_EQ(dialog.m_szReply, "530-Login\r\n530 incorrect");
}

TEST(FtpControlReplies, LoginAndSizeFlagsComeFromTheirReplies) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    UseControl(dialog, {"230 Login successful.\r\n", "150 Opening BINARY mode.\r\n"});
    dialog.m_nExpected = 99;
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_bLoggedIn, 1);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_nExpected, 0);  // every 150 sets the size anew
}

TEST(FtpControlReplies, WriteReadyDrainDropsAGreetingEvenWhenOnlyItsStartHadCome) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    UseControl(dialog, {"220-Welcome\r\n220-", "more\r\n220 Ready\r\n", "331 Password please\r\n"});
    dialog.OnControlEvent(0, FD_WRITE);
    EXPECT_EQ(dialog.m_bReplyIn, 0);
    dialog.OnControlEvent(0, FD_READ);  // the greeting's rest
    EXPECT_EQ(dialog.m_bReplyIn, 0);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_szReply, "331 Password please");
    dialog.OnControlEvent(0, FD_CLOSE);
    EXPECT_EQ(dialog.m_ctrlSocket, nullptr);
    dialog.OnControlEvent(0, FD_READ);  // nothing to read any more: an empty reply
    EXPECT_EQ(dialog.m_szReply, "");
}

TEST(FtpCommandPump, OneLineOutPerReplySentAsSoonAsTheReplyIsHandled) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    ScriptedStream* control = UseControl(dialog, {"331 Password please\r\n"});
    dialog.m_commands = {"USER anonymous", "PASS FtpGuest01@"};
    dialog.PumpCommands();
    EXPECT_EQ(control->sent, "USER anonymous\r\n");
    EXPECT_EQ(dialog.m_nSendState, 1);
    dialog.PumpCommands();  // no reply yet: nothing more goes out
    dialog.PumpCommands();
    EXPECT_EQ(control->sent, "USER anonymous\r\n");
    dialog.OnControlEvent(0, FD_READ);  // the reply sends the next line at once
    EXPECT_EQ(control->sent, "USER anonymous\r\nPASS FtpGuest01@\r\n");
    EXPECT_TRUE(dialog.m_commands.empty());
}

TEST(FtpCommandPump, WithoutAControlConnectionTheLineIsTakenButNotSent) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    dialog.m_commands = {"USER anonymous"};
    dialog.PumpCommands();
    EXPECT_EQ(dialog.m_nSendState, 1);
    EXPECT_TRUE(dialog.m_commands.empty());
}

struct DataCase {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    std::string finalPath = harness.downloadPath("downloads/ev.seed");
    DataCase() {
        dialog.m_pFile = std::make_unique<LocalFile>(finalPath);
        dialog.m_bRetrieving = 1;
    }
    std::string Stored() {
        EXPECT_TRUE(dialog.m_pFile->Commit());
        return ReadFile(finalPath);
    }
};

TEST(FtpDataConnection, PiecesOfAtMostTheChunkGoToTheFile) {
    DataCase c;
    std::string file = PatternBytes(2500);
    UseData(c.dialog, {file});
    c.dialog.m_nExpected = 2500;
    c.dialog.OnDataEvent(0, FD_READ);
    EXPECT_EQ(c.dialog.m_nReceived, 1024);
    c.dialog.OnDataEvent(0, FD_READ);
    c.dialog.OnDataEvent(0, FD_READ);
    EXPECT_EQ(c.dialog.m_nReceived, 2500);
    EXPECT_EQ(c.dialog.m_bDataDone, 0);
    c.dialog.OnTimer();  // the texts as the dialog shows them
    EXPECT_EQ(c.harness.surface.text(259), "2.5 of 2.5 kB");
    EXPECT_EQ(c.harness.surface.text(1003), "100%");
    EXPECT_EQ(c.harness.surface.position, 100);
    c.dialog.OnDataEvent(0, FD_CLOSE);
    EXPECT_EQ(c.dialog.m_bDataDone, 1);
    EXPECT_EQ(c.dialog.m_bRetrieving, 0);
    EXPECT_EQ(c.dialog.m_dataSocket, nullptr);
    EXPECT_EQ(c.Stored(), file);
}

TEST(FtpDataConnection, CloseDrainsWhatIsLeftAndWithoutSizeShowsTheCount) {
    DataCase c;
    std::string file = PatternBytes(5000);
    UseData(c.dialog, {file});
    c.dialog.OnDataEvent(0, FD_CLOSE);
    EXPECT_EQ(c.dialog.m_bDataDone, 1);
    c.dialog.OnTimer();
    EXPECT_EQ(c.harness.surface.text(259), "5.0 kB");
    EXPECT_EQ(c.harness.surface.text(1003), "(never set)");
    EXPECT_EQ(c.Stored(), file);
}

TEST(FtpDataConnection, AReceiveErrorOrAShortWriteFails) {
    DataCase broken;
    UseData(broken.dialog, {"abc"}, ScriptedStream::Ending::Fail);
    broken.dialog.OnDataEvent(0, FD_READ);
    broken.dialog.OnDataEvent(0, FD_READ);
    EXPECT_EQ(broken.dialog.m_szError.get(), "Data Read Error");
    EXPECT_EQ(broken.dialog.m_bFailed, 1);
    EXPECT_EQ(broken.dialog.m_bDataDone, 1);
    EXPECT_EQ(broken.dialog.m_bRetrieving, 0);

    DataCase full;
    full.dialog.m_pFile->Discard();  // writes fall short from here on
    UseData(full.dialog, {"abc"});
    full.dialog.OnDataEvent(0, FD_READ);
    EXPECT_EQ(full.dialog.m_szError.get(), "Write File Error");
    EXPECT_EQ(full.dialog.m_bFailed, 1);
    EXPECT_EQ(full.dialog.m_bDataDone, 1);
}

TEST(FtpDataConnection, BytesBeforeRetrievingAreDropped) {
    DataCase c;
    c.dialog.m_bRetrieving = 0;
    UseData(c.dialog, {"listing"});
    c.dialog.OnDataEvent(0, FD_READ);
    EXPECT_EQ(c.dialog.m_nReceived, 0);
    EXPECT_EQ(c.Stored(), "");
}

TEST(FtpRelay, NotificationsReachOnlyTheActiveTransfer) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    UseControl(dialog, {"230 in\r\n", "230 in\r\n"});
    EXPECT_EQ(RelayFtpMessage(harness.app, WM_FTP_CONTROL, 7, FD_READ), 0);
    EXPECT_EQ(dialog.m_bLoggedIn, 0);  // none is active: dropped
    harness.app.m_pActiveTransfer = &dialog;
    RelayFtpMessage(harness.app, WM_FTP_CONTROL, 7, FD_READ);
    EXPECT_EQ(dialog.m_bLoggedIn, 1);
    dialog.m_listenSocket = std::make_unique<FtpSocket>();
    dialog.m_listenSocket->listener = UniqueFd(::socket(AF_INET, SOCK_STREAM, 0));
    RelayFtpMessage(harness.app, WM_FTP_LISTEN, 7, FD_CLOSE);
    EXPECT_EQ(dialog.m_listenSocket, nullptr);
    dialog.ResetFtp();
    EXPECT_EQ(harness.app.m_pActiveTransfer.load(), nullptr);
    EXPECT_EQ(dialog.m_ctrlSocket, nullptr);
    EXPECT_EQ(dialog.m_bLoggedIn, 0);
}

}  // namespace
}  // namespace orvane::testing
