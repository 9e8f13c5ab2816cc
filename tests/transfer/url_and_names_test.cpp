// How a URL becomes host, remote path and local file, and the small texts
// of the two protocols: the PORT line, the 150 reply's size, the request and
// where a redirect leads.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "tests/transfer/transfer_harness.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_verbs.h"
#include "transfer/http_client.h"
#include "transfer/transfer_url.h"
#include "transfer/url_text.h"

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
    EXPECT_FALSE(harness.dialog->m_bSecure);

    Parsed https = Parse(harness, "https://www.orvane.net:8443/userdata/b.evt");
    EXPECT_EQ(https.result, 1);
    EXPECT_EQ(https.host, "www.orvane.net:8443");
    EXPECT_EQ(https.path, "/userdata/b.evt");
    EXPECT_EQ(https.name, "b.evt");
    EXPECT_TRUE(harness.dialog->m_bSecure);
}

TEST(TransferParseUrl, BackslashesActAsSlashesAndBlanksOrParenthesesEndTheUrl) {
    TransferHarness harness;
    Parsed slashes = Parse(harness, "http:\\\\host.net\\quakes\\ev.sac");
    EXPECT_EQ(slashes.result, 1);
    EXPECT_EQ(slashes.host, "host.net");
    EXPECT_EQ(slashes.path, "/quakes/ev.sac");
    EXPECT_EQ(harness.dialog->m_szUrl, "http://host.net/quakes/ev.sac");

    Parsed parenthesis = Parse(harness, "http://host.net/q/ev.sac(2)");
    EXPECT_EQ(parenthesis.name, "ev.sac");
    Parsed noted = Parse(harness, "http://host.net/q/ev.sac  (12 KB)");
    EXPECT_EQ(noted.result, 1);
    EXPECT_EQ(noted.name, "ev.sac");
}

// A byte that would end the request line or the command, or split it, is
// never sent: the URL is refused before anything goes out.
TEST(TransferParseUrl, ControlCharactersAndBlanksAreRefusedInHostPathAndQuery) {
    TransferHarness harness;
    for (const char* url :
         {"http://host.net/q/ev one.sac", "http://host.net/q/ev.sac\r\nX-Injected: 1",
          "http://host.net/q/ev.sac?a=\n", "http://host.net/q/\tev.sac", "http://ho st.net/ev.sac",
          "http://host.net\r\n/ev.sac", "ftp://host.net/q/ev.sac\rDELE x", "https://host.net/\x7f",
          "ftp://host.net/q\x01/ev.sac"})
        EXPECT_EQ(Parse(harness, url).result, 0) << url;
    EXPECT_TRUE(HasUnsafeUrlBytes("a b"));
    EXPECT_FALSE(HasUnsafeUrlBytes("/q/%20%0D%0A\xc3\xa9"));  // escaped and UTF-8 bytes pass
}

// The link's own letters are asked first; the lower-cased fallback names
// the local file and counts only for the same server and client.
TEST(TransferParseUrl, TheFallbackUrlNamesTheLocalFile) {
    TransferHarness harness;
    harness.dialog->m_szFallbackUrl = "http://www.orvane.net/quakes/2024/ev01.evt";
    Parsed mixed = Parse(harness, "http://www.orvane.net/quakes/2024/Ev01.EVT");
    EXPECT_EQ(mixed.result, 1);
    EXPECT_EQ(mixed.path, "/quakes/2024/Ev01.EVT");
    EXPECT_EQ(mixed.name, "ev01.evt");
    EXPECT_EQ(harness.dialog->m_szFallbackPath, "/quakes/2024/ev01.evt");
    harness.dialog->m_szFallbackUrl = "http://other.net/quakes/2024/ev01.evt";
    EXPECT_EQ(Parse(harness, "http://www.orvane.net/quakes/2024/Ev01.EVT").name, "Ev01.EVT");
    EXPECT_EQ(harness.dialog->m_szFallbackPath, "");
    harness.dialog->m_szFallbackUrl = "ftp://www.orvane.net/quakes/2024/ev01.evt";
    Parse(harness, "http://www.orvane.net/quakes/2024/Ev01.EVT");
    EXPECT_EQ(harness.dialog->m_szFallbackPath, "");
    harness.dialog->m_szFallbackUrl = "http://www.orvane.net/quakes/2024/ev01.evt";
    Parse(harness, "http://www.orvane.net/quakes/2024/ev01.evt");
    EXPECT_EQ(harness.dialog->m_szFallbackPath, "") << "the same URL is not asked twice";
}

TEST(TransferParseUrl, RefusesWhatCannotNameAFile) {
    TransferHarness harness;
    EXPECT_EQ(Parse(harness, "http://host.net/quakes/").result, 0);  // ends with a slash
    EXPECT_EQ(Parse(harness, "gopher://host.net/a.sac").result, 0);
    EXPECT_EQ(Parse(harness, "HTTP://host.net/a.sac").result, 0);  // scheme case matters
    EXPECT_EQ(Parse(harness, "https:/host.net/a.sac").result, 0);
    EXPECT_EQ(Parse(harness, "http://host.net").result, 0);  // no slash after the host
    EXPECT_EQ(Parse(harness, "http://ab/a.sac").result, 0);  // host under 3 characters
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

TEST(TransferParseUrl, IPv6AddressesAreWrittenInBrackets) {
    TransferHarness harness;
    Parsed parsed = Parse(harness, "http://[::1]:8080/quakes/a.evt");
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.host, "[::1]:8080");
    EXPECT_EQ(parsed.path, "/quakes/a.evt");
    EXPECT_EQ(SplitHostPort("[::1]:8080", 80)->name, "::1");
    EXPECT_EQ(SplitHostPort("[::1]:8080", 80)->port, 8080);
    EXPECT_EQ(SplitHostPort("[2001:db8::5]", 21)->name, "2001:db8::5");
    EXPECT_EQ(SplitHostPort("[2001:db8::5]", 21)->port, 21);
    for (const char* bad : {"[::1", "[::1]8080", "[::1]:", "[host.net]:80", "[]:80", "[::1]:0"})
        EXPECT_FALSE(SplitHostPort(bad, 80)) << bad;
    EXPECT_EQ(ParseAddressLiteral("2001:db8::5")->family(), AF_INET6);
    EXPECT_EQ(ParseAddressLiteral("10.0.0.1")->text(), "10.0.0.1");
    EXPECT_FALSE(ParseAddressLiteral("host.net"));
    EXPECT_TRUE(ParseAddressLiteral("::1")->SameHost(*ParseAddressLiteral("::1")));
    EXPECT_FALSE(ParseAddressLiteral("::1")->SameHost(*ParseAddressLiteral("127.0.0.1")));
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

TEST(FtpTexts, PassivePortAndDecodedPath) {
    EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode (127,0,0,1,200,10)."), 200 * 256 + 10);
    EXPECT_EQ(ParsePassivePort("227 =10,9,8,7,4,1"), 1025);  // no parentheses (RFC 1123)
    EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode (127,0,0,1,300,10)."), 0);
    EXPECT_EQ(ParsePassivePort("227 Entering Passive Mode."), 0);
    EXPECT_EQ(ParseExtendedPassivePort("229 Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseExtendedPassivePort("229 Extended (!!!1025!)"), 1025);
    for (const char* bad : {"229 (|||70000|)", "229 (||6446|)", "229 (|||64a6|)", "229 (|||)",
                            "229 no port", "229 (|||6446"})
        EXPECT_EQ(ParseExtendedPassivePort(bad), 0) << bad;
    auto v6 = ParseAddressLiteral("::1");
    ASSERT_TRUE(v6.has_value());
    EXPECT_EQ(FormatActiveLine(*v6, 50123), "EPRT |2|::1|50123|");
    EXPECT_EQ(FormatActiveLine(*ParseAddressLiteral("127.0.0.1"), 1025), "PORT 127,0,0,1,4,1");
    EXPECT_EQ(DecodeUrlPath("/sp%20ace.bin"), "/sp ace.bin");
    EXPECT_EQ(DecodeUrlPath("/%C3%A9v%e9nt/%zz%4"), "/\xC3\xA9v\xE9nt/%zz%4");
}

TEST(FtpTexts, OnlyRetrListAndNlstOpenADataConnectionThatTheModeVerbsSetUp) {
    for (const char* verb : {"RETR", "LIST", "NLST", "retr", "List"})
        EXPECT_TRUE(IsFtpTransferVerb(verb)) << verb;
    for (const char* verb : {"STOR", "RET", "RETRX", "TYPE", "PASV", ""})
        EXPECT_FALSE(IsFtpTransferVerb(verb)) << verb;
    for (const char* verb : {"PORT", "EPRT", "PASV", "EPSV", "epsv"})
        EXPECT_TRUE(IsFtpModeVerb(verb)) << verb;
    for (const char* verb : {"RETR", "TYPE", "SPSV", "PORTS", ""})
        EXPECT_FALSE(IsFtpModeVerb(verb)) << verb;
}

TEST(UrlTexts, SchemeNamesAndPercentEncoding) {
    for (const char* name : {"http", "HTTPS", "svn+ssh", "a.b-c", "x1"})
        EXPECT_TRUE(IsSchemeName(name)) << name;
    for (const char* name : {"", "1http", "+x", "ht tp", "h_t", "\xC3\xA9t\xC3\xA9", "ftp/"})
        EXPECT_FALSE(IsSchemeName(name)) << name;

    auto lettersOnly = [](char c) { return c >= 'a' && c <= 'z'; };
    EXPECT_EQ(PercentEncoded("ab c/\xE9\x01%", lettersOnly), "ab%20c%2F%E9%01%25");
    EXPECT_EQ(PercentEncoded("", lettersOnly), "");
}

// One listing line as the test reads it: type, size, name, date.
std::string Line(const std::string& text) {
    FtpListEntry entry;
    if (!ParseListLine(text, entry))
        return "(none)";
    return std::string(1, KindLetter(entry.kind)) + " " + std::to_string(entry.size) + " [" +
           entry.name + "] " + entry.date;
}

TEST(FtpListing, UnixAndDosLinesAndAnythingElseAsAName) {
    EXPECT_EQ(Line("drwxr-xr-x    2 0        0            4096 Jan 05 12:00 2001"),
              "d 4096 [2001] Jan 05 12:00");
    EXPECT_EQ(Line("-rw-r--r--   1 owner group  1048576 Dec 31  1999 event file.evt\r"),
              "f 1048576 [event file.evt] Dec 31 1999");
    EXPECT_EQ(Line("-rw-r--r-- 1 ftp 5 Mar 1 09:15 no-group.bin"),
              "f 5 [no-group.bin] Mar 1 09:15");
    EXPECT_EQ(Line("lrwxrwxrwx 1 0 0 7 Feb 02 10:00 latest -> 2001/01"),
              "l 7 [latest] Feb 02 10:00");
    EXPECT_EQ(Line("-rw-r--r-- 1 0 0 3 Jan 05 12:00 \xC3\xA9v\xC3\xA9nement"),
              "f 3 [\xC3\xA9v\xC3\xA9nement] Jan 05 12:00");
    EXPECT_EQ(Line("01-05-01  12:00PM       <DIR>          quakes 2001"),
              "d -1 [quakes 2001] 01-05-01 12:00PM");
    EXPECT_EQ(Line("12-31-1999  11:59PM              3000 0101.evt"),
              "f 3000 [0101.evt] 12-31-1999 11:59PM");
    EXPECT_EQ(Line("  just a name.seed  "), "? -1 [just a name.seed] ");
    EXPECT_EQ(Line("-rw-r--r-- 1 0 0 5 Jan 05"), "? -1 [-rw-r--r-- 1 0 0 5 Jan 05] ");
    EXPECT_EQ(Line("total 12"), "(none)");
    EXPECT_EQ(Line("   \r"), "(none)");
    auto entries = ParseListing(
        "total 2\r\ndrwxr-xr-x 2 0 0 6 Jan 05 12:00 .\r\n"
        "drwxr-xr-x 2 0 0 6 Jan 05 12:00 ..\r\nfile\nlast");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "file");
    EXPECT_EQ(entries[1].name, "last");
}

TEST(HttpTexts, RequestCarriesTheHostAsWrittenTheFilesOwnUrlAndTheProgram) {
    EXPECT_EQ(FormatHttpRequest({false, "127.0.0.1:8080", "/quakes/ev.sac"}, "orvane-fetch/1.0.0"),
              "GET /quakes/ev.sac HTTP/1.1\r\n"
              "Referer: http://127.0.0.1:8080/quakes/ev.sac\r\n"
              "Host: 127.0.0.1:8080\r\n"
              "User-Agent: orvane-fetch/1.0.0\r\n"
              "\r\n");
    EXPECT_EQ(FormatHttpRequest({true, "[::1]:8443", "/userdata/A.evt"}, ""),
              "GET /userdata/A.evt HTTP/1.1\r\n"
              "Referer: https://[::1]:8443/userdata/A.evt\r\n"
              "Host: [::1]:8443\r\n"
              "\r\n");
}

// Where a Location leads from http://www.orvane.net/quakes/2024/ev.sac?v=1.
TEST(HttpTexts, RedirectLocationsAreReadAgainstTheRequest) {
    const HttpTarget from{false, "www.orvane.net", "/quakes/2024/ev.sac?v=1"};
    auto url = [&from](std::string_view location) {
        auto target = ResolveRedirect(from, location);
        return target ? target->url() : "(none)";
    };
    EXPECT_EQ(url("https://mirror.orvane.net:8443/q/ev.sac"),
              "https://mirror.orvane.net:8443/q/ev.sac");
    EXPECT_EQ(url("HTTP://Mirror.orvane.net"), "http://Mirror.orvane.net/");
    EXPECT_EQ(url("http://mirror.orvane.net?x=1"), "http://mirror.orvane.net/?x=1");
    EXPECT_EQ(url("//mirror.orvane.net/q/a.sac"), "http://mirror.orvane.net/q/a.sac");
    EXPECT_EQ(url("/userdata/b.sac"), "http://www.orvane.net/userdata/b.sac");
    EXPECT_EQ(url("c.sac"), "http://www.orvane.net/quakes/2024/c.sac");
    EXPECT_EQ(url("../2023/./d.sac"), "http://www.orvane.net/quakes/2023/d.sac");
    EXPECT_EQ(url("../../../../e.sac"), "http://www.orvane.net/e.sac");
    EXPECT_EQ(url("2025/.."), "http://www.orvane.net/quakes/2024/");
    EXPECT_EQ(url("?v=2"), "http://www.orvane.net/quakes/2024/ev.sac?v=2");
    EXPECT_EQ(url("/a b/\xc3\xa9.sac#frag"), "http://www.orvane.net/a%20b/%C3%A9.sac");
    EXPECT_EQ(url("/q?a=/../b"), "http://www.orvane.net/q?a=/../b");
    for (std::string_view refused :
         {"", "#only", "ftp://ftp.orvane.net/a.sac", "mailto:x@y", "http://", "http://user@host/a",
          "https://host:0/a", "http://:80/a", "/a\x01.sac", "/a\r\nX-Injected: 1", "/a\tb",
          "http://ho st/a", "http://host\t.net/a", "/a\x7f"})
        EXPECT_EQ(url(refused), "(none)") << refused;
    // From https:// a Location without scheme stays on https://.
    EXPECT_EQ(ResolveRedirect({true, "h.net", "/a/b"}, "//other.net/c")->url(),
              "https://other.net/c");
    EXPECT_TRUE(IsRedirectStatus(301) && IsRedirectStatus(302) && IsRedirectStatus(303) &&
                IsRedirectStatus(307) && IsRedirectStatus(308));
    EXPECT_FALSE(IsRedirectStatus(300) || IsRedirectStatus(304) || IsRedirectStatus(305) ||
                 IsRedirectStatus(200));
}

}  // namespace
}  // namespace orvane::testing
