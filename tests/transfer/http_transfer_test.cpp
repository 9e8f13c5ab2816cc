// Whole HTTP transfers through the dialog against scripted servers on
// loopback: the request on the wire, the texts, the file, the outcome.
#include <gtest/gtest.h>

#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/scripted_http_server.h"

namespace orvane::testing {
namespace {

using peers::HttpScript;
using peers::ScriptedHttpServer;

std::string Ok(const std::string& body) {
    return ScriptedHttpServer::Response("HTTP/1.1 200 OK", body);
}

// A header of more than 200 bytes without Content-Length.
std::string HeaderWithout(const std::string& field) {
    return "HTTP/1.1 200 OK\r\nServer: scripted\r\nX-Padding: " + std::string(200, 'p') + "\r\n" +
           field + "\r\n\r\n";
}

TEST(HttpTransfer, GoodDownloadSendsTheRequestAndClosesTheDialog) {
    std::string body = PatternBytes(100000);
    ScriptedHttpServer server(HttpScript{{{Ok(body)}}});
    TransferHarness harness;
    std::string url = "http://" + server.host() + "/quakes/2001/ev01.sac";
    harness.Start(url, true);
    ASSERT_TRUE(harness.RunToEnd(10000));
    EXPECT_EQ(server.requests(), std::vector<std::string>{"GET /quakes/2001/ev01.sac HTTP/1.1\r\n"
                                                          "Referer: " +
                                                          url +
                                                          "\r\n"
                                                          "Host: " +
                                                          server.host() + "\r\n\r\n"});
    EXPECT_EQ(harness.dialog->m_bFailed, 0);
    EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDOK});
    EXPECT_EQ(harness.dialog->m_szLocalPath, harness.downloadPath("downloads/ev01.sac"));
    EXPECT_EQ(ReadFile(harness.dialog->m_szLocalPath), body);
    EXPECT_TRUE(harness.hiddenFiles().empty());
    EXPECT_FALSE(harness.dialog->m_hThread.joinable());
    // What the dialog showed of the URL and the local file.
    EXPECT_EQ(harness.surface.title, "HTTP Transfer Status");
    EXPECT_EQ(harness.surface.step, 5);
    EXPECT_EQ(harness.surface.range, std::make_pair(0, 100));
    EXPECT_EQ(harness.surface.text(271), server.host());
    EXPECT_EQ(harness.surface.text(260), "/quakes/2001/ev01.sac");
    EXPECT_EQ(harness.surface.text(262), "ev01.sac");
    EXPECT_EQ(harness.surface.text(261), harness.app.m_szDownloadDir);
    EXPECT_TRUE(harness.surface.everShowed(259, "0"));
}

TEST(HttpTransfer, ProgressIsShownOnTheTimerWhileTheBodyArrives) {
    std::string body = PatternBytes(3000);
    std::string response = Ok(body);
    std::size_t firstPart = response.size() - 2000;
    ScriptedHttpServer server(HttpScript{{{response.substr(0, firstPart)},
                                          {response.substr(firstPart, 1000), 600},
                                          {response.substr(firstPart + 1000), 600}}});
    TransferHarness harness;
    harness.Start("http://" + server.host() + "/ev.sac", true);
    ASSERT_TRUE(harness.RunToEnd(10000));
    EXPECT_TRUE(harness.surface.everShowed(258, "Receiving data..."));
    EXPECT_TRUE(harness.surface.everShowed(259, "1000 of 3000 bytes"));
    EXPECT_TRUE(harness.surface.everShowed(259, "2000 of 3000 bytes"));
    EXPECT_TRUE(harness.surface.everShowed(1003, "33%"));
    EXPECT_TRUE(harness.surface.everShowed(1003, "67%"));
    EXPECT_EQ(ReadFile(harness.dialog->m_szLocalPath), body);
}

struct Outcome {
    const char* name;
    std::vector<peers::HttpPart> parts;
    const char* error;   // "" for a good download
    std::string stored;  // the file after a good download
};

class HttpServerBehaviour : public ::testing::TestWithParam<Outcome> {};

TEST_P(HttpServerBehaviour, EndsAsTheClientAlwaysHas) {
    const Outcome& outcome = GetParam();
    ScriptedHttpServer server(HttpScript{outcome.parts});
    TransferHarness harness;
    WriteFile(harness.downloadPath("downloads/ev.sac"), "earlier file");
    harness.Start("http://" + server.host() + "/ev.sac", true);
    ASSERT_TRUE(harness.RunToEnd(10000));
    EXPECT_TRUE(harness.hiddenFiles().empty());
    if (std::string(outcome.error).empty()) {
        EXPECT_EQ(harness.dialog->m_bFailed, 0) << harness.surface.text(258);
        EXPECT_EQ(ReadFile(harness.dialog->m_szLocalPath), outcome.stored);
        return;
    }
    EXPECT_EQ(harness.dialog->m_bFailed, 1);
    EXPECT_FALSE(harness.dialog->HasEnded());  // waits for the user
    EXPECT_EQ(harness.surface.text(258), outcome.error);
    EXPECT_EQ(harness.surface.text(262), "");
    EXPECT_EQ(ReadFile(harness.downloadPath("downloads/ev.sac")), "earlier file");
    harness.dialog->OnCancel();
    EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDCANCEL});
}

INSTANTIATE_TEST_SUITE_P(
    Scripted, HttpServerBehaviour,
    ::testing::Values(
        Outcome{"Http10",
                {{ScriptedHttpServer::Response("HTTP/1.0 200 OK", std::string(300, 'a'))}},
                "File Not Found",
                ""},
        Outcome{"Missing",
                {{ScriptedHttpServer::Response("HTTP/1.1 404 Not Found", std::string(200, 'g'))}},
                "File Not Found",
                ""},
        Outcome{"UnderTwoHundredBytes",
                {{"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"}},
                "File Length Error",
                ""},
        Outcome{
            "NoHeaderEnd", {{"HTTP/1.1 200 OK\r\n" + std::string(500, 'h')}}, "Header Error", ""},
        Outcome{"NoContentLength",
                {{HeaderWithout("X-None: 1") + "first"}, {"second", 300}},
                "",
                "first"},
        Outcome{"Chunked",
                {{HeaderWithout("Transfer-Encoding: chunked") + "5\r\nhello\r\n0\r\n\r\n"}},
                "",
                "5\r\nhello\r\n0\r\n\r\n"},
        Outcome{"MoreThanContentLength",
                {{ScriptedHttpServer::Response("HTTP/1.1 200 OK", std::string(300, 'a')) + "defg"}},
                "",
                std::string(300, 'a') + "defg"},
        Outcome{
            "ClosesEarly",
            {{ScriptedHttpServer::Response("HTTP/1.1 200 OK", std::string(5000, 'z'))
                  .substr(0, 2000)}},
            "",
            std::string(2000 -
                            ScriptedHttpServer::Response("HTTP/1.1 200 OK", std::string(5000, 'z'))
                                .find("\r\n\r\n") -
                            4,
                        'z')}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return info.param.name; });

TEST(HttpTransfer, ConnectFailuresAndNamesThatAreNotFound) {
    TransferHarness refused;
    refused.Start("http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/ev.sac", true);
    ASSERT_TRUE(refused.RunToEnd(10000));
    EXPECT_EQ(refused.surface.text(258), "Can't connect to server");

    TransferHarness unknown;
    unknown.dialog->nameLookup = [](const std::string&) { return std::nullopt; };
    unknown.Start("http://no-such-host.invalid/ev.sac", true);
    ASSERT_TRUE(unknown.RunToEnd(10000));
    EXPECT_EQ(unknown.surface.text(258), "Can't connect to server");

    TransferHarness badPort;
    badPort.Start("http://127.0.0.1:99999/ev.sac", true);
    ASSERT_TRUE(badPort.RunToEnd(10000));
    EXPECT_EQ(badPort.surface.text(258), "Can't connect to server");
}

TEST(HttpTransfer, HostNamesAreLookedUp) {
    std::string body = "by name" + std::string(300, '.');
    ScriptedHttpServer server(HttpScript{{{Ok(body)}}});
    TransferHarness harness;
    std::vector<std::string> looked;
    harness.dialog->nameLookup = [&looked](const std::string& name) {
        looked.push_back(name);
        return SystemNameLookup("127.0.0.1");
    };
    harness.Start("http://event-host:" + std::to_string(server.port()) + "/ev.sac", true);
    ASSERT_TRUE(harness.RunToEnd(10000));
    EXPECT_EQ(looked, std::vector<std::string>{"event-host"});
    EXPECT_EQ(harness.dialog->m_bFailed, 0);
    EXPECT_EQ(ReadFile(harness.dialog->m_szLocalPath), body);
    EXPECT_NE(server.requests().at(0).find("Host: event-host:"), std::string::npos);
}

TEST(HttpTransfer, AnUnwritableFolderFailsTheStart) {
    TransferHarness harness;
    harness.app.m_szDownloadDir = harness.downloadPath("missing/");
    harness.Start("http://127.0.0.1:1/ev.sac", true);
    EXPECT_EQ(
        harness.surface.text(258),
        "Error: Can't open " + harness.downloadPath("missing/ev.sac") + " file for writting.");
    EXPECT_EQ(harness.dialog->m_bFailed, 1);
    EXPECT_EQ(harness.dialog->m_bBusy, 0);
}

}  // namespace
}  // namespace orvane::testing
