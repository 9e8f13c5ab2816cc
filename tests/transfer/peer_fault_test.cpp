// Faults of the network peers, through the whole dialog on loopback: a reset
// in the middle of the body, a header or a body without end, a server that
// sends one byte a second, an FTP server that hangs after the login, a reset
// data connection. Each ends in its failure text, or waits for Cancel where
// the protocol waits; Cancel always comes back at once, no temporary file
// stays and an earlier file of the same name keeps its bytes.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/peer_socket.h"
#include "tools/transfer_peers/scripted_ftp_server.h"
#include "tools/transfer_peers/scripted_http_server.h"
#include "transfer/wake_channel.h"

namespace orvane::testing {
namespace {

using peers::FtpScript;
using peers::HttpPart;
using peers::HttpScript;
using peers::ScriptedFtpServer;
using peers::ScriptedHttpServer;

constexpr char kEarlier[] = "the earlier ev.sac, which must survive";
// Cancel joins a worker that watches its wake channel in every wait: the
// dialog's tick (250 ms) and a little slack for a loaded machine.
constexpr double kCancelLimitMs = 350.0;

// A transfer of ev.sac into a folder that already holds a good ev.sac.
struct FaultCase {
    explicit FaultCase(const std::string& url, int silenceLimitMs = CTransferDlg::kSilenceLimitMs) {
        WriteFile(earlierPath, kEarlier);
        harness.dialog->silenceLimitMs = silenceLimitMs;
        harness.Start(url, url.rfind("http:", 0) == 0);
    }
    CTransferDlg& dialog() { return *harness.dialog; }
    // The transfer has ended by itself in the failure text and waits for the
    // user; the earlier file and the folder are as they were.
    void ExpectFailedWith(const std::string& text) {
        ASSERT_TRUE(harness.RunToEnd(20000)) << "the transfer never ended";
        EXPECT_EQ(dialog().m_bFailed, 1);
        EXPECT_EQ(harness.surface.text(258), text);
        EXPECT_EQ(harness.surface.text(262), "");
        EXPECT_FALSE(dialog().HasEnded());
        EXPECT_FALSE(dialog().m_hThread.joinable());
        ExpectFolderUntouched();
        dialog().OnCancel();
        EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDCANCEL});
    }
    // Cancel of a running transfer: at once, the dialog ends, nothing stays.
    void CancelAndCheck() {
        ASSERT_EQ(dialog().m_bBusy, 1) << harness.surface.text(258);
        EXPECT_LT(harness.CancelTimed(), kCancelLimitMs);
        EXPECT_FALSE(dialog().m_hThread.joinable());
        EXPECT_EQ(dialog().m_bFailed, 1);
        EXPECT_EQ(dialog().m_szError.get(), "Canceled");
        EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDOK});
        EXPECT_EQ(dialog().m_pFile, nullptr);
        ExpectFolderUntouched();
    }
    // The received text (control 259) began so at some moment.
    bool ShowedReceivedStartingWith(const std::string& start) const {
        for (const auto& [id, text] : harness.surface.shown)
            if (id == 259 && text.starts_with(start))
                return true;
        return false;
    }
    void ExpectFolderUntouched() {
        EXPECT_TRUE(harness.hiddenFiles().empty());
        EXPECT_EQ(ReadFile(earlierPath), kEarlier);
    }
    // Runs the loop for the time given; false when the transfer ended in it.
    bool StillBusyAfter(int ms) {
        harness.RunUntil([this] { return !dialog().m_bBusy; }, ms);
        return dialog().m_bBusy == 1;
    }

    TransferHarness harness;
    std::string earlierPath = harness.downloadPath("downloads/ev.sac");
};

std::string HttpUrl(const ScriptedHttpServer& server) {
    return "http://" + server.host() + "/quakes/ev.sac";
}

std::string FtpUrl(const ScriptedFtpServer& server) {
    return "ftp://" + server.host() + "/quakes/ev.sac";
}

std::string HeaderOfLength(long long length) {
    return "HTTP/1.1 200 OK\r\nServer: scripted\r\nContent-Type: application/octet-stream\r\n"
           "Content-Length: " +
           std::to_string(length) + "\r\n\r\n";
}

TEST(HttpPeerFault, AResetInTheMiddleOfTheBodyEndsInReadError) {
    std::string response = ScriptedHttpServer::Response("HTTP/1.1 200 OK", PatternBytes(200000));
    HttpScript script{{{response.substr(0, 100000)}}};
    script.resetAfterParts = true;
    ScriptedHttpServer server(script);
    FaultCase c(HttpUrl(server));
    c.ExpectFailedWith("Read Error");
    EXPECT_GT(c.dialog().m_nReceived, 0);
}

TEST(HttpPeerFault, AHeaderWithoutEndFromAServerThatKeepsSendingEndsInHeaderError) {
    HttpScript script{{{"HTTP/1.1 200 OK\r\n"}}};
    script.endlessPiece = "X-Flood: " + std::string(1000, 'h') + "\r\n";
    ScriptedHttpServer server(script);
    FaultCase c(HttpUrl(server));
    c.ExpectFailedWith("Header Error");
    // The client dropped the connection instead of reading on.
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.clientClosed(); }, 5000));
}

// Content-Length of a terabyte and a server that never stops: the download
// goes on, with its texts, until Cancel, which must not wait for the body.
TEST(HttpPeerFault, AnEndlessBodyWithALengthRunsUntilCancel) {
    HttpScript script{{{HeaderOfLength(1000000000000LL)}}, false};
    script.endlessPiece = PatternBytes(65536);
    ScriptedHttpServer server(script, 60, 1);
    FaultCase c(HttpUrl(server));
    ASSERT_TRUE(c.harness.RunUntil([&] { return c.dialog().m_nReceived > (64 << 20); }, 30000))
        << "received " << c.dialog().m_nReceived;
    EXPECT_TRUE(c.StillBusyAfter(300));
    std::string shown = c.harness.surface.text(259);
    EXPECT_NE(shown.find(" of 1.0 TB"), std::string::npos) << shown;
    c.CancelAndCheck();
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.clientClosed(); }, 5000));
}

// Without a length the body runs until the server closes: a server that
// never does keeps the download going, its count shown, until Cancel.
TEST(HttpPeerFault, AnEndlessBodyWithoutALengthRunsUntilCancel) {
    std::string header = "HTTP/1.1 200 OK\r\nServer: scripted\r\n\r\n";
    HttpScript script{{{header}}};
    script.endlessPiece = PatternBytes(65536);
    ScriptedHttpServer server(script, 30, 1);
    FaultCase c(HttpUrl(server));
    ASSERT_TRUE(c.harness.RunUntil([&] { return c.dialog().m_nReceived > (16 << 20); }, 30000))
        << "received " << c.dialog().m_nReceived;
    EXPECT_TRUE(c.StillBusyAfter(300));
    std::string shown = c.harness.surface.text(259);
    EXPECT_TRUE(shown.find(" MB") != std::string::npos && shown.find(" of ") == std::string::npos)
        << shown;
    c.CancelAndCheck();
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.clientClosed(); }, 5000));
}

TEST(HttpPeerFault, OneByteASecondAdvancesTheProgressAndCancelsAtOnce) {
    std::string body = PatternBytes(300);
    std::vector<HttpPart> parts{{HeaderOfLength(300)}};
    for (int i = 0; i < 4; ++i)
        parts.push_back({body.substr(i, 1), 1000});
    ScriptedHttpServer server(HttpScript{parts, true});
    FaultCase c(HttpUrl(server));
    ASSERT_TRUE(c.harness.RunUntil([&] { return c.dialog().m_nReceived >= 3; }, 10000));
    c.harness.RunUntil([] { return false; }, 300);  // a tick shows the third byte
    for (const char* shown : {"1 of 300 bytes", "2 of 300 bytes", "3 of 300 bytes"})
        EXPECT_TRUE(c.ShowedReceivedStartingWith(shown)) << shown;
    // Once a second has been measured the rate and the time left follow.
    EXPECT_TRUE(c.ShowedReceivedStartingWith("3 of 300 bytes, 1 bytes/s, 5 min left"))
        << c.harness.surface.text(259);
    EXPECT_TRUE(c.harness.surface.everShowed(1003, "1%"));
    c.CancelAndCheck();
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.clientClosed(); }, 5000));
}

TEST(FtpPeerFault, OneByteASecondOnTheDataAdvancesTheProgressAndCancelsAtOnce) {
    FtpScript script;
    script.file = PatternBytes(20);
    script.dataPaceMs = 1000;
    script.openingReply = "150 Opening BINARY mode data connection for ev.sac (20 bytes).";
    ScriptedFtpServer server(script);
    FaultCase c(FtpUrl(server));
    ASSERT_TRUE(c.harness.RunUntil([&] { return c.dialog().m_nReceived >= 3; }, 15000));
    c.harness.RunUntil([] { return false; }, 300);
    for (const char* shown : {"1 of 20 bytes", "2 of 20 bytes", "3 of 20 bytes"})
        EXPECT_TRUE(c.ShowedReceivedStartingWith(shown)) << shown;
    EXPECT_TRUE(c.harness.surface.everShowed(1003, "10%"));
    c.CancelAndCheck();
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.sessionEnded(); }, 5000));
    EXPECT_LT(server.bytesDelivered(), 20);
}

// After 230 the server takes the PORT line and never answers: no further
// line is sent, no failure is invented, and only Cancel ends the transfer.
TEST(FtpPeerFault, AServerSilentAfterTheLoginWaitsUntilCancel) {
    FtpScript script;
    script.file = PatternBytes(1000);
    script.silentAfterLogin = true;
    ScriptedFtpServer server(script);
    FaultCase c(FtpUrl(server));
    ASSERT_TRUE(c.harness.RunUntil([&] { return server.commands().size() >= 3; }, 10000));
    EXPECT_TRUE(c.StillBusyAfter(1500));
    auto commands = server.commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[2].rfind("PORT 127,0,0,1,", 0), 0u) << commands[2];
    EXPECT_EQ(c.harness.surface.text(258), "Receiving data (active mode)...");
    EXPECT_FALSE(c.dialog().HasEnded());
    c.CancelAndCheck();
    EXPECT_TRUE(c.harness.RunUntil([&] { return server.sessionEnded(); }, 5000));
}

// A server that falls silent past the bound (short here) counts as a lost
// connection, on HTTP in the header or the body, on FTP on the control
// connection or the data connection; a slow one under the bound goes on.
TEST(PeerSilence, SilencePastTheBoundEndsTheTransfer) {
    constexpr int kBoundMs = 400;
    const std::string lost = "Connection Timed Out: nothing from the server for 0.4 s";
    for (std::string opening :
         {std::string("HTTP/1.1 200 OK\r\nContent-"), HeaderOfLength(300) + PatternBytes(120)}) {
        ScriptedHttpServer server(HttpScript{{{opening}}, true}, 30, 1);
        FaultCase c(HttpUrl(server), kBoundMs);
        c.ExpectFailedWith(lost);
    }
    FtpScript silentControl;
    silentControl.file = PatternBytes(1000);
    silentControl.silentAfterLogin = true;
    FtpScript silentData;
    silentData.file = PatternBytes(20);
    silentData.dataPaceMs = 2000;
    for (const FtpScript& script : {silentControl, silentData}) {
        ScriptedFtpServer server(script);
        FaultCase c(FtpUrl(server), kBoundMs);
        c.ExpectFailedWith(lost);
    }
    std::vector<HttpPart> slow{{HeaderOfLength(4)}};
    for (int i = 0; i < 4; ++i)
        slow.push_back({"x", kBoundMs / 4});
    ScriptedHttpServer server(HttpScript{slow}, 30, 1);
    FaultCase c(HttpUrl(server), kBoundMs);
    ASSERT_TRUE(c.harness.RunToEnd(20000));
    EXPECT_EQ(c.dialog().m_bFailed, 0) << c.harness.surface.text(258);
}

TEST(FtpPeerFault, AResetOfTheDataConnectionEndsInDataReadError) {
    FtpScript script;
    script.file = PatternBytes(200000);
    script.resetAfter = 100000;  // in every session: the tries bring nothing new
    ScriptedFtpServer server(script, 30, 8);
    FaultCase c(FtpUrl(server));
    c.ExpectFailedWith("Data Read Error");
    EXPECT_GT(c.dialog().m_nReceived, 0);
}

// The dialog's loop with every posted call held back on the user-interface
// thread for a while, as when that thread is busy: the timer may then tick
// before a call the worker posted has run. A call still queued when the
// loop is gone runs at once.
class LatePostLoop final : public UiLoop {
  public:
    LatePostLoop(UiLoop& inner, unsigned delayMs)
        : inner_(inner), holder_(std::make_shared<Holder>(Holder{inner, delayMs, {}})) {}
    std::unique_ptr<LoopHandle> StartTimer(unsigned periodMs, std::function<void()> tick) override {
        return inner_.StartTimer(periodMs, std::move(tick));
    }
    std::unique_ptr<LoopHandle> WatchSocket(int fd, SocketKind kind,
                                            std::function<void(long event)> deliver) override {
        return inner_.WatchSocket(fd, kind, std::move(deliver));
    }
    void RunUntil(const std::function<bool()>& finished) override { inner_.RunUntil(finished); }
    void Post(std::function<void()> call) override {
        std::weak_ptr<Holder> holder = holder_;
        inner_.Post([holder, call = std::move(call)] {
            if (auto alive = holder.lock())
                alive->Hold(call);
            else
                call();
        });
    }

  private:
    struct Holder {
        // On the user-interface thread: runs the call once, delayMs later.
        void Hold(const std::function<void()>& call) {
            auto done = std::make_shared<bool>(false);
            held.push_back(inner.StartTimer(delayMs, [call, done] {
                if (!*done)
                    call();
                *done = true;
            }));
        }
        UiLoop& inner;
        unsigned delayMs;
        std::vector<std::unique_ptr<LoopHandle>> held;
    };

    UiLoop& inner_;
    std::shared_ptr<Holder> holder_;
};

// The greeting and USER's reply are waiting before the control watch is
// installed. The write-ready drain drops what waits (the greeting); had USER
// gone out before it, the drain would drop USER's reply too and the login
// would wait for it for good.
TEST(FtpLoginOrder, AUserInterfaceLateForTheWatchLosesNoLoginReply) {
    std::string file = PatternBytes(5000);
    FtpScript script;
    script.file = file;
    ScriptedFtpServer server(script);
    TransferHarness harness;
    LatePostLoop late(harness.loop, 600);
    harness.dialog = std::make_unique<CTransferDlg>(harness.app, harness.surface, late);
    harness.Start(FtpUrl(server), false);
    bool ended = harness.RunToEnd(15000);
    CTransferDlg& dialog = *harness.dialog;
    EXPECT_TRUE(ended) << "status \"" << harness.surface.text(258) << "\", logged in "
                       << dialog.m_bLoggedIn << ", commands " << server.commands().size();
    EXPECT_EQ(dialog.m_bFailed, 0) << harness.surface.text(258);
    EXPECT_EQ(ReadFile(harness.downloadPath("downloads/ev.sac")), file);
    harness.dialog.reset();  // before the loop it runs on
}

// A reset by the peer on a watched connection: the reader's own receive
// sees the error before the close is reported, so that a cut-off transfer
// is not taken for one that ended.
TEST(TransferUiLoop, AResetReachesTheReaderAsAnErrorBeforeTheClose) {
    TransferHarness harness;
    int port = 0;
    UniqueFd listener(peers::ListenOnLoopback(1, port));
    UniqueFd ours(peers::ConnectFrom("127.0.0.1", "127.0.0.1", port));
    UniqueFd theirs(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(ours.valid() && theirs.valid());
    std::vector<int> errors;
    std::size_t received = 0;
    bool closed = false;
    auto watch = harness.loop.WatchSocket(ours.get(), SocketKind::Stream, [&](long event) {
        closed = closed || event == FD_CLOSE;
        char piece[1024];
        ssize_t got = event == FD_READ ? ::recv(ours.get(), piece, sizeof piece, MSG_DONTWAIT) : 0;
        if (got < 0)
            errors.push_back(errno);
        received += got > 0 ? std::size_t(got) : 0;
    });
    ASSERT_TRUE(peers::SendAll(theirs.get(), PatternBytes(3000)));
    peers::ResetOnClose(theirs.get());
    theirs.reset();
    ASSERT_TRUE(harness.RunUntil([&] { return closed; }, 2000));
    EXPECT_EQ(errors, std::vector<int>{ECONNRESET}) << received << " bytes read first";
}

// The worker's receive with bytes still waiting, as from a peer faster than
// the disk: after a stop request it stops instead of taking them.
TEST(TransferByteStream, AStopRequestEndsReceivingWhileBytesAreStillWaiting) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    UniqueFd peer(ends[1]);
    WakeChannel wake;
    SocketStream stream(UniqueFd(ends[0]), &wake);
    std::string waiting = PatternBytes(40000);
    ASSERT_EQ(::send(peer.get(), waiting.data(), waiting.size(), 0), long(waiting.size()));
    char buffer[16384];
    EXPECT_EQ(stream.Receive(buffer, sizeof buffer), long(sizeof buffer));
    wake.RequestStop();
    EXPECT_EQ(stream.Receive(buffer, sizeof buffer), ByteStream::kStopped);
    wake.Reset();
    EXPECT_EQ(stream.Receive(buffer, sizeof buffer), long(sizeof buffer));
}

}  // namespace
}  // namespace orvane::testing
