// The HTTP response path fed with scripted bytes: the reader of the status
// line, the header and the body's framing on its own, whole and split at
// every byte boundary; then the client's receive loop over it: what is
// stored, what the dialog's texts say, and the failure each broken answer
// ends in.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/transfer/transfer_harness.h"
#include "transfer/http_response_reader.h"
#include "transfer/progress_text.h"
#include "transfer/resume_plan.h"

namespace orvane::testing {
namespace {

using Reader = HttpResponseReader;
using Exchange = CTransferDlg::HttpExchange;

// What a reader made of a response.
struct Reading {
    Reader::State state;
    Reader::Fault fault;
    int status;
    std::string body;
    bool operator==(const Reading&) const = default;
};

void PrintTo(const Reading& reading, std::ostream* out) {
    *out << "state " << int(reading.state) << ", fault " << int(reading.fault) << ", status "
         << reading.status << ", body of " << reading.body.size() << " bytes";
}

// Feeds the pieces in turn, then the server's close when closed is set.
Reading Read(const std::vector<std::string_view>& pieces, bool closed) {
    std::string body;
    Reader reader([&body](std::string_view bytes) { body += bytes; });
    for (std::string_view piece : pieces)
        reader.feed(piece);
    if (closed)
        reader.finish();
    return {reader.state(), reader.fault(), reader.status(), body};
}

// The response read whole, one byte per read, and cut in two at every
// boundary: each way must come to the same reading.
Reading ReadEveryWay(const std::string& response, bool closed) {
    std::string_view all(response);
    Reading whole = Read({all}, closed);
    std::vector<std::string_view> bytes;
    for (std::size_t at = 0; at < all.size(); ++at)
        bytes.push_back(all.substr(at, 1));
    EXPECT_EQ(Read(bytes, closed), whole) << "one byte per read:\n" << response;
    for (std::size_t cut = 0; cut <= all.size(); ++cut)
        EXPECT_EQ(Read({all.substr(0, cut), all.substr(cut)}, closed), whole)
            << "cut at " << cut << ":\n"
            << response;
    return whole;
}

const std::string kChunkedHeader = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

struct GoodResponse {
    const char* what;
    std::string response;
    bool closed;  // the body runs until the server closes
    std::string body;
};

TEST(HttpResponseReader, EveryGoodAnswerReadsTheSameWholeOrSplitAnywhere) {
    const GoodResponse good[] = {
        {"a length", "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\nhello world!", false,
         "hello world!"},
        {"a lower-case length", "HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nabcde", false,
         "abcde"},
        {"a mixed-case length", "HTTP/1.1 200 OK\r\nCONTENT-length:   7 \r\n\r\n1234567", false,
         "1234567"},
        {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 2, 2\r\n\r\nab", false, "ab"},
        {"HTTP/1.0", "HTTP/1.0 200 OK\r\nServer: SimpleHTTP/0.6\r\nContent-Length: 3\r\n\r\nabc",
         false, "abc"},
        {"no reason phrase", "HTTP/1.1 200\r\nContent-Length: 1\r\n\r\nx", false, "x"},
        {"an empty body", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, ""},
        {"lines ending in LF alone", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", false, "ok"},
        {"no length: until the close", "HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n0123456789",
         true, "0123456789"},
        {"no length, no body", "HTTP/1.1 200 OK\r\n\r\n", true, ""},
        {"one chunk", kChunkedHeader + "5\r\nhello\r\n0\r\n\r\n", false, "hello"},
        {"many chunks, extensions and trailers",
         "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\nContent-Length: 3\r\n\r\n"
         "1;a=b\r\nh\r\nA ; name=\"x;y\"\r\n0123456789\r\n00003\r\nxyz\r\n"
         "0;last\r\nX-Sum: 1\r\nX-Other: 2\r\n\r\n",
         false, "h0123456789xyz"},
        {"chunk lines ending in LF alone", kChunkedHeader + "3\nabc\n0\n\n", false, "abc"},
        {"interim answers first",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n"
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
         false, "ok"},
    };
    for (const GoodResponse& g : good) {
        Reading reading = ReadEveryWay(g.response, g.closed);
        EXPECT_EQ(reading, (Reading{Reader::State::Complete, Reader::Fault::None, 200, g.body}))
            << g.what;
    }
}

struct BrokenResponse {
    const char* what;
    std::string response;
    bool closed;
    Reader::Fault fault;
    int status;  // read before the fault was found, or 0
};

TEST(HttpResponseReader, BrokenAnswersAreRefusedWithTheirFaultHoweverSplit) {
    using Fault = Reader::Fault;
    const BrokenResponse broken[] = {
        {"nothing at all", "", true, Fault::BadHeader, 0},
        {"not HTTP", "<html>hello</html>", false, Fault::BadHeader, 0},
        {"a header without end", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", true, Fault::BadHeader,
         0},
        {"another version", "HTTP/2 200\r\n\r\n", false, Fault::BadHeader, 0},
        {"a status of four digits", "HTTP/1.1 2000 OK\r\n\r\n", true, Fault::BadHeader, 0},
        {"a status of two digits", "HTTP/1.1 20 OK\r\n\r\n", true, Fault::BadHeader, 0},
        {"a status under 100", "HTTP/1.1 042 OK\r\n\r\n", true, Fault::BadHeader, 0},
        {"a negative length", "HTTP/1.1 200 OK\r\nContent-Length: -512\r\n\r\nab", true,
         Fault::BadHeader, 200},
        {"a length with letters", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", true,
         Fault::BadHeader, 200},
        {"a length beyond 63 bits",
         "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", true, Fault::BadHeader,
         200},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 6\r\n\r\n", true,
         Fault::BadHeader, 200},
        {"a coding it cannot undo", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
         true, Fault::BadHeader, 200},
        {"a body cut short",
         "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n" + std::string(100, 'b'), true,
         Fault::CutBody, 200},
        {"a chunk cut short", kChunkedHeader + "5\r\nhel", true, Fault::CutBody, 200},
        {"no last chunk", kChunkedHeader + "5\r\nhello\r\n", true, Fault::CutBody, 200},
        {"no blank line after the last chunk", kChunkedHeader + "0\r\nX-Sum: 1\r\n", true,
         Fault::CutBody, 200},
        {"a size that is no hex", kChunkedHeader + "zz\r\n", false, Fault::BadChunk, 200},
        {"an empty size line", kChunkedHeader + "\r\nhello", false, Fault::BadChunk, 200},
        {"two numbers", kChunkedHeader + "5 5\r\nhello", false, Fault::BadChunk, 200},
        {"a negative size", kChunkedHeader + "-5\r\nhello", false, Fault::BadChunk, 200},
        {"a size beyond 63 bits", kChunkedHeader + "10000000000000000\r\n", false, Fault::BadChunk,
         200},
        {"data longer than its size", kChunkedHeader + "5\r\nhelloXX\r\n0\r\n\r\n", false,
         Fault::BadChunk, 200},
        {"a CR without LF", kChunkedHeader + "5\rhello", false, Fault::BadChunk, 200},
        {"a CR without LF to end", kChunkedHeader + "0\r\n\rX", false, Fault::BadChunk, 200},
        {"only an interim answer", "HTTP/1.1 100 Continue\r\n\r\n", true, Fault::BadHeader, 0},
        {"not HTTP after an interim answer", "HTTP/1.1 100 Continue\r\n\r\n<html>", false,
         Fault::BadHeader, 0},
    };
    for (const BrokenResponse& b : broken) {
        Reading reading = ReadEveryWay(b.response, b.closed);
        EXPECT_EQ(reading.state, Reader::State::Invalid) << b.what;
        EXPECT_EQ(reading.fault, b.fault) << b.what;
        EXPECT_EQ(reading.status, b.status) << b.what;
    }
}

TEST(HttpResponseReader, HeadersAndSizeLinesWithoutEndStopAtTheirLimits) {
    Reading header = Read({"HTTP/1.1 200 OK\r\n", std::string(70000, 'h')}, false);
    EXPECT_EQ(header.fault, Reader::Fault::BadHeader);
    Reading sizeLine = Read({kChunkedHeader, "5;" + std::string(5000, 'e')}, false);
    EXPECT_EQ(sizeLine.fault, Reader::Fault::BadChunk);
    Reading trailer = Read({kChunkedHeader, "0\r\n", std::string(70000, 't')}, false);
    EXPECT_EQ(trailer.fault, Reader::Fault::BadChunk);
}

TEST(HttpResponseReader, FieldNamesMatchWithoutCaseAndFoldedLinesContinue) {
    Reader reader([](std::string_view) {});
    reader.feed(
        "HTTP/1.1 302 Found\r\nLOCATION:  /next/ev.sac \r\nX-Long: one\r\n two\r\n"
        "no colon here\r\nContent-Length: 4\r\n\r\n");
    EXPECT_EQ(reader.status(), 302);
    EXPECT_EQ(reader.field("location"), "/next/ev.sac");
    EXPECT_EQ(reader.field("Location"), "/next/ev.sac");
    EXPECT_EQ(reader.field("x-long"), "one two");
    EXPECT_EQ(reader.field("X-Missing"), std::nullopt);
    EXPECT_EQ(reader.contentLength(), 4);
    EXPECT_EQ(reader.framing(), Reader::Framing::Length);
}

TEST(HttpResponseReader, BytesAfterTheEndOfTheBodyAreNotPartOfIt) {
    Reading length = Read({"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nabcdefgh"}, false);
    EXPECT_EQ(length.body, "abcd");
    EXPECT_EQ(length.state, Reader::State::Complete);
    Reading chunked = Read({kChunkedHeader + "2\r\nab\r\n0\r\n\r\nHTTP/1.1 200 OK"}, false);
    EXPECT_EQ(chunked.body, "ab");
    EXPECT_EQ(chunked.state, Reader::State::Complete);
}

// A dialog with its local file open, as StartHttp leaves it.
struct ResponseCase {
    TransferHarness harness;
    std::string finalPath = harness.downloadPath("downloads/ev.sac");

    ResponseCase() { harness.dialog->m_pFile = std::make_unique<LocalFile>(finalPath); }
    Exchange Feed(std::deque<std::string> pieces,
                  ScriptedStream::Ending ending = ScriptedStream::Ending::Close) {
        ScriptedStream stream(std::move(pieces), ending);
        Exchange result = harness.dialog->ReceiveHttpResponse(stream, location);
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
    CTransferDlg& dialog() { return *harness.dialog; }
    bool closed = false;
    int receives = 0;
    std::string location;
};

std::string Header(const std::string& status, const std::string& fields) {
    return status + "\r\nServer: scripted\r\nContent-Type: application/octet-stream\r\n" + fields +
           "\r\n";
}

TEST(HttpResponse, StoresTheBodyAndCountsIt) {
    ResponseCase c;
    std::string body = PatternBytes(40000);
    std::string header = Header("HTTP/1.1 200 OK", "Content-Length: 40000\r\n");
    EXPECT_EQ(c.Feed({header + body.substr(0, 100), body.substr(100, 20000), body.substr(20100)}),
              Exchange::Stored);
    EXPECT_EQ(c.dialog().m_bFailed, 0);
    EXPECT_TRUE(c.closed);
    EXPECT_EQ(c.dialog().m_nReceived, 40000);
    EXPECT_EQ(c.dialog().m_nExpected, 40000);
    EXPECT_EQ(c.dialog().m_szReceived.get(), "40.0 of 40.0 kB");
    EXPECT_EQ(c.dialog().m_szPercent.get(), "100%");
    EXPECT_EQ(c.dialog().m_nPercent, 100);
    EXPECT_EQ(c.Stored(), body);
}

TEST(HttpResponse, TheServerClosingBeforeTheLengthIsACutFile) {
    ResponseCase c;
    std::string body = PatternBytes(100000);
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 300000\r\n"), body}),
              Exchange::Failed);
    EXPECT_EQ(c.error(), "Incomplete File Error");
    EXPECT_EQ(c.dialog().m_bFailed, 1);
    EXPECT_EQ(c.dialog().m_szReceived.get(), "100.0 of 300.0 kB");
}

TEST(HttpResponse, WithoutALengthTheBodyRunsUntilTheServerCloses) {
    ResponseCase c;
    std::string body = PatternBytes(300000);
    std::deque<std::string> pieces{Header("HTTP/1.1 200 OK", "Connection: close\r\n")};
    for (std::size_t at = 0; at < body.size(); at += 10000)
        pieces.push_back(body.substr(at, 10000));
    EXPECT_EQ(c.Feed(pieces), Exchange::Stored);
    EXPECT_EQ(c.dialog().m_nExpected, 0);
    EXPECT_EQ(c.dialog().m_szReceived.get(), "300.0 kB");
    EXPECT_EQ(c.Stored(), body);
}

TEST(HttpResponse, AChunkedBodyIsStoredDecodedAndEndsWithoutTheClose) {
    ResponseCase c;
    std::string body = PatternBytes(50000);
    std::string chunked = "4e20;ext=1\r\n" + body.substr(0, 20000) + "\r\n7530\r\n" +
                          body.substr(20000) + "\r\n0\r\nX-Checksum: none\r\n\r\n";
    std::deque<std::string> pieces{Header("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n")};
    for (std::size_t at = 0; at < chunked.size(); at += 7001)
        pieces.push_back(chunked.substr(at, 7001));
    int needed = static_cast<int>(pieces.size());
    pieces.push_back("the next response, never read");
    EXPECT_EQ(c.Feed(pieces), Exchange::Stored);
    EXPECT_EQ(c.receives, needed);
    EXPECT_EQ(c.dialog().m_szReceived.get(), "50.0 kB");
    EXPECT_EQ(c.Stored(), body);
}

TEST(HttpResponse, ABrokenChunkOrHeaderFails) {
    ResponseCase chunk;
    EXPECT_EQ(chunk.Feed({Header("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n") +
                          "5\r\nhello\r\nnot a size\r\n"}),
              Exchange::Failed);
    EXPECT_EQ(chunk.error(), "Chunk Format Error");
    EXPECT_TRUE(chunk.closed);

    ResponseCase nothing;
    EXPECT_EQ(nothing.Feed({}), Exchange::Failed);
    EXPECT_EQ(nothing.error(), "Header Error");

    ResponseCase notHttp;
    EXPECT_EQ(notHttp.Feed({"SSH-2.0-OpenSSH_9.2\r\n", "never read"}), Exchange::Failed);
    EXPECT_EQ(notHttp.error(), "Header Error");
    EXPECT_EQ(notHttp.receives, 1);

    ResponseCase negative;
    EXPECT_EQ(negative.Feed({Header("HTTP/1.1 200 OK", "Content-Length: -512\r\n") + "ab"}),
              Exchange::Failed);
    EXPECT_EQ(negative.error(), "Header Error");
    EXPECT_EQ(negative.dialog().m_nPercent, 0);
}

TEST(HttpResponse, EveryLengthOfGoodAnswerIsTaken) {
    ResponseCase empty;
    EXPECT_EQ(empty.Feed({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "never read"}),
              Exchange::Stored);
    EXPECT_EQ(empty.receives, 1);
    EXPECT_EQ(empty.Stored(), "");

    ResponseCase twelve;
    EXPECT_EQ(twelve.Feed({"HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n12 bytes!!!!"}),
              Exchange::Stored);
    EXPECT_EQ(twelve.Stored(), "12 bytes!!!!");

    ResponseCase old;
    EXPECT_EQ(old.Feed({"HTTP/1.0 200 OK\r\nServer: SimpleHTTP/0.6 Python/3.11.2\r\n\r\nabc"}),
              Exchange::Stored);
    EXPECT_EQ(old.Stored(), "abc");
}

TEST(HttpResponse, OtherStatusesEndAfterTheirHeaderAndStoreNothing) {
    ResponseCase missing;
    EXPECT_EQ(missing.Feed({Header("HTTP/1.1 404 Not Found", "Content-Length: 9\r\n") + "not here",
                            "never read"}),
              Exchange::Failed);
    EXPECT_EQ(missing.error(), "File Not Found");
    EXPECT_EQ(missing.receives, 1);
    EXPECT_EQ(missing.dialog().m_nReceived, 0);

    for (int status : {301, 302, 303, 307, 308}) {
        ResponseCase moved;
        std::string redirect = Header("HTTP/1.1 " + std::to_string(status) + " Moved",
                                      "location: /elsewhere/ev.sac\r\nContent-Length: 20\r\n");
        EXPECT_EQ(moved.Feed({redirect + "Moved to elsewhere.", "never read"}),
                  Exchange::Redirected);
        EXPECT_EQ(moved.location, "/elsewhere/ev.sac");
        EXPECT_EQ(moved.error(), "");
        EXPECT_EQ(moved.receives, 1);
        EXPECT_EQ(moved.Stored(), "");
    }
}

TEST(HttpResponse, StatusIsJudgedBeforeTheFile) {
    ResponseCase c;
    c.dialog().m_pFile->Discard();  // every write now falls short
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 404 Not Found", "Content-Length: 1\r\n") + "a"}),
              Exchange::Failed);
    EXPECT_EQ(c.error(), "File Not Found");
    ResponseCase good;
    good.dialog().m_pFile->Discard();
    EXPECT_EQ(good.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 1\r\n") + "a"}),
              Exchange::Failed);
    EXPECT_EQ(good.error(), "Write File Error");
}

TEST(HttpResponse, AFileThatTakesNoMoreBytesEndsTheReceiveAtOnce) {
    ResponseCase c;
    c.dialog().m_pFile->Discard();  // writes fall short from here on
    std::deque<std::string> pieces{Header("HTTP/1.1 200 OK", "Content-Length: 90000\r\n") + "a"};
    for (int i = 0; i < 50; ++i)
        pieces.push_back(PatternBytes(1800));
    EXPECT_EQ(c.Feed(pieces), Exchange::Failed);
    EXPECT_EQ(c.error(), "Write File Error");
    EXPECT_EQ(c.receives, 1);
    EXPECT_TRUE(c.closed);
}

TEST(HttpResponse, PercentIsRoundedAndTextsFollowEachReceive) {
    ResponseCase c;
    std::string header = Header("HTTP/1.1 200 OK", "Content-Length: 3\r\n");
    EXPECT_EQ(c.Feed({header + "ab"}, ScriptedStream::Ending::Fail), Exchange::Failed);
    EXPECT_EQ(c.error(), "Read Error");
    EXPECT_EQ(c.dialog().m_szReceived.get(), "2 of 3 bytes");
    EXPECT_EQ(c.dialog().m_szPercent.get(), "67%");
}

TEST(HttpResponse, BytesPastTheLengthAreNeitherReadNorStored) {
    ResponseCase c;
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 4\r\n") + "abcdefgh", "more"}),
              Exchange::Stored);
    EXPECT_EQ(c.receives, 1);
    EXPECT_EQ(c.dialog().m_nPercent, 100);
    EXPECT_EQ(c.dialog().m_szReceived.get(), "4 of 4 bytes");
    EXPECT_EQ(c.Stored(), "abcd");
}

TEST(HttpResponse, AHeaderAndBodyOneByteAReceiveAreStored) {
    ResponseCase c;
    std::string response = Header("HTTP/1.1 200 OK", "Transfer-Encoding: chunked\r\n") +
                           "3;x\r\n123\r\n2\r\n45\r\n0\r\n\r\n";
    std::deque<std::string> bytes;
    for (char ch : response)
        bytes.emplace_back(1, ch);
    EXPECT_EQ(c.Feed(bytes), Exchange::Stored);
    EXPECT_EQ(c.Stored(), "12345");
}

TEST(HttpResponse, AnEndlessHeaderStopsAtItsLimit) {
    ResponseCase c;
    std::deque<std::string> flood(1000, std::string(16384, 'h'));  // 16 MB without a header end
    flood.front().replace(0, 17, "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(c.Feed(flood), Exchange::Failed);
    EXPECT_EQ(c.error(), "Header Error");
    EXPECT_LT(c.receives, 10);
}

TEST(HttpResponse, AReceiveErrorFails) {
    ResponseCase c;
    EXPECT_EQ(c.Feed({Header("HTTP/1.1 200 OK", "Content-Length: 10\r\n") + "abc"},
                     ScriptedStream::Ending::Fail),
              Exchange::Failed);
    EXPECT_EQ(c.error(), "Read Error");
    EXPECT_TRUE(c.closed);
}

}  // namespace
}  // namespace orvane::testing

namespace orvane::testing {
namespace {

TEST(ResumePlan, ContentRangeIsReadStrictly) {
    auto good = ParseContentRange(" bytes 100-199/200 ");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->first, 100);
    EXPECT_EQ(good->last, 199);
    EXPECT_EQ(good->total, 200);
    auto unknownTotal = ParseContentRange("Bytes 5-9/*");
    ASSERT_TRUE(unknownTotal);
    EXPECT_EQ(unknownTotal->total, -1);
    for (const char* bad : {"", "bytes", "bytes */200", "bytes 10-5/200", "bytes 0-199/199",
                            "bytes -1-5/9", "bytes 0-5/9x", "items 0-5/9", "bytes 0-5",
                            "bytes +0-5/9", "bytes 0-99999999999999999999/1", "bytes 0 -5/9"})
        EXPECT_FALSE(ParseContentRange(bad)) << bad;
}

// Only a 206 that starts where the file ends, for the same file, appends;
// a 200 is the whole file again; anything that does not prove the file the
// same asks for it whole; a miss is not retried.
TEST(ResumePlan, AnAnswerAppendsOnlyWhenItProvesTheSameFile) {
    ResumePlan plan(3);
    plan.Remember({"\"e1\"", "Tue, 01 Dec 2026 10:00:00 GMT", 1000});
    FileIdentity same = plan.remembered();
    auto at = [](std::int64_t first) { return ContentRange{first, 999, 1000}; };
    EXPECT_EQ(plan.IfRangeValue(), "\"e1\"");
    EXPECT_EQ(plan.JudgeHttp(206, at(400), same, 400), ResumeStep::Append);
    EXPECT_EQ(plan.JudgeHttp(206, at(400), {}, 400), ResumeStep::Append);
    EXPECT_EQ(plan.JudgeHttp(200, std::nullopt, same, 400), ResumeStep::TakeWhole);
    EXPECT_EQ(plan.JudgeHttp(206, at(300), same, 400), ResumeStep::AskAgainWhole);
    EXPECT_EQ(plan.JudgeHttp(206, ContentRange{400, 1999, 2000}, same, 400),
              ResumeStep::AskAgainWhole);
    EXPECT_EQ(plan.JudgeHttp(206, ContentRange{400, 499, 1000}, same, 400),
              ResumeStep::AskAgainWhole);
    EXPECT_EQ(plan.JudgeHttp(206, std::nullopt, same, 400), ResumeStep::AskAgainWhole);
    EXPECT_EQ(plan.JudgeHttp(206, at(400), {"\"e2\"", same.lastModified, 1000}, 400),
              ResumeStep::AskAgainWhole);
    EXPECT_EQ(plan.JudgeHttp(416, std::nullopt, {}, 400), ResumeStep::AskAgainWhole);
    for (int miss : {404, 410, 500, 301})
        EXPECT_EQ(plan.JudgeHttp(miss, std::nullopt, {}, 400), ResumeStep::Fail) << miss;

    ResumePlan weak(3);
    weak.Remember({"W/\"e1\"", "Tue, 01 Dec 2026 10:00:00 GMT", 1000});
    EXPECT_EQ(weak.IfRangeValue(), "Tue, 01 Dec 2026 10:00:00 GMT");
    ResumePlan bare(3);
    bare.Remember({"", "", 1000});
    EXPECT_EQ(bare.IfRangeValue(), "");
    EXPECT_TRUE(bare.CanAskRange(400));
    EXPECT_FALSE(bare.CanAskRange(0));
    ResumePlan noLength(3);
    noLength.Remember({"\"e1\"", "", -1});
    EXPECT_FALSE(noLength.CanAskRange(400));

    EXPECT_EQ(plan.JudgeFtpSize(1000), ResumeStep::Append);
    EXPECT_EQ(plan.JudgeFtpSize(1001), ResumeStep::AskAgainWhole);
    EXPECT_EQ(plan.JudgeFtpSize(-1), ResumeStep::AskAgainWhole);
    EXPECT_EQ(ResumePlan::JudgeRestReply(350), ResumeStep::Append);
    EXPECT_EQ(ResumePlan::JudgeRestReply(502), ResumeStep::AskAgainWhole);
}

TEST(ResumePlan, TriesWaitLongerEachTimeAndSayWhereTheyStand) {
    ResumePlan plan(3);
    std::vector<int> waits;
    while (plan.TryLeft(0))
        waits.push_back(plan.Advance(0));
    EXPECT_EQ(waits, (std::vector<int>{1000, 2000, 4000}));
    EXPECT_EQ(plan.tryNumber(), 4);
    EXPECT_EQ(plan.totalTries(), 4);
    EXPECT_FALSE(ResumePlan(0).TryLeft(100));
    // A try that took the file further: the next at once, counted afresh,
    // then the waits again from the first.
    ASSERT_TRUE(plan.TryLeft(5000));
    EXPECT_EQ(plan.Advance(5000), 0);
    EXPECT_EQ(plan.tryNumber(), 2);
    EXPECT_EQ(plan.Advance(5000), 1000);
    EXPECT_EQ(plan.Advance(4000), 2000);
    EXPECT_EQ(plan.tryNumber(), 4);
    EXPECT_FALSE(plan.TryLeft(5000));
    // -c: the local file's bytes are no progress of this download.
    ResumePlan continued(3);
    continued.StartAt(7000);
    EXPECT_EQ(continued.Advance(7000), 1000);
    EXPECT_EQ(ResumeStatusText(12300000, 50000000, 2, 4),
              "Connection lost at 12.3 of 50.0 MB; resuming (try 2 of 4)...");
    EXPECT_EQ(ResumeStatusText(300, 900, 3, 4),
              "Connection lost at 300 of 900 bytes; resuming (try 3 of 4)...");
    EXPECT_EQ(ResumeStatusText(4200, -1, 2, 4),
              "Connection lost at 4.2 kB; resuming (try 2 of 4)...");
    EXPECT_EQ(ReadableSize(999), "999 bytes");
    EXPECT_EQ(ReadableSize(1500000000), "1.5 GB");
}

// The progress as people read it: size done and total, a rate shown only
// once a second has been measured, smoothed so that a burst or a pause
// moves the time left by a part of its size, and measured anew when the
// file starts again.
TEST(TransferProgress, SizeRateAndTimeLeftReadAndDoNotJump) {
    TransferRate rate;
    EXPECT_EQ(ProgressText(12300000, 50000000, rate.bytesPerSecond()), "12.3 of 50.0 MB");
    EXPECT_EQ(ProgressText(12300000, 0, rate.bytesPerSecond()), "12.3 MB");
    // 1 MB every 250 ms for ten seconds.
    for (std::int64_t step = 0; step <= 40; ++step)
        rate.Sample(step * 1000000, step * 250);
    std::int64_t bytes = 40000000, now = 10000;
    EXPECT_NEAR(rate.bytesPerSecond(), 4e6, 1e3);
    EXPECT_EQ(ProgressText(12300000, 50000000, 4.1e6), "12.3 of 50.0 MB, 4.1 MB/s, 10 s left");
    EXPECT_EQ(ProgressText(12300000, 0, 4.1e6), "12.3 MB, 4.1 MB/s");
    EXPECT_EQ(ProgressText(0, 5000000000, 1e6), "0.0 of 5.0 GB, 1.0 MB/s, 83 min left");
    // Half a second with nothing: the rate falls by less than a third.
    rate.Sample(bytes, now + 500);
    EXPECT_GT(rate.bytesPerSecond(), 2.7e6);
    EXPECT_LT(rate.bytesPerSecond(), 4e6);
    // A file that starts again from byte 0 is measured anew.
    rate.Sample(0, now + 600);
    EXPECT_LT(rate.bytesPerSecond(), 0);
    rate.Sample(500000, now + 1100);
    EXPECT_LT(rate.bytesPerSecond(), 0);
    rate.Sample(1000000, now + 1600);
    EXPECT_NEAR(rate.bytesPerSecond(), 1e6, 1e3);
}

}  // namespace
}  // namespace orvane::testing
