// orvane-fetch against real servers on loopback, started by the test:
// nginx over HTTP/1.1 and over TLS (a certificate from an authority that
// only the test trusts), Python's http.server (HTTP/1.0), vsftpd (230 at
// USER) and pyftpdlib (331, then 230) over FTP, in active mode and with
// active mode refused (passive must work). Files of every size arrive byte
// for byte, FTP folder trees are listed; certificates that must not pass
// are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "tests/platform/required_program.h"
#include "tests/transfer/real_servers.h"
#include "tests/transfer/transfer_harness.h"
#include "tools/transfer_peers/recording_proxy.h"
#include "tools/transfer_peers/scripted_http_server.h"

namespace orvane::testing {
namespace {

using testkit::TempFolder;

struct ServedFile {
    const char* name;
    std::size_t size;
};
constexpr ServedFile kFiles[] = {{"empty.bin", 0},
                                 {"five.bin", 5},
                                 {"one-kb.bin", 1000},
                                 {"one-mb.bin", 1 << 20},
                                 {"fifty-mb.bin", 50 << 20}};

constexpr char kPyftpdlibModule[] = "/usr/lib/python3/dist-packages/pyftpdlib/__init__.py";

class RealServers : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = std::make_unique<TempFolder>();
        for (const ServedFile& file : kFiles)
            WriteFile(*root_ / file.name, PatternBytes(file.size));
        std::filesystem::create_directories(*root_ / "tree/\xC3\xA9t\xC3\xA9");
        WriteFile(*root_ / "tree/sp ace.bin", "blank");
        WriteFile(*root_ / "tree/\xC3\xA9t\xC3\xA9/deep.bin", PatternBytes(1000));

        certificates_ = std::make_unique<TestCertificates>();
    }
    static void TearDownTestSuite() {
        root_.reset();
        certificates_.reset();
    }
    void SetUp() override { ASSERT_TRUE(certificates_->made()) << certificates_->failure(); }

    // Downloads every file and a missing one from the server, and with -c
    // continues a partial file when the server can prove it (Range with a
    // validator, SIZE and REST) or refuses and leaves it.
    void FetchAll(const std::string& kind, const std::string& scheme,
                  const std::vector<std::string>& more = {}, bool continues = true) {
        RealServer server(kind, root_->path(), "", more);
        ASSERT_TRUE(server.running()) << server.failure();
        TempFolder downloads;
        std::string host =
            scheme == "https" ? "localhost:" + std::to_string(server.port()) : server.host();
        for (const ServedFile& file : kFiles) {
            std::string url = scheme + "://" + host + "/" + file.name;
            FetchResult result = RunFetch({url, downloads.path()}, Private(), 120000);
            ASSERT_EQ(result.exitStatus, 0) << url << "\n" << result.err;
            EXPECT_EQ(result.out, downloads / file.name + "\n");
            EXPECT_TRUE(ReadFile(downloads / file.name) == ReadFile(*root_ / file.name))
                << url << " did not arrive byte for byte";
        }
        FetchResult missing =
            RunFetch({scheme + "://" + host + "/missing.bin", downloads.path()}, Private(), 60000);
        EXPECT_EQ(missing.exitStatus, 1);
        EXPECT_EQ(missing.out, "");
        EXPECT_TRUE(
            missing.err.ends_with("\nFile Not Found: " + scheme + "://" + host + "/missing.bin\n"))
            << missing.err;
        EXPECT_FALSE(std::filesystem::exists(downloads / "missing.bin"));
        ContinuePartial(scheme + "://" + host + "/one-mb.bin", downloads, continues);
        if (scheme == "ftp")
            ListTree(host, downloads);
    }
    void ContinuePartial(const std::string& url, const TempFolder& downloads, bool continues) {
        std::string whole = ReadFile(*root_ / "one-mb.bin"), part = whole.substr(0, 300000);
        WriteFile(downloads / "one-mb.bin", part);
        FetchResult result = RunFetch({"-c", url, downloads.path()}, Private(), 60000);
        EXPECT_EQ(result.exitStatus, continues ? 0 : 1) << url << "\n" << result.err;
        EXPECT_TRUE(ReadFile(downloads / "one-mb.bin") == (continues ? whole : part)) << url;
        if (!continues) {
            EXPECT_TRUE(result.err.ends_with(std::string(kContinueRefusal) + "\n")) << result.err;
        }
    }
    // The folder tree as orvane-fetch --list shows it, and a file whose
    // name has a blank fetched by its escaped URL.
    void ListTree(const std::string& host, const TempFolder& downloads) {
        FetchResult top = RunFetch({"--list", "ftp://" + host + "/tree/"}, Private(), 30000);
        ASSERT_EQ(top.exitStatus, 0) << top.err;
        // In the server's order, which for pyftpdlib is the folder's own.
        EXPECT_TRUE(top.out == "f 5 sp ace.bin\nd 4096 \xC3\xA9t\xC3\xA9\n" ||
                    top.out == "d 4096 \xC3\xA9t\xC3\xA9\nf 5 sp ace.bin\n")
            << top.out;
        FetchResult deep =
            RunFetch({"--list", "ftp://" + host + "/tree/%C3%A9t%C3%A9/"}, Private(), 30000);
        EXPECT_EQ(deep.out, "f 1000 deep.bin\n") << deep.err;
        FetchResult blank =
            RunFetch({"ftp://" + host + "/tree/sp%20ace.bin", downloads.path()}, Private(), 30000);
        EXPECT_EQ(blank.exitStatus, 0) << blank.err;
        EXPECT_EQ(ReadFile(downloads / "sp%20ace.bin"), "blank");
    }
    // A private settings folder, and the test's authority trusted.
    std::map<std::string, std::string> Private() {
        return {{"XDG_CONFIG_HOME", config_.path()},
                {"HOME", config_.path()},
                {"ORVANE_EXTRA_CA_FILE", certificates_->authority()}};
    }

    static std::unique_ptr<TempFolder> root_;
    static std::unique_ptr<TestCertificates> certificates_;
    TempFolder config_;
};
std::unique_ptr<TempFolder> RealServers::root_;
std::unique_ptr<TestCertificates> RealServers::certificates_;

TEST_F(RealServers, NginxOverHttp) {
    ASSERT_TRUE(testing::programInstalled("nginx"));
    FetchAll("nginx", "http");
}
TEST_F(RealServers, NginxOverHttps) {
    ASSERT_TRUE(testing::programInstalled("nginx"));
    FetchAll("nginx-https", "https", certificates_->serverFiles("good"));
}
TEST_F(RealServers, PythonHttpServerOverHttp10) {
    ASSERT_TRUE(testing::programInstalled("/usr/bin/python3"));
    // http.server answers a Range with the whole file: no proof, no -c.
    FetchAll("python-http", "http", {}, false);
}
TEST_F(RealServers, VsftpdOverActiveFtp) {
    ASSERT_TRUE(testing::programInstalled("vsftpd"));
    FetchAll("vsftpd", "ftp");
}
TEST_F(RealServers, PyftpdlibOverActiveFtp) {
    ASSERT_TRUE(testing::programInstalled(kPyftpdlibModule));
    FetchAll("pyftpdlib", "ftp");
}
TEST_F(RealServers, VsftpdRefusingActiveModeOverPassiveFtp) {
    ASSERT_TRUE(testing::programInstalled("vsftpd"));
    FetchAll("vsftpd-passive", "ftp");
}
TEST_F(RealServers, PyftpdlibWithActiveModeTurnedOffOverPassiveFtp) {
    ASSERT_TRUE(testing::programInstalled(kPyftpdlibModule));
    FetchAll("pyftpdlib-passive", "ftp");
}

// Each certificate that must not pass: the transfer ends in its reason,
// no file is written and an earlier file of the same name keeps its bytes.
TEST_F(RealServers, CertificatesThatMustNotPassAreRefusedWithTheirReason) {
    struct Refusal {
        const char* certificate;
        const char* text;
    };
    const Refusal refusals[] = {
        {"other-host", "Certificate Refused: not made for localhost"},
        {"expired", "Certificate Refused: expired"},
        {"self-signed", "Certificate Refused: not issued by a trusted authority"},
    };
    for (const Refusal& refusal : refusals) {
        RealServer server("nginx-https", root_->path(), "",
                          certificates_->serverFiles(refusal.certificate));
        ASSERT_TRUE(server.running()) << server.failure();
        TempFolder downloads;
        WriteFile(downloads / "one-kb.bin", "earlier");
        std::string url = "https://localhost:" + std::to_string(server.port()) + "/one-kb.bin";
        FetchResult result = RunFetch({url, downloads.path()}, Private(), 30000);
        EXPECT_EQ(result.exitStatus, 1) << refusal.certificate;
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.err.ends_with("\n" + std::string(refusal.text) + "\n")) << result.err;
        EXPECT_EQ(ReadFile(downloads / "one-kb.bin"), "earlier");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(downloads.path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

// The good certificate passes only through the test's authority: without it
// the system's store does not know it, and with an authority file that
// cannot be read nothing is trusted.
TEST_F(RealServers, TheTestAuthorityIsTheOnlyWayInForTheTestCertificate) {
    RealServer server("nginx-https", root_->path(), "", certificates_->serverFiles("good"));
    ASSERT_TRUE(server.running()) << server.failure();
    TempFolder downloads;
    std::string url = "https://localhost:" + std::to_string(server.port()) + "/five.bin";
    auto environment = Private();
    environment["ORVANE_EXTRA_CA_FILE"] = "";
    FetchResult system = RunFetch({url, downloads.path()}, environment, 30000);
    EXPECT_EQ(system.exitStatus, 1);
    EXPECT_TRUE(system.err.ends_with("\nCertificate Refused: not issued by a trusted authority\n"))
        << system.err;
    environment["ORVANE_EXTRA_CA_FILE"] = downloads / "no-such-file.pem";
    FetchResult unreadable = RunFetch({url, downloads.path()}, environment, 30000);
    EXPECT_EQ(unreadable.exitStatus, 1);
    EXPECT_TRUE(
        unreadable.err.ends_with("\nCan't read trust file " + downloads / "no-such-file.pem\n"))
        << unreadable.err;
    EXPECT_TRUE(std::filesystem::is_empty(downloads.path()));
}

// A redirect from plain HTTP to nginx over TLS; the file keeps the name of
// the URL the user chose.
TEST_F(RealServers, ARedirectToHttpsIsFollowed) {
    RealServer server("nginx-https", root_->path(), "", certificates_->serverFiles("good"));
    ASSERT_TRUE(server.running()) << server.failure();
    peers::HttpScript script;
    script.byPath["/quakes/ev.sac"] = {{peers::ScriptedHttpServer::Redirect(
        "https://localhost:" + std::to_string(server.port()) + "/one-mb.bin", 301)}};
    peers::ScriptedHttpServer redirecting(script);
    TransferHarness harness;
    harness.dialog->extraAuthorityFile = certificates_->authority();
    harness.Start("http://" + redirecting.host() + "/quakes/ev.sac", true);
    ASSERT_TRUE(harness.RunToEnd(30000));
    EXPECT_EQ(harness.dialog->m_bFailed, 0) << harness.surface.text(258);
    EXPECT_TRUE(ReadFile(harness.downloadPath("downloads/ev.sac")) ==
                ReadFile(*root_ / "one-mb.bin"));
}

// Servers that listen on ::1 only: HTTP, HTTPS (the certificate checked
// against the address) and FTP, active mode by EPRT (vsftpd) and passive
// mode by EPSV (pyftpdlib with active mode refused).
TEST_F(RealServers, IPv6OnlyServersAreReachedByTheirAddress) {
    struct Case {
        const char* kind;
        const char* scheme;
        const char* mode;  // the FTP mode the status line names
    };
    for (const Case& c : {Case{"nginx-ipv6", "http", ""}, Case{"nginx-https-ipv6", "https", ""},
                          Case{"vsftpd-ipv6", "ftp", "(active mode)"},
                          Case{"pyftpdlib-passive-ipv6", "ftp", "(passive mode)"}}) {
        std::vector<std::string> more;
        if (std::string(c.scheme) == "https")
            more = certificates_->serverFiles("good");
        RealServer server(c.kind, root_->path(), "", more);
        ASSERT_TRUE(server.running()) << c.kind << ": " << server.failure();
        TempFolder downloads;
        std::string url =
            std::string(c.scheme) + "://[::1]:" + std::to_string(server.port()) + "/one-mb.bin";
        FetchResult result = RunFetch({url, downloads.path()}, Private(), 60000);
        ASSERT_EQ(result.exitStatus, 0) << url << "\n" << result.err;
        EXPECT_TRUE(ReadFile(downloads / "one-mb.bin") == ReadFile(*root_ / "one-mb.bin")) << url;
        EXPECT_NE(result.err.find(c.mode), std::string::npos) << result.err;
    }
}

// https_proxy as GIO reads it: CONNECT through the proxy, TLS to nginx
// inside the tunnel with the certificate checked for the origin's name.
// Then a lossy link: a tunnel reset in the body, the next one closed before
// the TLS handshake could end; both are lost connections, and the file is
// continued byte-exact in a third.
TEST_F(RealServers, HttpsGoesThroughTheProxysTunnelAndCutTunnelsAreResumed) {
    RealServer server("nginx-https", root_->path(), "", certificates_->serverFiles("good"));
    ASSERT_TRUE(server.running()) << server.failure();
    peers::RecordingProxy proxy("HTTP/1.1 500 Not Here\r\nContent-Length: 0\r\n\r\n");
    proxy.CutTunnels({-1, 300000, 0});
    TempFolder downloads;
    std::string origin = "localhost:" + std::to_string(server.port());
    auto environment = Private();
    environment["https_proxy"] = proxy.url();
    environment["no_proxy"] = "";
    FetchResult result =
        RunFetch({"https://" + origin + "/one-mb.bin", downloads.path()}, environment, 60000);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(ReadFile(downloads / "one-mb.bin") == ReadFile(*root_ / "one-mb.bin"));
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_TRUE(proxy.requests()[0].starts_with("CONNECT " + origin +
                                                " HTTP/1.1\r\nHost: " + origin + "\r\n"))
        << proxy.requests()[0];

    TempFolder lossy;
    FetchResult resumed = RunFetch(
        {"--retry", "3", "https://" + origin + "/one-mb.bin", lossy.path()}, environment, 60000);
    ASSERT_EQ(resumed.exitStatus, 0) << resumed.err;
    EXPECT_TRUE(ReadFile(lossy / "one-mb.bin") == ReadFile(*root_ / "one-mb.bin"));
    EXPECT_EQ(proxy.requests().size(), 4u);
}

// Out of TLS never: the redirect to http:// is refused, the plain server
// never hears of it, and no file is written.
TEST_F(RealServers, ARedirectFromHttpsToHttpIsRefused) {
    peers::ScriptedHttpServer plain(peers::HttpScript{
        {{peers::ScriptedHttpServer::Response("HTTP/1.1 200 OK", "taken out of TLS")}}});
    RealServer server("nginx-https", root_->path(), "", certificates_->serverFiles("good"));
    ASSERT_TRUE(server.running()) << server.failure();
    TempFolder downloads;
    std::string url = "https://localhost:" + std::to_string(server.port()) +
                      "/to-plain-http?port=" + std::to_string(plain.port());
    FetchResult result = RunFetch({url, downloads.path()}, Private(), 30000);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_TRUE(
        result.err.ends_with("\nRedirect Error: a secure download may not continue without TLS\n"))
        << result.err;
    EXPECT_TRUE(plain.requests().empty());
    EXPECT_TRUE(std::filesystem::is_empty(downloads.path()));
}

// Cancel in the middle of a TLS body (nginx sends 1 MB a second) comes back
// as soon as with a plain socket, and leaves nothing behind.
TEST_F(RealServers, CancelInTheMiddleOfAnHttpsBody) {
    auto files = certificates_->serverFiles("good");
    files.push_back("1m");
    RealServer server("nginx-https", root_->path(), "", files);
    ASSERT_TRUE(server.running()) << server.failure();
    TransferHarness harness;
    harness.dialog->extraAuthorityFile = certificates_->authority();
    WriteFile(harness.downloadPath("downloads/fifty-mb.bin"), "earlier");
    harness.Start("https://localhost:" + std::to_string(server.port()) + "/fifty-mb.bin", true);
    ASSERT_TRUE(harness.RunUntil([&] { return harness.dialog->m_nReceived > 300000; }, 20000))
        << harness.surface.text(258);
    ASSERT_EQ(harness.dialog->m_bBusy, 1);
    EXPECT_LT(harness.CancelTimed(), 250.0);
    EXPECT_EQ(harness.dialog->m_szError.get(), "Canceled");
    EXPECT_FALSE(harness.dialog->m_hThread.joinable());
    EXPECT_TRUE(harness.hiddenFiles().empty());
    EXPECT_EQ(ReadFile(harness.downloadPath("downloads/fifty-mb.bin")), "earlier");
}

}  // namespace
}  // namespace orvane::testing
