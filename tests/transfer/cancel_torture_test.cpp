// A thousand transfers, HTTP and FTP against scripted servers on loopback,
// each cancelled at a random moment: before the connect, after a random
// delay, at a random byte of the data, or not at all. After each one the
// dialog has ended, the worker has ended, no temporary file is left, and the
// file of that name holds either the earlier bytes (cancelled) or the whole
// download (finished first). A third of the transfers come from servers
// that reset every connection after 16 kB, so that the Cancel also falls
// into resumed tries and the waits between them. The dialog's timer runs fast so that an FTP
// transfer takes milliseconds; the suite also runs under ThreadSanitizer.
//
// The seed is printed; ORVANE_TORTURE_SEED repeats a run, and
// ORVANE_TORTURE_COUNT changes the number of transfers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/scripted_ftp_server.h"
#include "tools/transfer_peers/scripted_http_server.h"

namespace orvane::testing {
namespace {

using peers::FtpScript;
using peers::HttpScript;
using peers::ScriptedFtpServer;
using peers::ScriptedHttpServer;

// 250 ms ticks become 2 ms ones.
constexpr unsigned kTimerFactor = 125;
constexpr int kDefaultCount = 1000;
constexpr std::size_t kHttpBody = 48 * 1024;
constexpr std::size_t kFtpFile = 24 * 1024;

enum class Moment { BeforeConnect, AfterDelay, AtByte, Never };

const char* NameOf(Moment moment) {
    switch (moment) {
        case Moment::BeforeConnect:
            return "before the connect";
        case Moment::AfterDelay:
            return "after a delay";
        case Moment::AtByte:
            return "at a byte";
        case Moment::Never:
            return "never";
    }
    return "?";
}

unsigned long long SeedFromEnvironment() {
    const char* text = std::getenv("ORVANE_TORTURE_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : std::random_device{}();
}

int CountFromEnvironment() {
    const char* text = std::getenv("ORVANE_TORTURE_COUNT");
    int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? count : kDefaultCount;
}

// One transfer's plan, drawn from the seeded generator.
struct Plan {
    bool ftp = false;
    bool cut = false;  // from a server that cuts every 16 kB
    Moment moment = Moment::Never;
    int delayMs = 0;
    std::int64_t atByte = 0;
};

// What happened, over the whole run.
struct Tally {
    int cancelled = 0;
    int cancelledInData = 0;
    int finished = 0;
    int ftp = 0;
    int resumedCancelled = 0;  // cancelled after a cut
};

class CancelTorture {
  public:
    explicit CancelTorture(unsigned long long seed)
        : random_(seed),
          httpServer_(HttpScript{HttpParts()}, 300, 100000),
          ftpServer_(FtpFile(), 300, 100000),
          cuttingHttpServer_(CuttingHttp(), 300, 100000),
          cuttingFtpServer_(CuttingFtp(), 300, 100000),
          harness_(kTimerFactor) {}

    Plan Draw();
    void Run(int index, const Plan& plan);
    const Tally& tally() const { return tally_; }

  private:
    std::vector<peers::HttpPart> HttpParts() const;
    FtpScript FtpFile() const;
    HttpScript CuttingHttp() const;
    FtpScript CuttingFtp() const;
    void RunToTheMoment(const Plan& plan);
    std::string State();
    void CheckCancelled(const std::string& earlier);
    void CheckFinished(const std::string& expected);
    void CheckReleased();

    std::mt19937_64 random_;
    std::string httpBody_ = PatternBytes(kHttpBody);
    std::string ftpFile_ = PatternBytes(kFtpFile).substr(0, kFtpFile - 7) + "ftp-end";
    ScriptedHttpServer httpServer_;
    ScriptedFtpServer ftpServer_;
    ScriptedHttpServer cuttingHttpServer_;
    ScriptedFtpServer cuttingFtpServer_;
    TransferHarness harness_;
    Tally tally_;
};

// The body in three pieces with short pauses, so that Cancel can fall
// between them as well as inside the receive of one.
std::vector<peers::HttpPart> CancelTorture::HttpParts() const {
    std::string response = ScriptedHttpServer::Response("HTTP/1.1 200 OK", httpBody_);
    std::size_t third = response.size() / 3;
    return {{response.substr(0, third)},
            {response.substr(third, third), 2},
            {response.substr(2 * third), 2}};
}

// A server that logs in at USER, as vsftpd does. With the password step, a
// greeting that comes late (the server still ending the last session) is
// taken as USER's reply, PASS goes out at once, and the 331 and the 230 may
// arrive in one read, of which the client classifies only the first reply:
// the login then waits out its polls. That is the client's rule, and the
// fast timer makes its timing common here; with the login at USER every
// reply that matters comes alone.
FtpScript CancelTorture::FtpFile() const {
    FtpScript script;
    script.loginAtUser = true;
    script.file = ftpFile_;
    script.openingReply =
        "150 Opening BINARY mode data connection (" + std::to_string(ftpFile_.size()) + " bytes).";
    return script;
}

constexpr long kCutEvery = 16 * 1024;

HttpScript CancelTorture::CuttingHttp() const {
    HttpScript script;
    script.file.body = httpBody_;
    script.file.etag = "\"torture\"";
    script.file.cutEvery = kCutEvery;
    return script;
}

FtpScript CancelTorture::CuttingFtp() const {
    FtpScript script = FtpFile();
    script.cutEvery = kCutEvery / 2;
    return script;
}

Plan CancelTorture::Draw() {
    Plan plan;
    plan.ftp = random_() % 2 == 0;
    plan.cut = random_() % 3 == 0;
    unsigned draw = random_() % 100;
    plan.moment = draw < 15   ? Moment::BeforeConnect
                  : draw < 50 ? Moment::AfterDelay
                  : draw < 85 ? Moment::AtByte
                              : Moment::Never;
    // Both take about 25 ms from the start to the end of the data.
    plan.delayMs = static_cast<int>(random_() % (plan.ftp ? 30 : 25));
    std::size_t size = plan.ftp ? kFtpFile : kHttpBody;
    plan.atByte = static_cast<std::int64_t>(1 + random_() % (size - 1));
    return plan;
}

void CancelTorture::Run(int index, const Plan& plan) {
    std::string earlier = "earlier file " + std::to_string(index);
    WriteFile(harness_.downloadPath("downloads/ev.sac"), earlier);
    harness_.Renew();
    std::string host = plan.ftp ? (plan.cut ? cuttingFtpServer_ : ftpServer_).host()
                                : (plan.cut ? cuttingHttpServer_ : httpServer_).host();
    harness_.Start((plan.ftp ? "ftp://" : "http://") + host + "/quakes/ev.sac", !plan.ftp);
    ASSERT_EQ(harness_.dialog->m_bBusy, 1) << harness_.surface.text(258);
    RunToTheMoment(plan);
    if (harness_.dialog->m_bBusy) {
        std::int64_t received = harness_.dialog->m_nReceived;
        bool inData = received > 0 && received < std::int64_t(plan.ftp ? kFtpFile : kHttpBody);
        bool resumed = plan.cut && received >= (plan.ftp ? kCutEvery / 2 : kCutEvery);
        CheckCancelled(earlier);
        tally_.resumedCancelled += resumed ? 1 : 0;
        ++tally_.cancelled;
        tally_.cancelledInData += inData ? 1 : 0;
    } else {
        CheckFinished(plan.ftp ? ftpFile_ : httpBody_);
        ++tally_.finished;
    }
    tally_.ftp += plan.ftp ? 1 : 0;
}

void CancelTorture::RunToTheMoment(const Plan& plan) {
    CTransferDlg& dialog = *harness_.dialog;
    auto start = std::chrono::steady_clock::now();
    auto notBusy = [&] { return !dialog.m_bBusy; };
    switch (plan.moment) {
        case Moment::BeforeConnect:
            return;
        case Moment::AfterDelay:
            harness_.RunUntil(
                [&] {
                    return notBusy() || std::chrono::steady_clock::now() - start >=
                                            std::chrono::milliseconds(plan.delayMs);
                },
                10000);
            return;
        case Moment::AtByte:
            harness_.RunUntil([&] { return notBusy() || dialog.m_nReceived >= plan.atByte; },
                              10000);
            return;
        case Moment::Never:
            ASSERT_TRUE(harness_.RunToEnd(10000))
                << "a transfer left alone never ended: " << State();
            return;
    }
}

// What the dialog and the servers were doing, for a failure message.
std::string CancelTorture::State() {
    CTransferDlg& dialog = *harness_.dialog;
    auto commands = ftpServer_.commands();
    std::string last = commands.empty() ? "" : commands.back();
    return "status \"" + harness_.surface.text(258) + "\", " + std::to_string(dialog.m_nReceived) +
           " bytes, logged in " + std::to_string(dialog.m_bLoggedIn) + ", send state " +
           std::to_string(dialog.m_nSendState) + ", awaiting " +
           std::to_string(dialog.m_bAwaitingReply) + ", reply \"" + dialog.m_szReply +
           "\", control " + (dialog.m_ctrlSocket ? "open" : "none") + ", " +
           std::to_string(commands.size()) + " FTP commands, the last \"" + last + "\"";
}

void CancelTorture::CheckCancelled(const std::string& earlier) {
    harness_.dialog->OnCancel();
    CTransferDlg& dialog = *harness_.dialog;
    EXPECT_EQ(dialog.m_bFailed, 1);
    EXPECT_EQ(dialog.m_szError.get(), "Canceled");
    EXPECT_EQ(harness_.surface.endCodes, std::vector<int>{IDOK});
    CheckReleased();
    EXPECT_EQ(ReadFile(harness_.downloadPath("downloads/ev.sac")), earlier);
}

void CancelTorture::CheckFinished(const std::string& expected) {
    CTransferDlg& dialog = *harness_.dialog;
    EXPECT_EQ(dialog.m_bFailed, 0) << harness_.surface.text(258);
    EXPECT_EQ(harness_.surface.endCodes, std::vector<int>{IDOK});
    CheckReleased();
    EXPECT_EQ(ReadFile(harness_.downloadPath("downloads/ev.sac")), expected);
}

// The worker has ended and the dialog holds no file, socket or timer.
void CancelTorture::CheckReleased() {
    CTransferDlg& dialog = *harness_.dialog;
    EXPECT_TRUE(dialog.HasEnded());
    EXPECT_EQ(dialog.m_bBusy, 0);
    EXPECT_FALSE(dialog.m_hThread.joinable());
    EXPECT_EQ(dialog.m_pFile, nullptr);
    EXPECT_EQ(dialog.m_nTimer, 0u);
    EXPECT_EQ(dialog.m_ctrlSocket, nullptr);
    EXPECT_EQ(dialog.m_dataSocket, nullptr);
    EXPECT_EQ(dialog.m_listenSocket, nullptr);
    EXPECT_EQ(harness_.app.m_pActiveTransfer.load(), nullptr);
    EXPECT_TRUE(harness_.hiddenFiles().empty());
}

TEST(TransferCancelTorture, AThousandTransfersCancelledAtRandomMoments) {
    unsigned long long seed = SeedFromEnvironment();
    int count = CountFromEnvironment();
    std::cout << "cancel torture: seed " << seed << ", " << count << " transfers\n";
    RecordProperty("seed", std::to_string(seed));
    auto start = std::chrono::steady_clock::now();
    CancelTorture torture(seed);
    for (int index = 0; index < count && !::testing::Test::HasFailure(); ++index) {
        Plan plan = torture.Draw();
        SCOPED_TRACE("transfer " + std::to_string(index) + " of seed " + std::to_string(seed) +
                     ": " + (plan.ftp ? "FTP" : "HTTP") + ", cancel " + NameOf(plan.moment));
        torture.Run(index, plan);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Tally& tally = torture.tally();
    std::cout << "cancel torture: " << tally.cancelled << " cancelled (" << tally.cancelledInData
              << " in the data, " << tally.resumedCancelled << " after a cut), " << tally.finished
              << " finished, " << tally.ftp << " FTP, in " << seconds << " s\n";
    EXPECT_EQ(tally.cancelled + tally.finished, count);
    // The moments drawn must really have reached both outcomes and the data.
    EXPECT_GT(tally.finished, 0);
    EXPECT_GT(tally.cancelledInData, count / 10);
    EXPECT_GT(tally.ftp, count / 4);
    EXPECT_GT(tally.resumedCancelled, count / 50);
}

}  // namespace
}  // namespace orvane::testing
