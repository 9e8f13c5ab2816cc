// Cancel at many points of both protocols: control comes back at once, the
// worker has ended, the partial file is gone and an earlier file of the same
// name is as it was. The suite also runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/blocked_listener.h"
#include "tools/transfer_peers/scripted_ftp_server.h"
#include "tools/transfer_peers/scripted_http_server.h"

namespace orvane::testing {
namespace {

using peers::FtpScript;
using peers::HttpScript;
using peers::ScriptedFtpServer;
using peers::ScriptedHttpServer;

constexpr char kEarlier[] = "the file the user already had";

// A transfer of ev.sac into a folder that already holds a good ev.sac.
struct CancelCase {
    CancelCase() { WriteFile(harness.downloadPath("downloads/ev.sac"), kEarlier); }
    void Start(const std::string& scheme, const std::string& host) {
        harness.Start(scheme + "://" + host + "/quakes/ev.sac", scheme != "ftp");
    }
    // Cancels once the condition holds and checks everything a Cancel leaves.
    void CancelWhen(const std::function<bool()>& condition) {
        ASSERT_TRUE(harness.RunUntil(condition, 20000)) << "the transfer never got there";
        ASSERT_EQ(harness.dialog->m_bBusy, 1);
        EXPECT_LT(harness.CancelTimed(), 250.0);
        CTransferDlg& dialog = *harness.dialog;
        EXPECT_FALSE(dialog.m_hThread.joinable());
        EXPECT_EQ(dialog.m_bFailed, 1);
        EXPECT_EQ(dialog.m_szError.get(), "Canceled");
        EXPECT_EQ(dialog.m_szReceived.get(), "");
        EXPECT_EQ(harness.surface.text(262), "");
        EXPECT_EQ(harness.surface.text(261), "");
        EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDOK});
        EXPECT_EQ(dialog.m_pFile, nullptr);
        EXPECT_EQ(dialog.m_ctrlSocket, nullptr);
        EXPECT_EQ(harness.app.m_pActiveTransfer.load(), nullptr);
        EXPECT_TRUE(harness.hiddenFiles().empty());
        EXPECT_EQ(ReadFile(harness.downloadPath("downloads/ev.sac")), kEarlier);
        // Nothing is left to call the dialog afterwards: no timer, no socket
        // watch, and what was posted before the end changes nothing.
        EXPECT_EQ(harness.dialogLoop.liveHandles(), 0);
        harness.RunPending();
        EXPECT_EQ(harness.surface.endCodes.size(), 1u);
        EXPECT_EQ(dialog.m_szError.get(), "Canceled");
    }
    TransferHarness harness;
};

// A lookup that takes far longer than anyone waits for a Cancel; it says
// when it has begun, so that the Cancel comes while it runs.
std::atomic<bool> lookupBegun{false};
std::vector<NetAddress> SlowLookup(const std::string&) {
    lookupBegun = true;
    std::this_thread::sleep_for(std::chrono::seconds(3));
    return {};
}

TEST(TransferCancel, HttpDuringTheNameLookup) {
    CancelCase c;
    lookupBegun = false;
    c.harness.dialog->nameLookup = SlowLookup;
    c.Start("http", "slow-name:8080");
    c.CancelWhen([] { return lookupBegun.load(); });
}

TEST(TransferCancel, HttpDuringTheConnect) {
    peers::BlockedListener blocked;
    int fillers = blocked.pendingConnects();
    CancelCase c;
    c.Start("http", "127.0.0.1:" + std::to_string(blocked.port()));
    // The client's own connect is pending in the kernel when Cancel comes.
    c.CancelWhen([&] {
        return blocked.pendingConnects() > fillers &&
               c.harness.dialog->m_szStatus.get() == "Connecting to host...";
    });
}

TEST(TransferCancel, HttpWhileTheServerNeverAnswers) {
    ScriptedHttpServer server(HttpScript{{}, true});
    CancelCase c;
    c.Start("http", server.host());
    c.CancelWhen([&] { return !server.requests().empty(); });
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.clientClosed(); }, 5000));
}

TEST(TransferCancel, HttpInTheMiddleOfTheBody) {
    std::string response = ScriptedHttpServer::Response("HTTP/1.1 200 OK", PatternBytes(200000));
    ScriptedHttpServer server(HttpScript{{{response.substr(0, 100000)}}, true});
    CancelCase c;
    c.Start("http", server.host());
    c.CancelWhen([&] { return c.harness.dialog->m_nReceived > 50000; });
}

// The server takes the connection and the TLS greeting and never answers:
// the handshake waits like a plain receive and stops as soon on Cancel.
TEST(TransferCancel, HttpsDuringTheHandshake) {
    ScriptedHttpServer server(HttpScript{{}, true});
    CancelCase c;
    c.Start("https", server.host());
    c.CancelWhen([&] { return server.requestBegun(); });
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.clientClosed(); }, 8000));
}

TEST(TransferCancel, FtpDuringTheNameLookup) {
    CancelCase c;
    lookupBegun = false;
    c.harness.dialog->nameLookup = SlowLookup;
    c.Start("ftp", "slow-name");
    c.CancelWhen([] { return lookupBegun.load(); });
}

TEST(TransferCancel, FtpDuringTheConnect) {
    peers::BlockedListener blocked;
    int fillers = blocked.pendingConnects();
    CancelCase c;
    c.Start("ftp", "127.0.0.1:" + std::to_string(blocked.port()));
    // The client's own connect is pending in the kernel when Cancel comes.
    c.CancelWhen([&] {
        return blocked.pendingConnects() > fillers &&
               c.harness.dialog->m_szStatus.get() == "Connecting to host...";
    });
}

TEST(TransferCancel, FtpDuringTheLogin) {
    FtpScript script;
    script.answerUser = false;
    ScriptedFtpServer server(script);
    CancelCase c;
    c.Start("ftp", server.host());
    c.CancelWhen([&] { return !server.commands().empty(); });
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.sessionEnded(); }, 5000));
}

TEST(TransferCancel, FtpInTheMiddleOfTheData) {
    FtpScript script;
    script.file = PatternBytes(300000);
    script.stallAfter = 100000;
    ScriptedFtpServer server(script);
    CancelCase c;
    c.Start("ftp", server.host());
    c.CancelWhen([&] { return c.harness.dialog->m_nReceived >= 100000; });
}

// After the RETR of active mode is refused (425) and the client has gone
// on to passive mode, whose data then trickle in: the moment is seen
// however slowly the machine runs, and the transfer is still going.
TEST(TransferCancel, FtpWhileWaitingAfterARefusal) {
    FtpScript script;
    script.retrieve = FtpScript::Retrieve::Refuse425;
    script.file = PatternBytes(1000);
    script.dataPaceMs = 50;
    ScriptedFtpServer server(script);
    CancelCase c;
    c.Start("ftp", server.host());
    c.CancelWhen([&] { return server.commands().size() >= 6; });
}

// Between two tries (a wait of a minute) and in the middle of a resumed
// try: the Cancel is as prompt and leaves as little as anywhere else.
TEST(TransferCancel, HttpDuringTheWaitBetweenTriesAndDuringAResumedTry) {
    peers::ServedFile file{PatternBytes(300000), "\"v1\"", "", {50000, 50000}};
    ScriptedHttpServer waiting(HttpScript{{}, false, false, {}, {}, file}, 30, 8);
    CancelCase between;
    between.harness.dialog->retryWaitsMs = {60000};
    between.Start("http", waiting.host());
    between.CancelWhen([&] {
        return between.harness.surface.text(258).starts_with("Connection lost at 50.0 of 300.0 kB");
    });
    // The first cut took the file further: its next try came at once.
    EXPECT_EQ(waiting.requests().size(), 2u);

    file.cutAt = {50000};
    file.holdAt = {-1, 120000};
    ScriptedHttpServer holding(HttpScript{{}, false, false, {}, {}, file}, 30, 8);
    CancelCase resumed;
    resumed.Start("http", holding.host());
    resumed.CancelWhen([&] { return resumed.harness.dialog->m_nReceived >= 120000; });
    EXPECT_EQ(holding.requests().size(), 2u);
}

TEST(TransferCancel, FtpDuringTheWaitBetweenTriesAndDuringAResumedTry) {
    FtpScript script;
    script.file = PatternBytes(300000);
    script.cutsBySession = {50000, 50000};
    ScriptedFtpServer waiting(script, 30, 4);
    CancelCase between;
    between.harness.dialog->retryWaitsMs = {60000};
    between.Start("ftp", waiting.host());
    between.CancelWhen([&] {
        return between.harness.surface.text(258).starts_with("Connection lost at 50.0 of 300.0 kB");
    });

    script.cutsBySession = {50000};
    script.stallAfter = 100000;  // of what the resumed session sends
    ScriptedFtpServer stalling(script, 30, 4);
    CancelCase resumed;
    resumed.Start("ftp", stalling.host());
    resumed.CancelWhen([&] { return resumed.harness.dialog->m_nReceived >= 150000; });
    auto commands = stalling.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "REST 50000"), 1);
}

TEST(TransferCancel, CloseRightAfterTheStart) {
    ScriptedHttpServer server(HttpScript{{}, true});
    CancelCase http;
    http.Start("http", server.host());
    http.CancelWhen([] { return true; });
    FtpScript script;
    script.answerUser = false;
    ScriptedFtpServer ftpServer(script);
    CancelCase ftp;
    ftp.Start("ftp", ftpServer.host());
    ftp.CancelWhen([] { return true; });
}

}  // namespace
}  // namespace orvane::testing
