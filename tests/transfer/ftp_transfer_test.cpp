// Whole FTP transfers through the dialog against scripted servers on
// loopback: the command lines, the login variants, the refusals, the size
// in the 150 reply, a stranger on the data port, the final reply that
// decides, replies cut anywhere, passive mode when active cannot work,
// decoded paths and folder listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/scripted_ftp_server.h"
#include "transfer/folder_listing.h"

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

TEST(FtpTransfer, PasswordLoginSendsTheSixLinesAndStoresTheFile) {
    std::string file = PatternBytes(300000);
    FtpRun run(Delivering(file));
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0);
    EXPECT_EQ(run.harness.surface.endCodes, std::vector<int>{IDOK});
    EXPECT_EQ(ReadFile(run.harness.dialog->m_szLocalPath), file);
    EXPECT_TRUE(run.harness.hiddenFiles().empty());
    auto commands = run.server.commands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0], "USER anonymous");
    EXPECT_EQ(commands[1], "PASS FtpGuest01@");
    EXPECT_EQ(commands[2].rfind("PORT 127,0,0,1,", 0), 0u);
    EXPECT_EQ(commands[3], "TYPE I");
    EXPECT_EQ(commands[4], "SIZE /userdata/ev.seed");
    EXPECT_EQ(commands[5], "RETR /userdata/ev.seed");  // and no QUIT
    EXPECT_EQ(run.harness.surface.title, "");          // the template's own title stays
    EXPECT_TRUE(run.harness.surface.everShowed(258, "Receiving data (active mode)..."));
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
    EXPECT_EQ(run.server.commands().size(), 6u);
}

// The size of SIZE, else of the 150 reply, gives the count and the percent.
TEST(FtpTransfer, SizeInTheOpeningReplyGivesCountAndPercent) {
    FtpScript sized = Delivering(PatternBytes(4096));
    sized.knowsSize = false;
    sized.openingReply = "150 Opening BINARY mode data connection for ev.seed (4,096 bytes).";
    FtpRun withSize(sized);
    withSize.Start();
    ASSERT_TRUE(withSize.harness.RunToEnd(20000));
    EXPECT_EQ(withSize.harness.dialog->m_nExpected, 4096);
    EXPECT_EQ(withSize.harness.dialog->m_szReceived.get(), "4.1 of 4.1 kB");
    EXPECT_EQ(withSize.harness.dialog->m_szPercent.get(), "100%");

    FtpRun known(Delivering(PatternBytes(4096)));
    known.Start();
    ASSERT_TRUE(known.harness.RunToEnd(20000));
    EXPECT_EQ(known.harness.dialog->m_nExpected, 4096);
    EXPECT_EQ(known.harness.dialog->m_szPercent.get(), "100%");

    FtpScript unsized = Delivering(PatternBytes(4096));
    unsized.knowsSize = false;
    FtpRun bare(unsized);
    bare.Start();
    ASSERT_TRUE(bare.harness.RunToEnd(20000));
    EXPECT_EQ(bare.harness.dialog->m_nExpected, 0);
    EXPECT_EQ(bare.harness.dialog->m_szReceived.get(), "4.1 kB");
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
    EXPECT_EQ(notFound.harness.surface.text(258),
              "File Not Found: ftp://" + notFound.server.host() + "/userdata/ev.seed");
    EXPECT_FALSE(notFound.harness.dialog->HasEnded());
}

// The data connection's end alone is no success: the final reply and the
// size the 150 reply announced decide, and a failure names the reply.
TEST(FtpTransfer, AbortedOrShortTransfersFailWithTheServersReply) {
    struct Case {
        std::string opening, final;
        long closeAfter;
        std::string text;
    };
    const std::string sized = "150 Opening BINARY mode data connection (300000 bytes).";
    const Case cases[] = {
        {sized, "426 Connection closed; transfer aborted.", 120000,
         "Transfer failed: 426 Connection closed; transfer aborted."},
        {"150 Opening.", "451 Local error in processing.", -1,
         "Transfer failed: 451 Local error in processing."},
        {sized, "226 Transfer complete.", 120000,
         "Transfer incomplete: 120000 of 300000 bytes (226 Transfer complete.)"},
    };
    for (const Case& c : cases) {
        FtpScript script = Delivering(PatternBytes(300000));
        script.openingReply = c.opening;
        script.finalReply = c.final;
        script.closeAfter = c.closeAfter;
        script.knowsSize = false;
        FtpRun run(script);
        // One try: its own judgement (the tries after a cut are below).
        run.harness.dialog->retries = 0;
        WriteFile(run.harness.downloadPath("downloads/ev.seed"), "earlier file");
        run.Start();
        ASSERT_TRUE(run.harness.RunToEnd(20000)) << c.final;
        EXPECT_EQ(run.harness.dialog->m_bFailed, 1) << c.final;
        EXPECT_EQ(run.harness.surface.text(258), c.text);
        EXPECT_EQ(ReadFile(run.harness.downloadPath("downloads/ev.seed")), "earlier file");
        EXPECT_TRUE(run.harness.hiddenFiles().empty());
    }
}

TEST(FtpTransfer, RepliesCutAcrossReadsOrSeveralInOneReadAndMultiLineGreetings) {
    FtpScript split = Delivering(PatternBytes(70000));
    split.greetingText = "220-Welcome to the\r\n220-scripted server\r\n220 Ready";
    split.pieces = FtpScript::Pieces::Split;
    FtpRun cut(split);
    cut.Start();
    ASSERT_TRUE(cut.harness.RunToEnd(20000));
    EXPECT_EQ(cut.harness.dialog->m_bFailed, 0) << cut.harness.surface.text(258);
    EXPECT_EQ(ReadFile(cut.harness.dialog->m_szLocalPath), PatternBytes(70000));
    EXPECT_EQ(cut.server.commands().size(), 6u);

    // An empty file: the 150 and the 226 arrive in one piece.
    FtpScript joined = Delivering("");
    joined.greetingText = "220-Welcome\r\n220 Ready";
    joined.pieces = FtpScript::Pieces::OpeningWithFinal;
    FtpRun together(joined);
    together.Start();
    ASSERT_TRUE(together.harness.RunToEnd(20000));
    EXPECT_EQ(together.harness.dialog->m_bFailed, 0) << together.harness.surface.text(258);
    EXPECT_EQ(ReadFile(together.harness.dialog->m_szLocalPath), "");
}

// The commands the server received after it refused PORT and before PASV.
// A TYPE or RETR there would have been answered as if for the passive try:
// a server such as pyftpdlib then sends the file twice down one connection.
std::string commandsBetweenRefusedPortAndPasv(const std::vector<std::string>& transcript) {
    auto port = std::find_if(transcript.begin(), transcript.end(),
                             [](const std::string& line) { return line.rfind("> PORT ", 0) == 0; });
    if (port == transcript.end() || port + 1 == transcript.end() || (*(port + 1))[2] != '5')
        return "no refused PORT";
    std::string between;
    for (auto line = port + 2; line != transcript.end() && *line != "> PASV"; ++line)
        if (line->rfind("> ", 0) == 0)
            between += line->substr(2) + "; ";
    return between;
}

// Active first; passive once, on the same connection after a refused PORT
// or a 425, in a new session when the server never connects (also when it
// sends a final reply with no 1xx before it); the data
// connection goes to the control connection's peer whatever the 227 names.
TEST(FtpTransfer, PassiveModeWhenActiveCannotWork) {
    struct Case {
        const char* what;
        std::string portReply;
        FtpScript::Retrieve retrieve;
        std::string pasvAddress;
        std::size_t sessions;
    };
    const Case cases[] = {
        {"PORT refused", "502 Command not implemented, use PASV.", FtpScript::Retrieve::Deliver,
         "127,0,0,1", 1},
        {"425 on RETR", "200 PORT command successful.", FtpScript::Retrieve::Refuse425, "127,0,0,1",
         1},
        {"never connects", "200 PORT command successful.", FtpScript::Retrieve::OpenButNeverConnect,
         "127,0,0,1", 2},
        {"226 at once, never connects", "200 PORT command successful.",
         FtpScript::Retrieve::FinalAtOnce, "127,0,0,1", 2},
        {"227 names another address", "502 Command not implemented.", FtpScript::Retrieve::Deliver,
         "10,9,8,7", 1},
    };
    for (const Case& c : cases) {
        FtpScript script = Delivering(PatternBytes(100000));
        script.portReply = c.portReply;
        script.retrieve = c.retrieve;
        script.pasvAddress = c.pasvAddress;
        FtpRun run(script);
        run.harness.dialog->dataConnectTimeoutMs = 300;
        run.Start();
        ASSERT_TRUE(run.harness.RunToEnd(20000)) << c.what;
        EXPECT_EQ(run.harness.dialog->m_bFailed, 0) << c.what << run.harness.surface.text(258);
        EXPECT_EQ(ReadFile(run.harness.dialog->m_szLocalPath), PatternBytes(100000)) << c.what;
        EXPECT_EQ(run.server.passiveConnections(), 1) << c.what;
        EXPECT_TRUE(run.harness.surface.everShowed(258, "Receiving data (active mode)..."));
        EXPECT_TRUE(run.harness.surface.everShowed(258, "Receiving data (passive mode)..."));
        auto commands = run.server.commands();
        if (c.portReply[0] == '5') {
            EXPECT_EQ(commandsBetweenRefusedPortAndPasv(run.server.transcript()), "") << c.what;
        }
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "USER anonymous"), c.sessions);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "PASV"), 1) << c.what;
        EXPECT_EQ(commands.back(), "RETR /userdata/ev.seed");
    }
}

// A refused PASV is followed by EPSV (RFC 2428); a server refusing that
// too fails with its last reply.
TEST(FtpTransfer, ARefusedPasvIsFollowedByEpsvAndRefusingEveryModeFails) {
    FtpScript script = Delivering("over epsv");
    script.portReply = "502 Command not implemented.";
    script.pasvRefusal = "502 PASV refused by policy.";
    script.extendedPassive = true;
    FtpRun extended(script);
    extended.Start();
    ASSERT_TRUE(extended.harness.RunToEnd(5000));
    EXPECT_EQ(extended.harness.dialog->m_bFailed, 0) << extended.harness.surface.text(258);
    EXPECT_EQ(ReadFile(extended.harness.downloadPath("downloads/ev.seed")), "over epsv");
    auto commands = extended.server.commands();
    auto pasv = std::find(commands.begin(), commands.end(), "PASV");
    ASSERT_NE(pasv, commands.end());
    EXPECT_EQ(*std::next(pasv), "EPSV");

    script.extendedPassive = false;
    FtpRun run(script);
    run.Start();
    ASSERT_TRUE(run.harness.RunToEnd(5000));
    EXPECT_EQ(run.harness.surface.text(258), "Transfer failed: 500 Unknown command.");
    EXPECT_EQ(run.server.commands().back(), "EPSV");
    EXPECT_TRUE(run.harness.hiddenFiles().empty());
}

TEST(FtpTransfer, ThePathIsDecodedForTheCommandAndTheLocalNameStays) {
    FtpRun run(Delivering("blanks"));
    run.Start("/userdata/sp%20ace%20%C3%A9v%C3%A9nement.bin");
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0);
    EXPECT_EQ(run.server.commands().back(), "RETR /userdata/sp ace \xC3\xA9v\xC3\xA9nement.bin");
    EXPECT_EQ(ReadFile(run.harness.downloadPath("downloads/sp%20ace%20%C3%A9v%C3%A9nement.bin")),
              "blanks");

    FtpRun injected(Delivering("x"));
    injected.Start("/userdata/a%0d%0aDELE%20b.bin");
    ASSERT_TRUE(injected.harness.RunToEnd(20000));
    EXPECT_EQ(injected.harness.surface.text(258), "Error: Can't parse host and file name");
    EXPECT_TRUE(injected.server.commands().empty());
}

// A server whose names are case-sensitive: RETR of the link's letters gets
// 550, the lower-cased path in a new session delivers; when that misses
// too, the text names it.
TEST(FtpTransfer, TheLowerCasedPathIsAskedOnceAfterA550) {
    FtpScript script = Delivering("lower-case file");
    script.filePath = "/quakes/2024/ev01.evt";
    FtpRun run(script);
    run.harness.dialog->m_szFallbackUrl = "ftp://" + run.server.host() + "/quakes/2024/ev01.evt";
    run.Start("/quakes/2024/Ev01.EVT");
    ASSERT_TRUE(run.harness.RunToEnd(20000));
    EXPECT_EQ(run.harness.dialog->m_bFailed, 0) << run.harness.surface.text(258);
    EXPECT_EQ(ReadFile(run.harness.downloadPath("downloads/ev01.evt")), "lower-case file");
    std::vector<std::string> retrieved;
    for (const std::string& line : run.server.commands())
        if (line.starts_with("RETR "))
            retrieved.push_back(line);
    EXPECT_EQ(retrieved, (std::vector<std::string>{"RETR /quakes/2024/Ev01.EVT",
                                                   "RETR /quakes/2024/ev01.evt"}));

    script.filePath = "/elsewhere.evt";
    FtpRun missing(script);
    std::string fallback = "ftp://" + missing.server.host() + "/quakes/2024/ev01.evt";
    missing.harness.dialog->m_szFallbackUrl = fallback;
    missing.Start("/quakes/2024/Ev01.EVT");
    ASSERT_TRUE(missing.harness.RunToEnd(20000));
    EXPECT_EQ(missing.harness.surface.text(258), "File Not Found: " + fallback);
    EXPECT_TRUE(missing.harness.hiddenFiles().empty());
}

// A listing through the same client, as the browser and orvane-fetch ask.
FolderListing ListFolder(FtpScript script, const std::string& path, std::string* lastCommand) {
    ScriptedFtpServer server(std::move(script));
    TransferHarness harness;
    std::optional<FolderListing> result;
    ListingFetch fetch(harness.loop, "ftp://" + server.host() + path,
                       [&](const FolderListing& listing) { result = listing; });
    fetch.Start();
    EXPECT_TRUE(harness.RunUntil([&] { return result.has_value(); }, 20000));
    *lastCommand = server.commands().empty() ? "" : server.commands().back();
    return result.value_or(FolderListing{true, "no result", {}});
}

TEST(FtpTransfer, ListingsOfUnixAndDosServersEmptyFoldersAndNameLists) {
    std::string last;
    FtpScript unix = Delivering("");
    unix.listing =
        "total 8\r\ndrwxr-xr-x 2 0 0 4096 Jan 05 12:00 2001\r\n"
        "-rw-r--r-- 1 0 0 3000 Jan 05 12:00 sp ace.evt\r\n";
    auto listed = ListFolder(unix, "/quakes/%C3%A9t%C3%A9/", &last);
    ASSERT_FALSE(listed.failed) << listed.error;
    ASSERT_EQ(listed.entries.size(), 2u);
    EXPECT_EQ(listed.entries[0].kind, FtpListEntry::Kind::Folder);
    EXPECT_EQ(listed.entries[1].name, "sp ace.evt");
    EXPECT_EQ(listed.entries[1].size, 3000);
    EXPECT_EQ(last, "LIST /quakes/\xC3\xA9t\xC3\xA9/");

    FtpScript dos = Delivering("");
    dos.listing = "01-05-01  12:00PM       <DIR>          2001\r\n01-05-01  12:00PM  5 a.evt\r\n";
    listed = ListFolder(dos, "/", &last);
    ASSERT_EQ(listed.entries.size(), 2u);
    EXPECT_EQ(listed.entries[0].kind, FtpListEntry::Kind::Folder);
    EXPECT_EQ(listed.entries[1].size, 5);

    listed = ListFolder(Delivering(""), "/empty/", &last);
    EXPECT_FALSE(listed.failed);
    EXPECT_TRUE(listed.entries.empty());

    FtpScript names = Delivering("");
    names.listRefused = true;
    names.nameList = "a.evt\r\nb c.evt\r\n";
    listed = ListFolder(names, "/old/", &last);
    ASSERT_EQ(listed.entries.size(), 2u);
    EXPECT_EQ(listed.entries[1].name, "b c.evt");
    EXPECT_EQ(last, "NLST /old/");

    FtpScript missing = Delivering("");
    missing.retrieve = FtpScript::Retrieve::NotFound550;
    listed = ListFolder(missing, "/gone/", &last);
    EXPECT_TRUE(listed.failed);
    EXPECT_TRUE(listed.error.starts_with("File Not Found: ftp://127.0.0.1:")) << listed.error;
    EXPECT_TRUE(listed.error.ends_with("/gone/")) << listed.error;
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
    unknown.dialog->nameLookup = [](const std::string&) { return std::vector<NetAddress>{}; };
    unknown.Start("ftp://no-such-host.invalid/ev.seed", false);
    ASSERT_TRUE(unknown.RunToEnd(10000));
    EXPECT_EQ(unknown.surface.text(258), "Error: Connecting to no-such-host.invalid.");
}

struct FtpResumeRun {
    explicit FtpResumeRun(FtpScript script, int retries = 3) : server(std::move(script), 30, 8) {
        harness.dialog->retries = retries;
    }
    void Start() { harness.Start("ftp://" + server.host() + "/userdata/ev.seed", false); }
    bool Ended() { return harness.RunToEnd(20000); }
    std::string Saved() { return ReadFile(harness.downloadPath("downloads/ev.seed")); }
    int Count(const std::string& line) {
        auto commands = server.commands();
        return static_cast<int>(std::count(commands.begin(), commands.end(), line));
    }
    int CountVerb(const std::string& verb) {
        int count = 0;
        for (const std::string& line : server.commands())
            count += line.rfind(verb + " ", 0) == 0;
        return count;
    }
    ScriptedFtpServer server;
    TransferHarness harness;
};

// A data connection reset or closed short anywhere in the file is
// continued in a new session: SIZE names the file, REST where it ends, and
// the saved file is byte-exact.
TEST(FtpResume, ACutAnywhereIsContinuedWithRestByteExact) {
    std::string file = PatternBytes(200000);
    for (long cut : {1L, 65536L, 123457L, 199999L}) {
        for (bool inOrder : {false, true}) {
            FtpScript script = Delivering(file);
            script.cutsBySession = {cut, cut + 30000};
            script.cutInOrder = inOrder;
            FtpResumeRun run(script);
            run.Start();
            ASSERT_TRUE(run.Ended()) << cut;
            EXPECT_EQ(run.harness.dialog->m_bFailed, 0) << cut << run.harness.surface.text(258);
            EXPECT_TRUE(run.Saved() == file) << cut << " in order " << inOrder;
            // A reset may drop the last bytes in flight: REST names what came.
            int sessions = cut + 30000 < 200000 ? 3 : 2;
            EXPECT_EQ(run.server.sessions(), sessions) << cut;
            EXPECT_EQ(run.CountVerb("REST"), sessions - 1) << cut;
            if (inOrder) {
                EXPECT_EQ(run.Count("REST " + std::to_string(cut)), 1) << cut;
            }
            EXPECT_TRUE(run.harness.hiddenFiles().empty());
        }
    }
}

// A refused REST, a SIZE that changed or no SIZE at all: the next try
// fetches the file from byte 0, never a splice of two files.
TEST(FtpResume, RefusedRestChangedOrUnknownSizeStartAgainFromZero) {
    const std::string file = PatternBytes(120000);
    const std::string changed = PatternBytes(130000).substr(7);
    struct Case {
        const char* name;
        std::function<void(FtpScript&)> server;
        const std::string& saved;
        int rests;  // REST commands the client sends
    };
    const Case cases[] = {
        {"REST refused", [](FtpScript& s) { s.restRefused = true; }, file, 1},
        {"SIZE changed", [&](FtpScript& s) { s.changedFile = changed; }, changed, 0},
        {"no SIZE", [](FtpScript& s) { s.knowsSize = false; }, file, 0},
    };
    for (const Case& c : cases) {
        FtpScript script = Delivering(file);
        script.cutsBySession = {50000};
        c.server(script);
        FtpResumeRun run(script);
        run.Start();
        ASSERT_TRUE(run.Ended()) << c.name;
        EXPECT_EQ(run.harness.dialog->m_bFailed, 0) << c.name << run.harness.surface.text(258);
        EXPECT_TRUE(run.Saved() == c.saved) << c.name;
        EXPECT_EQ(run.CountVerb("REST"), c.rests) << c.name;
        if (c.rests) {
            EXPECT_EQ(run.Count("REST 50000"), 1) << c.name;
        }
    }
}

// A try whose session is refused counts as a try and the next one follows;
// with every try used the transfer fails and nothing stays. A missing file
// and a refused login are never tried again.
TEST(FtpResume, AFailedReconnectIsATryAndTheTriesEnd) {
    std::string file = PatternBytes(90000);
    FtpScript away = Delivering(file);
    away.cutsBySession = {40000};
    away.goneSessions = {1, 2};
    FtpResumeRun back(away);
    back.Start();
    ASSERT_TRUE(back.Ended());
    EXPECT_EQ(back.harness.dialog->m_bFailed, 0) << back.harness.surface.text(258);
    EXPECT_TRUE(back.Saved() == file);
    EXPECT_EQ(back.Count("REST 40000"), 1);
    EXPECT_TRUE(back.harness.surface.everShowed(
        258, "Connection lost at 40.0 of 90.0 kB; resuming (try 2 of 4)..."));

    FtpScript gone = Delivering(file);
    gone.cutsBySession = {40000};
    gone.goneSessions = {1, 2, 3, 4};
    FtpResumeRun never(gone);
    WriteFile(never.harness.downloadPath("downloads/ev.seed"), "earlier file");
    never.Start();
    ASSERT_TRUE(never.Ended());
    EXPECT_EQ(never.harness.dialog->m_bFailed, 1);
    EXPECT_EQ(never.harness.surface.text(258), "Login failed: the server closed the connection");
    EXPECT_EQ(never.server.sessions(), 4);
    EXPECT_EQ(never.Saved(), "earlier file");
    EXPECT_TRUE(never.harness.hiddenFiles().empty());

    FtpScript missing = Delivering(file);
    missing.retrieve = FtpScript::Retrieve::NotFound550;
    FtpResumeRun notFound(missing);
    notFound.Start();
    ASSERT_TRUE(notFound.Ended());
    EXPECT_EQ(notFound.harness.dialog->m_bFailed, 1);
    EXPECT_EQ(notFound.CountVerb("USER"), 1);
}

// A server silent past the bound (here 300 ms) in every try, at the same
// byte: each try is given up after the bound, the tries run out and the
// last failure says why.
TEST(FtpResume, ASilentServerIsALostConnectionUntilTheTriesEnd) {
    FtpScript script = Delivering(PatternBytes(90000));
    script.stallAfter = 20000;
    script.knowsSize = false;  // no REST: every try stalls at byte 20000
    FtpResumeRun run(script, 2);
    run.harness.dialog->silenceLimitMs = 300;
    auto start = std::chrono::steady_clock::now();
    run.Start();
    ASSERT_TRUE(run.Ended());
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.harness.dialog->m_bFailed, 1);
    EXPECT_EQ(run.harness.surface.text(258),
              "Connection Timed Out: nothing from the server for 0.3 s");
    EXPECT_EQ(run.server.sessions(), 3);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_TRUE(run.harness.hiddenFiles().empty());
}

// -c: the local file continues when the server's SIZE is larger and REST
// is accepted; otherwise the transfer is refused and the file stays.
TEST(FtpResume, ContinueALocalFileOnlyWhenTheServerProvesIt) {
    std::string file = PatternBytes(100000);
    struct Case {
        const char* name;
        std::string local;
        bool knowsSize, restRefused;
        bool continued;
    };
    const Case cases[] = {
        {"longer", file.substr(0, 60000), true, false, true},
        {"no size", file.substr(0, 60000), false, false, false},
        {"rest refused", file.substr(0, 60000), true, true, false},
        {"already whole", file, true, false, false},
    };
    for (const Case& c : cases) {
        FtpScript script = Delivering(file);
        script.knowsSize = c.knowsSize;
        script.restRefused = c.restRefused;
        FtpResumeRun run(script);
        WriteFile(run.harness.downloadPath("downloads/ev.seed"), c.local);
        run.harness.dialog->m_bContinueLocal = true;
        run.Start();
        ASSERT_TRUE(run.Ended()) << c.name;
        EXPECT_TRUE(run.harness.hiddenFiles().empty()) << c.name;
        if (c.continued) {
            EXPECT_EQ(run.harness.dialog->m_bFailed, 0) << run.harness.surface.text(258);
            EXPECT_TRUE(run.Saved() == file) << c.name;
            EXPECT_EQ(run.Count("REST 60000"), 1);
            continue;
        }
        EXPECT_EQ(run.harness.dialog->m_bFailed, 1) << c.name;
        EXPECT_EQ(run.harness.surface.text(258), kContinueRefusal) << c.name;
        EXPECT_TRUE(run.Saved() == c.local) << c.name;
        EXPECT_EQ(run.CountVerb("RETR"), 0) << c.name;
    }
}

}  // namespace
}  // namespace orvane::testing
