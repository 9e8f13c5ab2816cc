#include "loaders/common/hex_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/testkit/memory_console.h"

namespace orvane {
namespace {

using testkit::MemoryConsole;

// Builds one record line with a correct checksum.
std::string record(std::uint32_t address, int type, const std::vector<std::uint8_t>& bytes) {
    unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    std::string line =
        formatText(":%02X%04X%02X", static_cast<unsigned>(bytes.size()), address & 0xFFFF, type);
    for (auto b : bytes) {
        line += formatText("%02X", b);
        sum += b;
    }
    return line + formatText("%02X", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::vector<std::uint8_t> run(int count, std::uint8_t first) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(first + i));
    return bytes;
}

class HexFile {
  public:
    explicit HexFile(const std::string& text) {
        path_ = std::filesystem::temp_directory_path() /
                ("orvane-hex-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~HexFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

  private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

std::string lines(std::initializer_list<std::string> items, const char* eol = "\n") {
    std::string text;
    for (const auto& item : items)
        text += item + eol;
    return text;
}

const std::string kEof = ":00000001FF";

class BoardImage : public ::testing::Test {
  protected:
    MemoryConsole console;
    HexImage image{HexImageSettings::board(), console};
    bool load(const std::string& text) {
        HexFile file(text);
        return image.loadHexFile(file.path());
    }
};

TEST_F(BoardImage, RangeOfThreeRecordsIncludesTheEndMargin) {
    ASSERT_TRUE(load(lines({record(0x200, 0, run(16, 0)), record(0x210, 0, run(16, 0x10)),
                            record(0x220, 0, run(16, 0x20)), kEof})));
    EXPECT_EQ(image.startAddress, 0x200);
    EXPECT_EQ(image.endAddress, 0x430);
    for (int i = 0; i < 0x30; ++i)
        EXPECT_EQ(image.data[0x200 + i], i);
    EXPECT_EQ(image.data[0x230], 0xFF);
    EXPECT_EQ(image.data[0x1FF], 0xFF);
    EXPECT_EQ(console.text(), "");
}

TEST_F(BoardImage, EmptyFileAndFileWithoutDataLoadWithOnlyTheMargin) {
    EXPECT_TRUE(load(""));
    EXPECT_EQ(image.startAddress, 0x800000);
    EXPECT_EQ(image.endAddress, 512);
    EXPECT_TRUE(load(lines({record(0, 4, {0x00, 0x00}), kEof})));
    EXPECT_EQ(image.startAddress, 0x800000);
    EXPECT_EQ(image.endAddress, 512);
}

TEST_F(BoardImage, BootAreaRecordIsSkippedWithWarningAndLoadGoesOn) {
    ASSERT_TRUE(load(lines({record(0x1F0, 0, run(16, 1)), record(0x200, 0, run(16, 0x40)), kEof})));
    EXPECT_EQ(console.text(), "Warning address 0x1f0 in boot area. Hex recorded skipped.\n");
    EXPECT_EQ(image.data[0x1F0], 0xFF);
    EXPECT_EQ(image.data[0x200], 0x40);
    EXPECT_EQ(image.startAddress, 0x200);
}

TEST_F(BoardImage, RecordCrossingIntoTheApplicationKeepsTheBytesFrom0x200) {
    ASSERT_TRUE(
        load(lines({record(0x1F8, 0, run(16, 0x50)), record(0x208, 0, run(8, 0x60)), kEof})));
    EXPECT_EQ(console.text(), "Warning address 0x1f8 in boot area. Hex recorded skipped.\n");
    EXPECT_EQ(image.data[0x1FF], 0xFF);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image.data[0x200 + i], 0x58 + i);
    EXPECT_EQ(image.data[0x208], 0x60);
    EXPECT_EQ(image.startAddress, 0x200);
    EXPECT_EQ(image.endAddress, 0x210 + 512);
    // One that ends at 0x200 lies wholly in the loader's area.
    ASSERT_TRUE(load(lines({record(0x1F8, 0, run(8, 0x50)), kEof})));
    EXPECT_EQ(image.data[0x200], 0xFF);
    EXPECT_EQ(image.startAddress, 0x800000);
}

TEST_F(BoardImage, MemoryLimitRefusesARecordEndingAtTheImageEnd) {
    EXPECT_TRUE(load(lines({record(0x7FE0, 0, run(16, 0)), kEof})));
    EXPECT_EQ(image.data[0x7FEF], 15);
    EXPECT_FALSE(load(lines({record(0x7FF0, 0, run(16, 0)), kEof})));
    EXPECT_EQ(console.text(), "Memory load error\n");
}

TEST_F(BoardImage, ExtendedLinearAddressReachesTheLimitOrTheIgnoredRange) {
    EXPECT_FALSE(load(lines({record(0, 4, {0x00, 0x20}), record(0, 0, run(4, 0)), kEof})));
    EXPECT_EQ(console.text(), "Memory load error\n");
    console.clear();
    EXPECT_TRUE(load(lines({record(0, 4, {0x00, 0x30}), record(0, 0, run(4, 0)), kEof})));
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(image.endAddress, 512);
}

TEST_F(BoardImage, SegmentAndOtherRecordTypesHaveNoEffect) {
    ASSERT_TRUE(load(lines({record(0, 2, {0x10, 0x00}), record(0x300, 0, {0xAA}),
                            record(0, 3, {0, 0, 0, 0}), record(0, 5, {0, 0, 2, 0}), kEof})));
    EXPECT_EQ(image.data[0x300], 0xAA);
    EXPECT_EQ(image.startAddress, 0x300);
}

TEST_F(BoardImage, LinesAfterEndOfFileAreNotReadAndMissingEndIsAccepted) {
    ASSERT_TRUE(load(lines({record(0x200, 0, {1}), kEof, record(0x300, 0, {2}), "garbage!"})));
    EXPECT_EQ(image.data[0x300], 0xFF);
    EXPECT_EQ(image.endAddress, 0x201 + 512);
    ASSERT_TRUE(load(lines({record(0x200, 0, {7})})));
    EXPECT_EQ(image.data[0x200], 7);
}

TEST_F(BoardImage, ChecksumMessageNamesExpectedThenFound) {
    // Eight bytes at 0x0200, the last chosen so that the right checksum is 0x3A.
    std::string good = record(0x200, 0, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0xFC});
    ASSERT_EQ(good.substr(good.size() - 2), "3A");
    std::string bad = good.substr(0, good.size() - 2) + "3B";
    EXPECT_FALSE(load(lines({bad, kEof})));
    EXPECT_EQ(console.text(), "Checksum error 3a 3b\n");
    console.clear();
    EXPECT_FALSE(load(":00000001FE\n"));
    EXPECT_EQ(console.text(), "Checksum error ff fe\n");
}

TEST_F(BoardImage, ShortLinesAndNonRecordsAreIgnoredSilently) {
    ASSERT_TRUE(load(lines({":000000010", "", "; comment", "hello world, not a record",
                            record(0x200, 0, {9}), kEof})));
    EXPECT_EQ(image.data[0x200], 9);
    EXPECT_EQ(console.text(), "");
}

TEST_F(BoardImage, LowerCaseDigitsAndCrLfReadLikeUpperCase) {
    std::string upper = record(0x2A0, 0, {0xAB, 0xCD, 0xEF});
    std::string lower = upper;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(load(lines({lower, kEof}, "\r\n")));
    EXPECT_EQ(image.data[0x2A0], 0xAB);
    EXPECT_EQ(image.data[0x2A2], 0xEF);
}

TEST_F(BoardImage, LongRecordsAreReadWhole) {
    ASSERT_TRUE(load(lines({record(0x400, 0, run(255, 0)), kEof})));
    EXPECT_EQ(image.data[0x400 + 254], 254);
    EXPECT_EQ(image.endAddress, 0x400 + 255 + 512);
}

TEST_F(BoardImage, MalformedRecordsAreRefusedWithoutStoring) {
    std::string good = record(0x200, 0, run(4, 1));
    std::string countTooBig = ":05" + good.substr(3);  // count says 5, four bytes follow
    std::string nonHex = good.substr(0, 9) + "G" + good.substr(10);
    std::string oddLength = good + "0";
    for (const auto& bad : {countTooBig, nonHex, oddLength}) {
        console.clear();
        EXPECT_FALSE(load(lines({record(0x300, 0, {1}), bad, kEof}))) << bad;
        EXPECT_EQ(console.text(), "Bad record in line 2\n") << bad;
        EXPECT_EQ(image.data[0x200], 0xFF) << bad;
    }
    EXPECT_FALSE(load(lines({record(0, 4, {}), kEof})));
}

TEST_F(BoardImage, MissingFileOrDirectoryFailsWithoutMessage) {
    EXPECT_FALSE(image.loadHexFile("/nonexistent/orvane.hex"));
    EXPECT_FALSE(image.loadHexFile(std::filesystem::temp_directory_path().string()));
    EXPECT_EQ(console.text(), "");
}

TEST_F(BoardImage, BinaryGarbageIsRefusedOrIgnoredNeverStored) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    garbage += "\n:\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\n";
    load(garbage);
    for (int i = 0; i < 0x8000; ++i)
        ASSERT_EQ(image.data[i], 0xFF) << i;
}

class DspicImage : public ::testing::Test {
  protected:
    MemoryConsole console;
    HexImage image{HexImageSettings::dspic(), console};
    void SetUp() override { image.setApplicationSize(0x7E00); }
    bool load(const std::string& text) {
        HexFile file(text);
        return image.loadHexFile(file.path());
    }
};

TEST_F(DspicImage, LowerCaseFileLoadsExactlyLikeUpperCase) {
    std::string upper = lines({record(0, 0, {0x40, 0x7A, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}),
                               record(0x100, 0, run(16, 0xA0)), kEof});
    std::string lower = upper;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(load(upper));
    auto fromUpper = image.data;
    ASSERT_TRUE(load(lower));
    EXPECT_EQ(image.data, fromUpper);
    EXPECT_EQ(image.endAddress, 0x110);
}

TEST_F(DspicImage, UsedPartIsRefilledAndNoStartOrMarginIsKept) {
    ASSERT_TRUE(load(lines({record(0x20, 0, {1, 2, 3, 4}), kEof})));
    ASSERT_TRUE(load(lines({record(0x40, 0, {5}), kEof})));
    EXPECT_EQ(image.data[0x20], 0xFF);
    EXPECT_EQ(image.endAddress, 0x41);
    EXPECT_EQ(image.startAddress, HexImage::kNoStart);
}

TEST_F(DspicImage, BootAreaDataEndsTheLoad) {
    // Program-counter address 0x7E01 is inside the loader: HEX address 0xFC02.
    EXPECT_FALSE(load(lines({record(0xFC02, 0, {1, 2, 3, 4}), kEof})));
    EXPECT_EQ(console.text(), "Warning address 0xfc02 in boot area. Hex recorded skipped.\n");
}

TEST_F(DspicImage, MemoryLimitCountsProgramAddressPlusByteCount) {
    // PC 0x7DF0 + 16 = 0x7E00: refused, although the bytes would fit.
    EXPECT_FALSE(load(lines({record(0xFBE0, 0, run(16, 0)), kEof})));
    EXPECT_EQ(console.text(), "Memory load error\n");
    EXPECT_TRUE(load(lines({record(0xFBC0, 0, run(16, 0)), kEof})));
    EXPECT_EQ(image.data[0xFBCF], 15);
}

TEST_F(DspicImage, ConfigurationAndEepromRecordsAreDropped) {
    ASSERT_TRUE(load(lines({record(0, 4, {0x01, 0xF0}), record(0, 0, {0xFF, 0xFF, 0, 0}),
                            record(0, 4, {0x00, 0xFF}), record(0xF000, 0, run(8, 0)), kEof})));
    EXPECT_EQ(image.endAddress, 0);
    EXPECT_EQ(console.text(), "");
}

TEST_F(DspicImage, TheDeviceSizeOfTheSmallerChipMovesTheLimit) {
    image.setApplicationSize(0x3E00);
    EXPECT_FALSE(load(lines({record(0x7C02, 0, {1, 2, 3, 4}), kEof})));
    EXPECT_EQ(console.text(), "Warning address 0x7c02 in boot area. Hex recorded skipped.\n");
    EXPECT_EQ(image.data[0x7C02], 0xFF);
}

}  // namespace
}  // namespace orvane
