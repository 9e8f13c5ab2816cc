// The HEX reader with Kestrel's settings, in the cases the shared reader's
// own tests leave to the dsPIC side.
#include <gtest/gtest.h>

#include "loaders/common/hex_image.h"
#include "tests/loaders/kestrel/hex_text.h"
#include "tools/dspic_sim/sim_process.h"
#include "tools/testkit/memory_console.h"

namespace orvane {
namespace {

using kestreltest::HexRecord;
using kestreltest::kEndRecord;

class KestrelHex : public ::testing::Test {
  protected:
    testkit::MemoryConsole console;
    HexImage image{HexImageSettings::dspic(), console};
    testkit::TempFolder folder{"orvane-kestrel-hex"};
    void SetUp() override { image.setApplicationSize(0x7E00); }
    bool load(const std::string& text) {
        return image.loadHexFile(kestreltest::WriteText(folder.file("f.hex"), text));
    }
};

TEST_F(KestrelHex, FilesWithoutDataLoadWithAnEmptyImage) {
    EXPECT_TRUE(load(""));
    EXPECT_EQ(image.endAddress, 0);
    EXPECT_TRUE(load(HexRecord(0, 4, {0x00, 0x00}) + "\n" + kEndRecord + "\n"));
    EXPECT_EQ(image.endAddress, 0);
    EXPECT_EQ(console.text(), "");
}

TEST_F(KestrelHex, EndRecordStopsReadingAndIsNotRequired) {
    ASSERT_TRUE(load(HexRecord(0x10, 0, {1, 2}) + "\n" + kEndRecord + "\n" +
                     HexRecord(0x20, 0, {3, 4}) + "\nnot even a record\n"));
    EXPECT_EQ(image.data[0x20], 0xFF);
    EXPECT_EQ(image.endAddress, 0x12);
    ASSERT_TRUE(load(HexRecord(0x30, 0, {5, 6}) + "\n"));
    EXPECT_EQ(image.data[0x31], 6);
}

TEST_F(KestrelHex, ChecksumAndShortLinesBehaveAsForBothPrograms) {
    std::string good = HexRecord(0x200, 0, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0xFC});
    ASSERT_EQ(good.substr(good.size() - 2), "3A");
    // Lower-case digits are folded first, so "3b" is read as 0x3B.
    EXPECT_FALSE(load(good.substr(0, good.size() - 2) + "3b\n"));
    EXPECT_EQ(console.text(), "Checksum error 3a 3b\n");
    console.clear();
    EXPECT_TRUE(load(":000000010\n" + kEndRecord + "\n"));  // ten characters: not a record
    EXPECT_EQ(console.text(), "");
}

TEST_F(KestrelHex, HighAddressesAreDroppedRefusedAsLoaderOrRefusedAsTooLarge) {
    EXPECT_TRUE(load(HexRecord(0, 4, {0x00, 0x30}) + "\n" + HexRecord(0, 0, {1, 2, 3, 4}) + "\n"));
    EXPECT_EQ(image.endAddress, 0);
    EXPECT_EQ(console.text(), "");
    // An extended address above the loader is the loader's area for Kestrel.
    EXPECT_FALSE(load(HexRecord(0, 4, {0x00, 0x20}) + "\n" + HexRecord(0, 0, {1, 2, 3, 4}) + "\n"));
    EXPECT_EQ(console.text(), "Warning address 0x200000 in boot area. Hex recorded skipped.\n");
    // Exactly at the loader start the size limit speaks first.
    console.clear();
    EXPECT_FALSE(load(HexRecord(0xFC00, 0, {1, 2, 3, 4}) + "\n"));
    EXPECT_EQ(console.text(), "Memory load error\n");
    EXPECT_EQ(image.data[0xFC00], 0xFF);
}

}  // namespace
}  // namespace orvane
