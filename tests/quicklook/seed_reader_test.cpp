// Reading miniSEED and SEED volumes: records packed here with libmseed in
// every encoding and record length, volumes with header records, gaps and
// overlaps, and damaged files.

#include "quicklook/seed_reader.h"

#include <gtest/gtest.h>
#include <libmseed.h>

#include <filesystem>
#include <fstream>

#include "quicklook/quicklook_files.h"
#include "tests/quicklook/seed_samples.h"
#include "tools/testkit/temp_folder.h"

namespace orvane::quicklook {
namespace {

using testing::channel;
using testing::controlRecord;
using testing::kStart;
using testing::wave;

// Reads the bytes fed in pieces of `piece` bytes, as a file read in chunks
// or a slow pipe would bring them.
struct Read {
    TraceSet traces;
    ReadReport report;
};
Read readInPieces(const std::string& bytes, size_t piece = 4096) {
    Read read;
    SeedReader reader(read.traces);
    for (size_t at = 0; at < bytes.size(); at += piece)
        reader.feed(bytes.data() + at, std::min(piece, bytes.size() - at));
    read.report = reader.finish();
    read.traces.finish();
    return read;
}

std::vector<double> valuesOf(const Segment& segment) {
    std::vector<double> values;
    for (size_t i = 0; i < segment.size(); ++i)
        values.push_back(segment.value(i));
    return values;
}

std::vector<double> asDoubles(const std::vector<int32_t>& values) {
    return std::vector<double>(values.begin(), values.end());
}

struct Encoding {
    int code;
    const char* name;
};
constexpr Encoding kEncodings[] = {{DE_STEIM1, "Steim-1"},  {DE_STEIM2, "Steim-2"},
                                   {DE_INT16, "int16"},     {DE_INT32, "int32"},
                                   {DE_FLOAT32, "float32"}, {DE_FLOAT64, "float64"}};

PackRequest inEncoding(const Encoding& encoding, int recordLength, const std::vector<int32_t>& v) {
    PackRequest request = channel("HHZ", kStart, v, recordLength);
    request.encoding = encoding.code;
    if (encoding.code == DE_FLOAT32)
        request.samples = testing::converted<float>(v);
    if (encoding.code == DE_FLOAT64)
        request.samples = testing::converted<double>(v);
    return request;
}

TEST(SeedReader, EveryEncodingAndRecordLengthGivesBackTheSamplesAndTimesPacked) {
    auto values = wave(3001);
    for (const auto& encoding : kEncodings) {
        for (int length : {256, 512, 1024, 4096, 8192}) {
            SCOPED_TRACE(std::string(encoding.name) + " in records of " + std::to_string(length));
            std::string bytes = packRecords(inEncoding(encoding, length, values));
            ASSERT_FALSE(bytes.empty());
            ASSERT_EQ(bytes.size() % static_cast<size_t>(length), 0u);
            for (size_t piece : {size_t{7}, size_t{1000}, bytes.size()}) {
                Read read = readInPieces(bytes, piece);
                EXPECT_TRUE(read.report.problems.empty()) << read.report.problems[0];
                EXPECT_EQ(read.report.dataRecords, bytes.size() / static_cast<size_t>(length));
                ASSERT_EQ(read.traces.traces().size(), 1u);
                const Trace& trace = read.traces.traces()[0];
                EXPECT_EQ(trace.id, "XX.ORV.00.HHZ");
                EXPECT_DOUBLE_EQ(trace.sampleRate, 100);
                ASSERT_EQ(trace.segments.size(), 1u);
                EXPECT_EQ(trace.segments[0].start, kStart);
                EXPECT_EQ(valuesOf(trace.segments[0]), asDoubles(values));
                EXPECT_EQ(trace.segments[0].end(), kStart + 30010000);
            }
        }
    }
}

TEST(SeedReader, ASeedVolumeGivesItsChannelsWithGapsAndOverlapsKept) {
    // Volume, abbreviation and station control headers, then data records
    // of three channels; the east one has a 10 s gap, the north one a
    // second block that overlaps its first by 2 s.
    std::string volume = controlRecord(1, 'V', "010009502.3121992,001,00:00:00.0000~") +
                         controlRecord(2, 'A', "0300026Steim Integer Compression~") +
                         controlRecord(3, 'S', "0500097ORV  +34.945800-106.457200+1820.0");
    auto z = wave(6000, 1), e1 = wave(2000, 2), e2 = wave(2000, 3), n1 = wave(3000, 4),
         n2 = wave(1500, 5);
    volume += packRecords(channel("HHZ", kStart, z, 4096));
    volume += packRecords(channel("HHE", kStart, e1, 4096));
    volume += packRecords(channel("HHE", kStart + 30000000, e2, 4096));  // 20 s + a 10 s gap
    volume += packRecords(channel("HHN", kStart, n1, 4096));
    volume += packRecords(channel("HHN", kStart + 28000000, n2, 4096));  // 2 s early
    Read read = readInPieces(volume, 1500);
    EXPECT_TRUE(read.report.problems.empty());
    EXPECT_EQ(read.report.otherBytes, 3u * 4096);

    const auto& traces = read.traces.traces();
    ASSERT_EQ(traces.size(), 3u);
    // In the order seismograms are read: vertical, north, east.
    EXPECT_EQ(traces[0].id, "XX.ORV.00.HHZ");
    EXPECT_EQ(traces[1].id, "XX.ORV.00.HHN");
    EXPECT_EQ(traces[2].id, "XX.ORV.00.HHE");
    ASSERT_EQ(traces[2].segments.size(), 2u);
    EXPECT_EQ(traces[2].segments[0].end(), kStart + 20000000);
    EXPECT_EQ(traces[2].segments[1].start, kStart + 30000000);
    EXPECT_EQ(valuesOf(traces[2].segments[1]), asDoubles(e2));
    ASSERT_EQ(traces[1].segments.size(), 2u);
    EXPECT_EQ(traces[1].segments[1].start, kStart + 28000000);
    EXPECT_EQ(valuesOf(traces[1].segments[0]), asDoubles(n1));
    EXPECT_EQ(valuesOf(traces[1].segments[1]), asDoubles(n2));
    ASSERT_EQ(traces[0].segments.size(), 1u);
    EXPECT_EQ(valuesOf(traces[0].segments[0]), asDoubles(z));
    EXPECT_DOUBLE_EQ(read.traces.firstSeconds(), kStart / 1e6);
    EXPECT_DOUBLE_EQ(read.traces.endSeconds(), kStart / 1e6 + 60);
}

// Big-endian 16-bit field of a record's fixed header.
void put16(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xff);
}

TEST(SeedReader, DamagedRecordsAreNamedAndTheRestIsRead) {
    auto values = wave(2000);
    std::string good = packRecords(channel("HHZ", kStart, values, 512));
    size_t records = good.size() / 512;
    ASSERT_GE(records, 4u);

    // The last record cut short.
    Read cut = readInPieces(good.substr(0, good.size() - 100));
    EXPECT_EQ(cut.report.dataRecords, records - 1);
    ASSERT_EQ(cut.report.problems.size(), 1u);
    EXPECT_EQ(cut.report.problems[0], "the last record is cut: 412 of its 512 bytes are there");

    // Record 2 with an encoding no one knows (blockette 1000 at 48: its
    // encoding byte is the fifth), record 3 with no samples.
    std::string damaged = good;
    damaged[512 * 1 + 48 + 4] = 99;
    put16(damaged, 512 * 2 + 30, 0);
    Read read = readInPieces(damaged);
    EXPECT_EQ(read.report.dataRecords, records - 1);
    ASSERT_EQ(read.report.problems.size(), 2u);
    EXPECT_EQ(read.report.problems[0],
              "records that could not be decoded (Unknown data encoding format): 1");
    EXPECT_EQ(read.report.problems[1], "records without samples: 1");
    ASSERT_EQ(read.traces.traces().size(), 1u);
    // What is left: record 1, then the records from 4 on after a gap.
    const auto& segments = read.traces.traces()[0].segments;
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].start, kStart);
    EXPECT_EQ(segments[1].start + static_cast<TimeUs>(segments[1].size()) * 10000,
              kStart + 20000000);
}

TEST(SeedReader, ALengthThatLiesOrASampleCountBeyondTheDataDoNotCrashOrHang) {
    std::string good = packRecords(channel("HHZ", kStart, wave(4000), 512));
    std::string lying = good;
    lying[48 + 6] = 20;                 // record 1 says 1 MiB long
    put16(lying, 512 * 2 + 30, 60000);  // record 3 claims 60000 samples
    lying[512 * 4 + 48 + 6] = 7;        // record 5 says 128 bytes
    Read read = readInPieces(lying, 333);
    // Record 1 ends where record 2's header stands and reads whole; 3 and 5
    // are lost, and the rest of 5 is stepped over to record 6.
    size_t records = good.size() / 512;
    EXPECT_EQ(read.report.dataRecords, records - 2);
    EXPECT_EQ(read.report.problems,
              std::vector<std::string>{"records that could not be decoded (Generic error): 2"});
    EXPECT_EQ(read.report.otherBytes, 512u - 128u);
    ASSERT_EQ(read.traces.traces().size(), 1u);
    const auto& segments = read.traces.traces()[0].segments;
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].start, kStart);
    EXPECT_EQ(segments[2].end(), kStart + 40000000);
}

TEST(SeedReader, UncompressedSamplesBeyondTheRecordAreRefusedNotRead) {
    // libmseed decodes integers and floats as many as the header says, even
    // past the record: such a record is refused before it is decoded.
    for (int encoding : {DE_INT16, DE_INT32, DE_FLOAT64}) {
        PackRequest request = channel("HHZ", kStart, wave(1000), 512);
        request.encoding = encoding;
        if (encoding == DE_FLOAT64)
            request.samples = testing::converted<double>(wave(1000));
        std::string bytes = packRecords(request);
        put16(bytes, 30, 65535);
        Read read = readInPieces(bytes);
        EXPECT_EQ(read.report.problems,
                  std::vector<std::string>{"records whose samples do not fit in them: 1"});
        // The records after it are read.
        const Segment& rest = read.traces.traces().at(0).segments.at(0);
        EXPECT_GT(rest.start, kStart);
        EXPECT_EQ(rest.end(), kStart + 10000000);
    }
}

TEST(SeedReader, BytesThatAreNoSeedGiveNoRecords) {
    std::string noise;
    uint32_t state = 7;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1664525u + 1013904223u;
        noise.push_back(static_cast<char>(state >> 24));
    }
    Read read = readInPieces(noise);
    EXPECT_EQ(read.report.dataRecords, 0u);
    EXPECT_EQ(read.report.otherBytes, noise.size());
    EXPECT_TRUE(read.traces.empty());
}

class SeedFiles : public ::testing::Test {
  protected:
    orvane::testkit::TempFolder folder;
    std::string write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return folder / name;
    }
};

TEST_F(SeedFiles, EachFileIsDescribedByWhatCouldAndCouldNotBeRead) {
    std::string good = packRecords(channel("HHZ", kStart, wave(1000), 512));
    std::string event = write("0315.evt", std::string(3000, 'E'));
    std::string cut = write("cut.mseed", good.substr(0, good.size() - 12));
    std::string whole = write("whole.mseed", good);
    Loaded loaded = loadFiles({whole, event, cut, folder / "gone.mseed"});
    EXPECT_FALSE(everyFileReadable(loaded));
    EXPECT_EQ(describeFiles(loaded),
              (std::vector<std::string>{
                  "0315.evt (3000 bytes) holds no SEED data; Tremora reads the network's own "
                  "event files",
                  "cut.mseed: the last record is cut: 500 of its 512 bytes are there",
                  "gone.mseed cannot be read: No such file or directory"}));
    EXPECT_TRUE(everyFileReadable(loadFiles({whole, cut})));
    EXPECT_EQ(windowTitle({whole}), "whole.mseed - Quick-look");
    EXPECT_EQ(windowTitle({whole, cut}), "whole.mseed, cut.mseed - Quick-look");
}

}  // namespace
}  // namespace orvane::quicklook
