// The HTTP response path fed with scripted bytes: what is stored, what the
// dialog's texts say, and how a response is judged after the loop.
#include <gtest/gtest.h>

#include "tests/transfer/transfer_harness.h"

namespace orvane::testing {
namespace {

// A dialog with its local file open, as StartHttp leaves it.
struct ResponseCase {
    TransferHarness harness;
    std::string finalPath = harness.downloadPath("downloads/ev.sac");

    ResponseCase() { harness.dialog->m_pFile = std::make_unique<LocalFile>(finalPath); }
    int Feed(std::deque<std::string> pieces,
             ScriptedStream::Ending ending = ScriptedStream::Ending::Close) {
        ScriptedStream stream(std::move(pieces), ending);
        int result = harness.dialog->ReceiveHttpResponse(stream);
        closed = stream.closed;
        receives = stream.receives;
        return result;
    }
    // The file as a good transfer would leave it.
    std::string Stored() {
        EXPECT_TRUE(harness.dialog->m_pFile->Commit());
        return ReadFile(finalPath);
    }
    std::string error() const { return harness.dialog->m_szError.get(); }
    bool closed = false;
    int receives = 0;
};

std::string Header(const std::string& status, const std::string& fields) {
    return status + "\r\nServer: scripted-padding-padding-padding-padding-padding-padding\r\n" +
           "Date: Mon, 07 Dec 2026 06:00:00 GMT\r\nContent-Type: application/octet-stream\r\n" +
           "X-Padding: " + std::string(40, 'p') + "\r\n" + fields + "\r\n";
}

TEST(HttpResponse, StoresTheBodyAndCountsIt) {
    ResponseCase c;
    std::string body = PatternBytes(40000);
    std::string header = Header("HTTP/1.1 200 OK", "Content-Length: 40000\r\n");
    EXPECT_EQ(c.Feed({header + body.substr(0, 100), body.substr(100, 20000), body.substr(20100)}),
              1);
    EXPECT_EQ(c.harness.dialog->m_bFailed, 0);
    EXPECT_TRUE(c.closed);
    EXPECT_EQ(c.harness.dialog->m_nReceived, 40000);
    EXPECT_EQ(c.harness.dialog->m_nExpected, 40000);
    EXPECT_EQ(c.harness.dialog->m_szReceived.get(), "40000 of 40000 bytes");
    EXPECT_EQ(c.harness.dialog->m_szPercent.get(), "100%");
    EXPECT_EQ(c.harness.dialog->m_nPercent, 100);
    EXPECT_EQ(c.Stored(), body);
}

TEST(HttpResponse, ANegativeLengthCountsAsNoneAndNeverShowsANegativePercent) {
    ResponseCase c;
    std::string body = PatternBytes(300);
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: -512\r\n") + body}), 1);
    EXPECT_EQ(c.harness.dialog->m_nExpected, 0);
    EXPECT_EQ(c.harness.dialog->m_nPercent, 0);
    EXPECT_EQ(c.harness.dialog->m_szPercent.get(), "");
    EXPECT_EQ(c.Stored(), body);
}

TEST(HttpResponse, AFileThatTakesNoMoreBytesEndsTheReceiveAtOnce) {
    ResponseCase c;
    c.harness.dialog->m_pFile->Discard();  // writes fall short from here on
    std::deque<std::string> pieces{Header("HTTP/1.1 200 OK", "Content-Length: 90000\r\n") + "a"};
    for (int i = 0; i < 50; ++i)
        pieces.push_back(PatternBytes(1800));
    EXPECT_EQ(c.Feed(pieces), 0);
    EXPECT_EQ(c.error(), "Write File Error");
    EXPECT_EQ(c.receives, 1);
    EXPECT_TRUE(c.closed);
}

TEST(HttpResponse, PercentIsRoundedAndTextsFollowEachReceive) {
    ResponseCase c;
    std::string header = Header("HTTP/1.1 200 OK", "Content-Length: 3\r\n");
    // The server stops after 2 of 3 bytes: what arrived is stored.
    EXPECT_EQ(c.Feed({header + "ab"}), 1);
    EXPECT_EQ(c.harness.dialog->m_szReceived.get(), "2 of 3 bytes");
    EXPECT_EQ(c.harness.dialog->m_szPercent.get(), "67%");
    EXPECT_EQ(c.Stored(), "ab");
}

TEST(HttpResponse, JudgesLengthThenHeaderThenStatus) {
    ResponseCase shortOne;
    EXPECT_EQ(shortOne.Feed({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab"}), 0);
    EXPECT_EQ(shortOne.error(), "File Length Error");
    EXPECT_EQ(shortOne.harness.dialog->m_bFailed, 1);

    ResponseCase noHeaderEnd;
    EXPECT_EQ(noHeaderEnd.Feed({"HTTP/1.1 200 OK\r\n" + std::string(300, 'x')}), 0);
    EXPECT_EQ(noHeaderEnd.error(), "Header Error");

    ResponseCase oldVersion;
    EXPECT_EQ(oldVersion.Feed({Header("HTTP/1.0 200 OK", "Content-Length: 1\r\n") + "a"}), 0);
    EXPECT_EQ(oldVersion.error(), "File Not Found");

    ResponseCase missing;
    EXPECT_EQ(missing.Feed({Header("HTTP/1.1 404 Not Found", "Content-Length: 1\r\n") + "a"}), 0);
    EXPECT_EQ(missing.error(), "File Not Found");

    ResponseCase moved;  // a redirect is not followed
    EXPECT_EQ(moved.Feed({Header("HTTP/1.1 301 Moved", "Location: /x\r\nContent-Length: 0\r\n")}),
              0);
    EXPECT_EQ(moved.error(), "File Not Found");
}

TEST(HttpResponse, StatusIsJudgedBeforeTheFile) {
    ResponseCase c;
    c.harness.dialog->m_pFile->Discard();  // every write now falls short
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 404 Not Found", "Content-Length: 1\r\n") + "a"}), 0);
    EXPECT_EQ(c.error(), "File Not Found");
    ResponseCase good;
    good.harness.dialog->m_pFile->Discard();
    EXPECT_EQ(good.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 1\r\n") + "a"}), 0);
    EXPECT_EQ(good.error(), "Write File Error");
}

TEST(HttpResponse, WithoutContentLengthOnlyThePassOfTheHeaderIsStored) {
    ResponseCase c;
    std::string header = Header("HTTP/1.1 200 OK", "content-length: 9\r\n");
    EXPECT_EQ(c.Feed({header + "abc", "def", "ghi"}), 1);
    EXPECT_EQ(c.receives, 1);
    EXPECT_EQ(c.harness.dialog->m_nExpected, 0);
    EXPECT_EQ(c.harness.dialog->m_szReceived.get(), "");  // never written without a size
    EXPECT_EQ(c.Stored(), "abc");
}

TEST(HttpResponse, EmptyBodyIsAGoodDownload) {
    ResponseCase c;
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 0\r\n"), "never read"}), 1);
    EXPECT_EQ(c.receives, 1);
    EXPECT_EQ(c.Stored(), "");
}

TEST(HttpResponse, ExtraBytesAreStoredAndPercentPassesHundred) {
    ResponseCase c;
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 4\r\n") + "abcdefgh"}), 1);
    EXPECT_EQ(c.harness.dialog->m_nPercent, 200);
    EXPECT_EQ(c.harness.dialog->m_szReceived.get(), "8 of 4 bytes");
    EXPECT_EQ(c.Stored(), "abcdefgh");
}

TEST(HttpResponse, ChunkedBodyIsStoredAsReceived) {
    ResponseCase c;
    std::string chunked = "5\r\nhello\r\n0\r\n\r\n";
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n") + chunked}), 1);
    EXPECT_EQ(c.Stored(), chunked);
}

TEST(HttpResponse, HeaderSplitOverManyReceivesIsFound) {
    ResponseCase c;
    std::string response = Header("HTTP/1.1 200 OK", "Content-Length: 5\r\n") + "12345";
    std::deque<std::string> bytes;
    for (char ch : response)
        bytes.emplace_back(1, ch);
    EXPECT_EQ(c.Feed(bytes), 1);
    EXPECT_EQ(c.Stored(), "12345");
}

TEST(HttpResponse, AnEndlessHeaderStopsAtItsLimit) {
    ResponseCase c;
    std::deque<std::string> flood(1000, std::string(16384, 'h'));  // 16 MB without a header end
    flood.front().replace(0, 17, "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(c.Feed(flood), 0);
    EXPECT_EQ(c.error(), "Header Error");
    EXPECT_LT(c.receives, 10);
}

TEST(HttpResponse, AReceiveErrorFails) {
    ResponseCase c;
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 10\r\n") + "abc"},
                     ScriptedStream::Ending::Fail),
              0);
    EXPECT_EQ(c.error(), "Read Error");
    EXPECT_TRUE(c.closed);
}

}  // namespace
}  // namespace orvane::testing
