// The orvane-fetch program: its output, exit statuses, download folder and
// Cancel by signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/console.h"
#include "transfer/console_surface.h"

#include "platform/orvane_version.h"
#include "tests/transfer/real_servers.h"
#include "tests/transfer/transfer_harness.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/wait_until.h"
#include "tools/transfer_peers/recording_proxy.h"
#include "tools/transfer_peers/scripted_http_server.h"

namespace orvane::testing {

using testkit::TempFolder;

using testkit::ChildProcess;
using testkit::readFileText;

namespace {

using peers::HttpScript;
using peers::ScriptedHttpServer;

struct FetchCase {
    TempFolder home;
    std::string downloads = home / "downloads";
    FetchCase() {
        std::filesystem::create_directories(downloads);
        std::filesystem::create_directories(home / "config/orvane");
    }
    std::map<std::string, std::string> Environment() const {
        return {{"HOME", home.path()},
                {"XDG_CONFIG_HOME", home / "config"},
                {"ORVANE_HKLM", home / "hklm.ini"},
                {"ORVANE_HKCU", home / "hkcu.ini"}};
    }
    void SaveDownloadDir(const std::string& folder) {
        std::ofstream(home / "config/orvane/ORVANEEXPLORER.INI")
            << "[Settings]\nDownloadDir=" << folder << "\n";
    }
};

std::string LastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    return trimmed.substr(trimmed.rfind('\n') + 1);
}

TEST(FetchProgram, PrintsTheSavedPathAndTheProgress) {
    std::string body = PatternBytes(5000);
    ScriptedHttpServer server(
        HttpScript{{{ScriptedHttpServer::Response("HTTP/1.1 200 OK", body)}}});
    FetchCase c;
    FetchResult result =
        RunFetch({"http://" + server.host() + "/q/ev.sac", c.downloads}, c.Environment(), 20000);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, c.downloads + "/ev.sac\n");
    EXPECT_EQ(ReadFile(c.downloads + "/ev.sac"), body);
    // Not a terminal: whole lines, the last at the whole file.
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Received: 5.0 of 5.0 kB (100%)\n"), std::string::npos) << result.err;
}

// The console as a test sees it: standard output and error in one record.
class RecordingConsole final : public Console {
  public:
    void out(std::string_view text) override { outText.append(text); }
    void err(std::string_view text) override { errText.append(text); }
    bool keyWaiting() override { return false; }
    void readKey() override {}
    std::string outText, errText;
};

void FeedProgress(ConsoleTransferSurface& surface, int total) {
    surface.SetText(transfer_control::kStatus, "Receiving");
    for (int received = 0; received <= total; received += total / 50) {
        surface.SetText(transfer_control::kReceived,
                        std::to_string(received) + " of " + std::to_string(total) + " bytes");
        surface.SetText(transfer_control::kPercent, std::to_string(received * 100 / total) + "%");
    }
    surface.Finish();
}

// In a log, one line at each tenth of the file; on a terminal, one line
// that rewrites itself and ends before the next text; quiet, nothing.
TEST(FetchProgram, ProgressSuitsWhereItGoes) {
    RecordingConsole log;
    ConsoleTransferSurface logged(log, ProgressStyle::Log);
    FeedProgress(logged, 5000);
    EXPECT_EQ(log.errText.find('\r'), std::string::npos);
    EXPECT_TRUE(log.errText.starts_with("Status: Receiving\nReceived: 500 of 5000 bytes (10%)\n"))
        << log.errText;
    EXPECT_TRUE(log.errText.ends_with("Received: 5000 of 5000 bytes (100%)\n")) << log.errText;
    EXPECT_EQ(std::count(log.errText.begin(), log.errText.end(), '\n'), 11) << log.errText;

    RecordingConsole terminal;
    ConsoleTransferSurface rewritten(terminal, ProgressStyle::Terminal);
    FeedProgress(rewritten, 5000);
    EXPECT_EQ(std::count(terminal.errText.begin(), terminal.errText.end(), '\n'), 2);
    EXPECT_EQ(std::count(terminal.errText.begin(), terminal.errText.end(), '\r'), 51);
    EXPECT_TRUE(terminal.errText.ends_with("\rReceived: 5000 of 5000 bytes\x1b[K\n"))
        << terminal.errText;

    RecordingConsole quiet;
    ConsoleTransferSurface silent(quiet, ProgressStyle::Quiet);
    FeedProgress(silent, 5000);
    EXPECT_EQ(quiet.errText, "");
}

// The options curl and wget users expect; a wrong command line is refused
// with the usage text and status 2, and nothing is sent.
TEST(FetchProgram, ReadsItsOptionsLikeCurlAndWget) {
    ScriptedHttpServer server(
        HttpScript{{{ScriptedHttpServer::Response("HTTP/1.1 200 OK", "optioned")}}}, 30, 8);
    FetchCase c;
    std::string url = "http://" + server.host() + "/q/ev.sac";
    for (std::string help : {"-h", "--help"}) {
        FetchResult answer = RunFetch({help}, c.Environment(), 20000);
        EXPECT_EQ(answer.exitStatus, 0);
        EXPECT_TRUE(answer.out.starts_with("usage: orvane-fetch")) << answer.out;
        EXPECT_NE(answer.out.find("Exit status 0"), std::string::npos);
    }
    std::vector<std::vector<std::string>> wrong = {{},
                                                   {"--bogus", url},
                                                   {"-x"},
                                                   {url, "-o"},
                                                   {url, c.downloads, "-O", c.downloads},
                                                   {url, c.downloads, "extra"},
                                                   {"--list"},
                                                   {"-o", c.home / "a.sac", url, c.downloads}};
    for (const auto& arguments : wrong) {
        FetchResult refused = RunFetch(arguments, c.Environment(), 20000);
        EXPECT_EQ(refused.exitStatus, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(refused.err.find("usage: orvane-fetch"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    EXPECT_TRUE(server.requests().empty());

    FetchResult named = RunFetch({"-o", c.home / "named.sac", url}, c.Environment(), 20000);
    ASSERT_EQ(named.exitStatus, 0) << named.err;
    EXPECT_EQ(named.out, c.home / "named.sac\n");
    EXPECT_EQ(ReadFile(c.home / "named.sac"), "optioned");
    EXPECT_FALSE(std::filesystem::exists(c.home / "ev.sac"));

    FetchResult intoFolder = RunFetch({"-q", "-O", c.downloads, url}, c.Environment(), 20000);
    ASSERT_EQ(intoFolder.exitStatus, 0) << intoFolder.err;
    EXPECT_EQ(intoFolder.out, c.downloads + "/ev.sac\n");
    EXPECT_EQ(intoFolder.err, "");
    EXPECT_EQ(ReadFile(c.downloads + "/ev.sac"), "optioned");

    // "--" ends the options: what follows is taken as written.
    FetchResult afterDashes =
        RunFetch({"--quiet", "--", url, c.home / "missing"}, c.Environment(), 20000);
    EXPECT_EQ(afterDashes.exitStatus, 1);
    EXPECT_EQ(afterDashes.err,
              "Error: Can't open " + c.home / "missing/ev.sac" + " file for writting.\n");
}

// --timeout bounds the silence of a server that sends half a body and
// stops: a failure with nothing left behind, not a hang.
TEST(FetchProgram, TimeoutEndsASilentServersTransfer) {
    std::string header = "HTTP/1.1 200 OK\r\nContent-Length: 400\r\n\r\n";
    ScriptedHttpServer server(HttpScript{{{header + PatternBytes(200)}}, true}, 30, 1);
    FetchCase c;
    FetchResult silent = RunFetch(
        {"--timeout", "0.5", "--retry", "1", "http://" + server.host() + "/ev.sac", c.downloads},
        c.Environment(), 20000);
    EXPECT_EQ(silent.exitStatus, 1);
    EXPECT_EQ(LastLine(silent.err), "Connection Timed Out: nothing from the server for 0.5 s");
    EXPECT_TRUE(std::filesystem::is_empty(c.downloads));
}

// -c continues a partial file left by an earlier run when the server
// proves it is the same file, and otherwise refuses with status 1 and
// leaves the file as it was.
TEST(FetchProgram, ContinueTakesUpALocalPartialFileOrRefuses) {
    std::string body = PatternBytes(40000);
    FetchCase c;
    WriteFile(c.downloads + "/ev.sac", body.substr(0, 25000));
    ScriptedHttpServer proving(HttpScript{{}, false, false, {}, {}, {body, "\"v7\"", "", {}}});
    FetchResult continued = RunFetch({"-c", "http://" + proving.host() + "/q/ev.sac", c.downloads},
                                     c.Environment(), 20000);
    EXPECT_EQ(continued.exitStatus, 0) << continued.err;
    EXPECT_TRUE(ReadFile(c.downloads + "/ev.sac") == body);
    ASSERT_EQ(proving.requests().size(), 1u);
    EXPECT_NE(proving.requests()[0].find("\r\nRange: bytes=25000-\r\n"), std::string::npos);

    WriteFile(c.downloads + "/ev.sac", body.substr(0, 25000));
    ScriptedHttpServer unproven(HttpScript{{}, false, false, {}, {}, {body, "", "", {}}});
    FetchResult refused =
        RunFetch({"--continue", "http://" + unproven.host() + "/q/ev.sac", c.downloads},
                 c.Environment(), 20000);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(LastLine(refused.err), kContinueRefusal);
    EXPECT_TRUE(ReadFile(c.downloads + "/ev.sac") == body.substr(0, 25000));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(c.downloads),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(FetchProgram, FailuresEndWithTheirTextAndStatusOne) {
    HttpScript script{{{ScriptedHttpServer::Response("HTTP/1.1 404 Not Found", "gone")}}};
    script.byPath["/cut.sac"] = {{"HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\nshort"}};
    ScriptedHttpServer server(script);
    FetchCase c;
    WriteFile(c.downloads + "/ev.sac", "earlier");
    FetchResult notFound =
        RunFetch({"http://" + server.host() + "/ev.sac", c.downloads}, c.Environment(), 20000);
    EXPECT_EQ(notFound.exitStatus, 1);
    EXPECT_EQ(notFound.out, "");
    EXPECT_EQ(LastLine(notFound.err), "File Not Found: http://" + server.host() + "/ev.sac");
    EXPECT_EQ(ReadFile(c.downloads + "/ev.sac"), "earlier");
    FetchResult cut =
        RunFetch({"--retry", "0", "http://" + server.host() + "/cut.sac", c.downloads},
                 c.Environment(), 20000);
    EXPECT_EQ(cut.exitStatus, 1);
    EXPECT_EQ(LastLine(cut.err), "Incomplete File Error");
    EXPECT_FALSE(std::filesystem::exists(c.downloads + "/cut.sac"));

    FetchResult unusable =
        RunFetch({"http://host.net/folder/", c.downloads}, c.Environment(), 20000);
    EXPECT_EQ(unusable.exitStatus, 1);
    EXPECT_EQ(LastLine(unusable.err), "Error: Can't parse host and file name");

    FetchResult noFolder =
        RunFetch({"http://127.0.0.1:1/ev.sac", c.home / "missing"}, c.Environment(), 20000);
    EXPECT_EQ(noFolder.exitStatus, 1);
    EXPECT_EQ(LastLine(noFolder.err),
              "Error: Can't open " + c.home / "missing/ev.sac" + " file for writting.");

    EXPECT_EQ(RunFetch({}, c.Environment(), 20000).exitStatus, 2);
}

// orvane-fetch names itself and its version; an argument holding CR LF
// (or a blank) is refused before anything is sent.
TEST(FetchProgram, NamesItselfAndRefusesLineBreaksInItsArgument) {
    ScriptedHttpServer server(
        HttpScript{{{ScriptedHttpServer::Response("HTTP/1.1 200 OK", "named")}}});
    FetchCase c;
    for (std::string bad : {"/ev.sac\r\nX-Injected: 1", "/ev.sac\tx", "/ev one.sac"}) {
        FetchResult refused =
            RunFetch({"http://" + server.host() + bad, c.downloads}, c.Environment(), 20000);
        EXPECT_EQ(refused.exitStatus, 1);
        EXPECT_EQ(LastLine(refused.err), "Error: Can't parse host and file name");
    }
    EXPECT_TRUE(server.requests().empty());
    FetchResult good =
        RunFetch({"http://" + server.host() + "/ev.sac", c.downloads}, c.Environment(), 20000);
    ASSERT_EQ(good.exitStatus, 0) << good.err;
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find(std::string("\r\nUser-Agent: orvane-fetch/") +
                                        kOrvaneVersion + "\r\n"),
              std::string::npos)
        << server.requests()[0];
    EXPECT_TRUE(std::string(kOrvaneVersion).find('.') != std::string::npos) << kOrvaneVersion;
}

// http_proxy and ftp_proxy as GIO reads them (no_proxy excepted): the
// request goes to the proxy, never straight to the server.
TEST(FetchProgram, TheEnvironmentsProxyIsUsed) {
    ScriptedHttpServer server(
        HttpScript{{{ScriptedHttpServer::Response("HTTP/1.1 200 OK", "direct")}}});
    peers::RecordingProxy proxy(ScriptedHttpServer::Response("HTTP/1.1 200 OK", "proxied"));
    FetchCase c;
    auto environment = c.Environment();
    environment["http_proxy"] = proxy.url();
    environment["ftp_proxy"] = proxy.url();
    environment["no_proxy"] = "";
    std::string url = "http://" + server.host() + "/quakes/a.evt";
    FetchResult proxied = RunFetch({url, c.downloads}, environment, 20000);
    ASSERT_EQ(proxied.exitStatus, 0) << proxied.err;
    EXPECT_EQ(ReadFile(c.downloads + "/a.evt"), "proxied");
    FetchResult ftp =
        RunFetch({"ftp://ftp.orvane.net/quakes/b.evt", c.downloads}, environment, 20000);
    ASSERT_EQ(ftp.exitStatus, 0) << ftp.err;
    EXPECT_EQ(ReadFile(c.downloads + "/b.evt"), "proxied");
    environment["no_proxy"] = "127.0.0.1";
    FetchResult excepted = RunFetch({url, c.downloads}, environment, 20000);
    ASSERT_EQ(excepted.exitStatus, 0) << excepted.err;
    EXPECT_EQ(ReadFile(c.downloads + "/a.evt"), "direct");
    auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].starts_with("GET " + url + " HTTP/1.1\r\n")) << requests[0];
    EXPECT_TRUE(requests[1].starts_with("GET ftp://ftp.orvane.net/quakes/b.evt HTTP/1.1\r\n"))
        << requests[1];
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(FetchProgram, FolderComesFromTheSavedSettingElseTheCurrentFolder) {
    ScriptedHttpServer server(
        HttpScript{{{ScriptedHttpServer::Response("HTTP/1.1 200 OK", std::string(300, 'x'))}}}, 30,
        8);
    FetchCase c;
    std::string url = "http://" + server.host() + "/ev.sac";
    c.SaveDownloadDir(c.downloads);
    FetchResult saved = RunFetch({url}, c.Environment(), 20000, c.home.path());
    EXPECT_EQ(saved.out, c.downloads + "/ev.sac\n") << saved.err;

    c.SaveDownloadDir(c.home / "gone");
    FetchResult current = RunFetch({url}, c.Environment(), 20000, c.home.path());
    EXPECT_EQ(current.out, c.home / "ev.sac\n") << current.err;
    EXPECT_EQ(ReadFile(c.home / "ev.sac"), std::string(300, 'x'));
}

TEST(FetchProgram, SignalsActAsCancel) {
    for (int signal : {SIGTERM, SIGINT}) {
        ScriptedHttpServer server(HttpScript{{}, true});
        FetchCase c;
        WriteFile(c.downloads + "/ev.sac", "earlier");
        ChildProcess fetch(FetchProgram(), {"http://" + server.host() + "/ev.sac", c.downloads},
                           c.Environment(), c.home / "stderr");
        ASSERT_TRUE(fetch.started());
        ASSERT_TRUE(testkit::waitUntil([&] { return !server.requests().empty(); }, 5000));
        ::kill(fetch.pid(), signal);
        EXPECT_EQ(fetch.waitForExit(2000), 1);
        EXPECT_EQ(LastLine(readFileText(c.home / "stderr")), "Canceled");
        EXPECT_EQ(ReadFile(c.downloads + "/ev.sac"), "earlier");
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(c.downloads))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"ev.sac"});
    }
}

}  // namespace
}  // namespace orvane::testing
