// Whole FTP transfers through the dialog against scripted servers on
// loopback: the command lines, the login variants, the refusals, the size
// in the 150 reply and a stranger on the data port.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/scripted_ftp_server.h"

namespace orvane::testing {
namespace {

using peers::FtpScript;
using peers::ScriptedFtpServer;

FtpScript Delivering(std::string file) {
    FtpScript script;
    script.file = std::move(file);
    return script;
}

struct FtpRun {
    explicit FtpRun(FtpScript script) : server(std::move(script)) {}
    void Start(const std::string& path = "/userdata/ev.seed") {
        harness.Start("ftp://" + server.host() + path, false);
    }
    ScriptedFtpServer server;
    TransferHarness harness;
};

TEST(FtpTransfer, PasswordLoginSendsTheFiveLinesAndStoresTheFile) {
    std::string file = PatternBytes(300000);
    FtpRun run(Delivering(file));
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0);
    EXPECT_EQ(run.harness.surface.endCodes, std::vector<int>{IDOK});
    EXPECT_EQ(ReadFile(run.harness.dialog->m_szLocalPath), file);
    EXPECT_TRUE(run.harness.hiddenFiles().empty());
    auto commands = run.server.commands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[0], "USER anonymous");
    EXPECT_EQ(commands[1], "PASS FtpGuest01@");
    EXPECT_EQ(commands[2].rfind("PORT 127,0,0,1,", 0), 0u);
    EXPECT_EQ(commands[3], "TYPE I");
    EXPECT_EQ(commands[4], "RETR /userdata/ev.seed");  // and no QUIT
    EXPECT_EQ(run.harness.surface.title, "");          // the template's own title stays
    EXPECT_TRUE(run.harness.surface.everShowed(258, "Receiving data..."));
    EXPECT_EQ(run.harness.app.m_pActiveTransfer.load(), nullptr);
}

TEST(FtpTransfer, LoginAtUserAsVsftpdDoes) {
    FtpScript script = Delivering("abc");
    script.loginAtUser = true;
    FtpRun run(script);
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0);
    EXPECT_EQ(ReadFile(run.harness.dialog->m_szLocalPath), "abc");
}

TEST(FtpTransfer, AGreetingAfterUserIsTakenAsItsReply) {
    FtpScript script = Delivering("late greeting");
    script.greeting = FtpScript::Greeting::AfterUser;
    FtpRun run(script);
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0);
    EXPECT_EQ(ReadFile(run.harness.dialog->m_szLocalPath), "late greeting");
    // PASS went out on the late greeting, before USER's own reply came.
    auto transcript = run.server.transcript();
    ASSERT_GE(transcript.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(transcript.begin(), transcript.begin() + 4),
        (std::vector<std::string>{"> USER anonymous", "< 220 Scripted FTP, late",
                                  "> PASS FtpGuest01@", "< 331 Please specify the password."}));
    EXPECT_EQ(run.server.commands().size(), 5u);
}

TEST(FtpTransfer, SizeInTheOpeningReplyGivesCountAndPercent) {
    FtpScript sized = Delivering(PatternBytes(4096));
    sized.openingReply = "150 Opening BINARY mode data connection for ev.seed (4,096 bytes).";
    FtpRun withSize(sized);
    withSize.Start();
    ASSERT_TRUE(withSize.harness.RunToEnd(20000));
    EXPECT_EQ(withSize.harness.dialog->m_nExpected, 4096);
    EXPECT_EQ(withSize.harness.dialog->m_szReceived.get(), "4096 of 4096 bytes");
    EXPECT_EQ(withSize.harness.dialog->m_szPercent.get(), "100%");

    FtpRun bare(Delivering(PatternBytes(4096)));
    bare.Start();
    ASSERT_TRUE(bare.harness.RunToEnd(20000));
    EXPECT_EQ(bare.harness.dialog->m_nExpected, 0);
    EXPECT_EQ(bare.harness.dialog->m_szReceived.get(), "4096 bytes");
    EXPECT_EQ(bare.harness.dialog->m_szPercent.get(), "");
}

TEST(FtpTransfer, AStrangerOnTheDataPortIsClosedAndTheServerStillDelivers) {
    FtpScript script = Delivering(PatternBytes(20000));
    script.strangerFirst = true;
    FtpRun run(script);
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_TRUE(run.server.strangerWasClosed());
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0);
    EXPECT_EQ(ReadFile(run.harness.dialog->m_szLocalPath), PatternBytes(20000));
}

TEST(FtpTransfer, RefusedLoginAndMissingFileFail) {
    FtpScript refused = Delivering("x");
    refused.passReply = "530 Login incorrect.";
    FtpRun login(refused);
    WriteFile(login.harness.downloadPath("downloads/ev.seed"), "earlier file");
    login.Start();
    ASSERT_TRUE(login.harness.RunToEnd(20000));
    EXPECT_EQ(login.harness.surface.text(258), "Login failed");
    EXPECT_EQ(login.harness.dialog->m_bFailed, 1);
    EXPECT_EQ(ReadFile(login.harness.downloadPath("downloads/ev.seed")), "earlier file");
    EXPECT_TRUE(login.harness.hiddenFiles().empty());

    FtpScript missing = Delivering("x");
    missing.retrieve = FtpScript::Retrieve::NotFound550;
    FtpRun notFound(missing);
    notFound.Start();
    ASSERT_TRUE(notFound.harness.RunToEnd(20000));
    EXPECT_EQ(notFound.harness.surface.text(258), "File Not Found");
    EXPECT_FALSE(notFound.harness.dialog->HasEnded());
}

TEST(FtpTransfer, A425RefusalWaitsUntilCancel) {
    FtpScript script = Delivering("x");
    script.retrieve = FtpScript::Retrieve::Refuse425;
    FtpRun run(script);
    run.Start();
    ASSERT_TRUE(run.harness.RunUntil([&] { return run.server.commands().size() == 5; }, 20000));
    EXPECT_FALSE(run.harness.RunToEnd(1500));
    EXPECT_EQ(run.harness.dialog->m_bBusy, 1);
    EXPECT_LT(run.harness.CancelTimed(), 250);
    EXPECT_EQ(run.harness.dialog->m_szError.get(), "Canceled");
    EXPECT_EQ(run.harness.surface.endCodes, std::vector<int>{IDOK});
    EXPECT_TRUE(run.harness.hiddenFiles().empty());
}

TEST(FtpTransfer, NoLoginWithinThePollsTimesOut) {
    FtpScript script = Delivering("x");
    script.answerUser = false;
    FtpRun run(script);
    run.harness.dialog->loginPolls = 4;
    auto start = std::chrono::steady_clock::now();
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.harness.surface.text(258), "Login Connect Timeout");
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
}

TEST(FtpTransfer, ConnectFailuresNameTheHost) {
    TransferHarness refused;
    std::string host = "127.0.0.1:" + std::to_string(freeLoopbackPort());
    refused.Start("ftp://" + host + "/ev.seed", false);
    ASSERT_TRUE(refused.RunToEnd(10000));
    EXPECT_EQ(refused.surface.text(258), "Cannot connect to " + host);

    TransferHarness unknown;
    unknown.dialog->nameLookup = [](const std::string&) { return std::nullopt; };
    unknown.Start("ftp://no-such-host.invalid/ev.seed", false);
    ASSERT_TRUE(unknown.RunToEnd(10000));
    EXPECT_EQ(unknown.surface.text(258), "Error: Connecting to no-such-host.invalid.");
}

}  // namespace
}  // namespace orvane::testing
