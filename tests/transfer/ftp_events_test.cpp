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

TEST(FtpControlReplies, EachReadIsOneReplyClassifiedByItsCode) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    UseControl(dialog, {"220 Welcome\r\n", "331 Password please\r\n230 Logged in\r\n",
                        "150 Opening (2,048 bytes)\r\n", "550 No such file\r\n",
                        "530 Login incorrect\r\n"});
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_szReply, "220 Welcome\r\n");
    EXPECT_EQ(dialog.m_bReplyIn, 1);
    dialog.m_bReplyIn = 0;
    dialog.OnControlEvent(0, FD_READ);  // two replies in one read count as the first
    EXPECT_EQ(dialog.m_bReplyIn, 1);
    EXPECT_EQ(dialog.m_bLoggedIn, 0);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_nExpected, 2048);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_bNotFound, 1);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_bLoginFailed, 1);
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

TEST(FtpControlReplies, WriteReadyDrainDropsAGreetingAndCloseEndsTheConnection) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    UseControl(dialog, {"220 Welcome\r\n", "331 Password please\r\n"});
    dialog.OnControlEvent(0, FD_WRITE);
    EXPECT_EQ(dialog.m_bReplyIn, 0);
    dialog.OnControlEvent(0, FD_READ);
    EXPECT_EQ(dialog.m_szReply, "331 Password please\r\n");
    dialog.OnControlEvent(0, FD_CLOSE);
    EXPECT_EQ(dialog.m_ctrlSocket, nullptr);
    dialog.OnControlEvent(0, FD_READ);  // nothing to read any more: an empty reply
    EXPECT_EQ(dialog.m_szReply, "");
}

TEST(FtpCommandPump, OneLineOutPerReplyEachFollowedByCrLf) {
    TransferHarness harness;
    CTransferDlg& dialog = *harness.dialog;
    ScriptedStream* control = UseControl(dialog, {});
    dialog.m_commands = {"USER anonymous", "PASS FtpGuest01@"};
    dialog.PumpCommands();
    EXPECT_EQ(control->sent, "USER anonymous\r\n");
    EXPECT_EQ(dialog.m_nSendState, 1);
    dialog.PumpCommands();  // no reply yet: nothing more goes out
    dialog.PumpCommands();
    EXPECT_EQ(control->sent, "USER anonymous\r\n");
    dialog.m_bReplyIn = 1;
    dialog.PumpCommands();  // the reply releases the pump ...
    EXPECT_EQ(dialog.m_nSendState, 0);
    EXPECT_EQ(control->sent, "USER anonymous\r\n");
    dialog.PumpCommands();  // ... and the next tick sends
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

TEST(FtpDataConnection, PiecesOfAtMost1024BytesGoToTheFile) {
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
    EXPECT_EQ(c.harness.surface.text(259), "2500 of 2500 bytes");
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
    EXPECT_EQ(c.harness.surface.text(259), "5000 bytes");
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
