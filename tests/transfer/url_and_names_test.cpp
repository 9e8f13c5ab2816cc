// How a URL becomes host, remote path and local file, and the small texts
// of the two protocols: the PORT line, the 150 reply's size, the header.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tests/transfer/transfer_harness.h"
#include "transfer/http_client.h"

namespace orvane::testing {
namespace {

struct Parsed {
    int result;
    std::string host, path, name, local;
};

Parsed Parse(TransferHarness& harness, const std::string& url) {
    harness.dialog->m_szUrl = url;
    int result = harness.dialog->ParseUrl();
    return {result, harness.dialog->m_szHost, harness.dialog->m_szPath,
            harness.dialog->m_szFileName, harness.dialog->m_szLocalPath};
}

TEST(TransferParseUrl, SplitsHostPathAndNamesTheLocalFile) {
    TransferHarness harness;
    std::string folder = harness.app.m_szDownloadDir;
    Parsed http = Parse(harness, "http://www.orvane.net/quakes/2001/ev01.sac");
    EXPECT_EQ(http.result, 1);
    EXPECT_EQ(http.host, "www.orvane.net");
    EXPECT_EQ(http.path, "/quakes/2001/ev01.sac");
    EXPECT_EQ(http.name, "ev01.sac");
    EXPECT_EQ(http.local, folder + "ev01.sac");
    EXPECT_EQ(harness.dialog->m_szDirectory, folder);

    Parsed ftp = Parse(harness, "ftp://ftp.orvane.net/userdata/a.seed");
    EXPECT_EQ(ftp.result, 1);
    EXPECT_EQ(ftp.host, "ftp.orvane.net");
    EXPECT_EQ(ftp.path, "/userdata/a.seed");
    Parsed top = Parse(harness, "http://host.net/file.dat");
    EXPECT_EQ(top.path, "/file.dat");
    EXPECT_EQ(top.name, "file.dat");
}

TEST(TransferParseUrl, BackslashesActAsSlashesAndBlanksOrParenthesesEndTheUrl) {
    TransferHarness harness;
    Parsed slashes = Parse(harness, "http:\\\\host.net\\quakes\\ev.sac");
    EXPECT_EQ(slashes.result, 1);
    EXPECT_EQ(slashes.host, "host.net");
    EXPECT_EQ(slashes.path, "/quakes/ev.sac");
    EXPECT_EQ(harness.dialog->m_szUrl, "http://host.net/quakes/ev.sac");

    Parsed blank = Parse(harness, "http://host.net/q/ev one.sac");
    EXPECT_EQ(blank.name, "ev");
    EXPECT_EQ(harness.dialog->m_szUrl, "http://host.net/q/ev");
    Parsed parenthesis = Parse(harness, "http://host.net/q/ev.sac(2)");
    EXPECT_EQ(parenthesis.name, "ev.sac");
}

TEST(TransferParseUrl, RefusesWhatCannotNameAFile) {
    TransferHarness harness;
    EXPECT_EQ(Parse(harness, "http://host.net/quakes/").result, 0);  // ends with a slash
    EXPECT_EQ(Parse(harness, "gopher://host.net/a.sac").result, 0);
    EXPECT_EQ(Parse(harness, "HTTP://host.net/a.sac").result, 0);  // scheme case matters
    EXPECT_EQ(Parse(harness, "http://host.net").result, 0);        // no slash after the host
    EXPECT_EQ(Parse(harness, "http://ab/a.sac").result, 0);        // host under 3 characters
    EXPECT_EQ(Parse(harness, "http://abc/a.sac").result, 1);
    EXPECT_EQ(Parse(harness, "http://host.net/q/ (x)").result, 0);      // cut to a folder
    EXPECT_EQ(Parse(harness, "ftp://host.net/quakes/..").result, 0);    // the parent folder
    EXPECT_EQ(Parse(harness, "http://host.net/userdata/.").result, 0);  // the folder itself
    EXPECT_EQ(Parse(harness, "http://host.net/q/..evt").result, 1);
}

TEST(TransferParseUrl, AHostMayCarryAPort) {
    TransferHarness harness;
    Parsed parsed = Parse(harness, "http://127.0.0.1:8080/q/ev.sac");
    EXPECT_EQ(parsed.host, "127.0.0.1:8080");
    EXPECT_EQ(parsed.path, "/q/ev.sac");
    EXPECT_EQ(SplitHostPort("127.0.0.1:8080", 80)->port, 8080);
    EXPECT_EQ(SplitHostPort("127.0.0.1:8080", 80)->name, "127.0.0.1");
    EXPECT_EQ(SplitHostPort("host.net", 21)->port, 21);
    EXPECT_FALSE(SplitHostPort("host.net:", 80));
    EXPECT_FALSE(SplitHostPort("host.net:70000", 80));
    EXPECT_FALSE(SplitHostPort("host.net:8o", 80));
    EXPECT_FALSE(SplitHostPort(":80", 80));
}

TEST(TransferParseUrl, KeepsTheLimitsOfTheFixedFields) {
    TransferHarness harness;
    std::string prefix = "http://host.net/";
    std::string fits = prefix + std::string(255 - prefix.size(), 'a');
    std::string tooLong = fits + "a";
    harness.app.m_szDownloadDir = "/d/";
    EXPECT_EQ(Parse(harness, fits).result, 1);
    EXPECT_EQ(Parse(harness, tooLong).result, 0);
    // The local path must fit as well: folder and name together at most 255.
    harness.app.m_szDownloadDir = "/" + std::string(200, 'd') + "/";
    EXPECT_EQ(Parse(harness, prefix + std::string(53, 'n')).result, 1);
    EXPECT_EQ(Parse(harness, prefix + std::string(54, 'n')).result, 0);
}

TEST(TransferParseUrl, AnUnusableUrlIsShownAndNothingStarts) {
    TransferHarness harness;
    harness.Start("http://host.net/quakes/", true);
    EXPECT_EQ(harness.surface.text(258), "Error: Can't parse host and file name");
    EXPECT_EQ(harness.dialog->m_bFailed, 1);
    EXPECT_EQ(harness.dialog->m_bBusy, 0);
    EXPECT_FALSE(harness.dialog->m_hThread.joinable());
    harness.dialog->OnCancel();
    EXPECT_EQ(harness.surface.endCodes, std::vector<int>{IDCANCEL});
}

TEST(FtpTexts, PortLineCarriesAddressAndPortBytes) {
    in_addr address{};
    ::inet_aton("192.168.1.20", &address);
    EXPECT_EQ(FormatPortLine(address, 1025), "PORT 192,168,1,20,4,1");
    ::inet_aton("127.0.0.1", &address);
    EXPECT_EQ(FormatPortLine(address, 65535), "PORT 127,0,0,1,255,255");
}

TEST(FtpTexts, ReplySizeJoinsDigitsAcrossSeparators) {
    EXPECT_EQ(ParseReplySize("150 Opening BINARY mode data connection for a (1048576 bytes)."),
              1048576);
    EXPECT_EQ(ParseReplySize("150 Opening data connection for a (1,048,576 bytes)"), 1048576);
    EXPECT_EQ(ParseReplySize("150 Opening (1 048 576 bytes)"), 1048576);
    EXPECT_EQ(ParseReplySize("150 Opening BINARY mode data connection."), 0);
    EXPECT_EQ(ParseReplySize("150 (bytes)"), 0);
    EXPECT_EQ(ParseReplySize("150 (12)345"), 12);  // stops at ")"
    EXPECT_EQ(ParseReplySize("150 (12x34)"), 12);  // stops at another character
    // At most 20 characters after "(" are looked at.
    EXPECT_EQ(ParseReplySize("150 (1,000,000,000,000,000,000 bytes)"), 100000000000000);
}

TEST(HttpTexts, HeaderEndAndContentLength) {
    std::string response = "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody";
    const char* end = FindHeaderEnd(response.data(), response.size());
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(std::string(end), "body");
    EXPECT_EQ(FindHeaderEnd(response.data(), 24), nullptr);  // the end must lie wholly inside
    EXPECT_EQ(FindHeaderEnd("\r\n\r", 3), nullptr);

    EXPECT_EQ(GetContentLength("HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n"), 1234);
    EXPECT_EQ(GetContentLength("X\r\nContent-Length:\t 77abc"), 77);
    EXPECT_EQ(GetContentLength("X\r\ncontent-length: 1234"), 0);  // the field's case matters
    EXPECT_EQ(GetContentLength("X\r\nContent-Length: none"), 0);
    EXPECT_EQ(GetContentLength("X"), 0);
    EXPECT_EQ(GetContentLength("X\r\nContent-Length: -512"), 0);  // a broken server's length
    EXPECT_EQ(GetContentLength("X\r\nContent-Length: +12"), 12);
}

TEST(HttpTexts, RequestCarriesTheHostAsWritten) {
    EXPECT_EQ(FormatHttpRequest("127.0.0.1:8080", "/quakes/ev.sac"),
              "GET /quakes/ev.sac HTTP/1.1\r\n"
              "Referer: http://127.0.0.1:8080/quakes/ev.sac\r\n"
              "Host: 127.0.0.1:8080\r\n"
              "\r\n");
}

}  // namespace
}  // namespace orvane::testing
