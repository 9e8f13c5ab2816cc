// The board loader's phases and whole loads against the simulated framed
// bootloader, on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/loaders/boot/boot_test_support.h"

namespace orvane::boottest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using boardsim::BoardCore;
using boardsim::Fault;

constexpr std::uint8_t kErase = 0x03, kWrite = 0x02, kRead = 0x01;

std::vector<Bytes> bodiesOf(const testkit::LineLog& line, std::uint8_t command) {
    std::vector<Bytes> chosen;
    for (Bytes& body : sentBodies(line))
        if (body[0] == command)
            chosen.push_back(std::move(body));
    return chosen;
}

class BootLoad : public ::testing::Test {
  protected:
    explicit BootLoad(BoardCore::Options options = {}) : rig(std::move(options)) {}
    bool load(std::uint32_t start, const Bytes& data, bool lowerCase = false) {
        path = dir.file("fw.hex");
        writeText(path, hexText(start, data, lowerCase));
        return rig.loader.downloadFile(1, path);
    }
    // The flash holds the data from start and erased bytes up to end.
    void expectFlashHolds(std::uint32_t start, const Bytes& data, std::uint32_t end) {
        const auto& flash = rig.board.core().flash();
        EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + start));
        end = std::min<std::uint32_t>(end, boardsim::kFlashSize);
        EXPECT_TRUE(std::all_of(flash.begin() + start + data.size(), flash.begin() + end,
                                [](std::uint8_t b) { return b == 0xFF; }));
        const boardsim::BoardStats& stats = rig.board.stats();
        EXPECT_TRUE(stats.frameErrors.empty());
        EXPECT_EQ(stats.unerasedBits, 0);
        EXPECT_EQ(stats.loaderArea, 0);
    }

    testkit::TempFolder dir{"boot-test"};
    std::string path;
    BoardRig rig;
};

TEST_F(BootLoad, RangeFrom200To630ErasesWritesAndReadsTheDocumentedBlocks) {
    const Bytes data = firmwareBytes(0x230);
    ASSERT_TRUE(load(0x200, data));  // end 0x430 + 512 = 0x630
    auto erases = bodiesOf(rig.line(), kErase);
    ASSERT_EQ(erases.size(), 20u);
    EXPECT_EQ(bodyAddress(erases.front()), 0x200u);
    EXPECT_EQ(bodyAddress(erases.back()), 0x6C0u);
    auto writes = bodiesOf(rig.line(), kWrite);
    ASSERT_EQ(writes.size(), 23u);
    EXPECT_EQ(std::count_if(writes.begin(), writes.end(), [](auto& b) { return b[1] == 8; }), 16);
    EXPECT_EQ(bodyAddress(writes.back()), 0x630u);  // the last chunk reaches 0x637
    EXPECT_EQ(writes.back().size(), 5u + 8u);
    auto reads = bodiesOf(rig.line(), kRead);
    ASSERT_EQ(reads.size(), 9u);
    EXPECT_EQ(bodyAddress(reads.back()), 0x600u);  // covering up to 0x67F
    EXPECT_NE(rig.text().find("Blocks = 16 Left = 50\n"), std::string::npos);
    EXPECT_NE(rig.text().find("\rErasing Block: 0x340\r"), std::string::npos);  // every fifth
    EXPECT_EQ(rig.text().find("Erasing Block: 0x240"), std::string::npos);
    expectFlashHolds(0x200, data, 0x638);
    EXPECT_TRUE(rig.loader.IsOpen());
}

TEST_F(BootLoad, LowerCaseHexDigitsLoadTheSameBytes) {
    const Bytes data = firmwareBytes(300, 7);
    ASSERT_TRUE(load(0x1000, data, true));
    expectFlashHolds(0x1000, data, 0x1000 + 300 + 512);
    EXPECT_EQ(rig.text().find("Flash Read/Write Error"), std::string::npos);
}

// Compilers start some files with a record at 0x1F8: its first eight bytes
// fall in the bootloader's area, the other eight are the application's start.
TEST_F(BootLoad, RecordRunningFromTheLoaderAreaIntoTheApplicationKeepsItsUpperPart) {
    const Bytes data = firmwareBytes(0x108, 11);  // 0x1F8 up to 0x2FF
    ASSERT_TRUE(load(0x1F8, data));
    EXPECT_NE(rig.text().find("Warning address 0x1f8 in boot area. Hex recorded skipped.\n"
                              "Start Address: 0x200 End Address: 0x500 Size: 768 Bytes\n"),
              std::string::npos)
        << rig.text();
    expectFlashHolds(0x200, Bytes(data.begin() + 8, data.end()), 0x500);
    EXPECT_EQ(rig.text().find("Flash Read/Write Error"), std::string::npos);
    const auto& flash = rig.board.core().flash();
    EXPECT_TRUE(std::all_of(flash.begin() + 0x1F8, flash.begin() + 0x200,
                            [](std::uint8_t b) { return b == BoardCore::oldContent(0x1F8); }));
}

TEST_F(BootLoad, DataAtTheImageEndNeverSendsAnAddressPastIt) {
    const Bytes data = firmwareBytes(0x7FFF - 0x7EF8, 3);  // 0x7EF8 up to 0x7FFE
    ASSERT_TRUE(load(0x7EF8, data));
    EXPECT_NE(rig.text().find("End Address: 0x81ff"), std::string::npos);
    for (const Bytes& body : sentBodies(rig.line())) {
        if (body[0] != kErase && body[0] != kWrite && body[0] != kRead)
            continue;
        const std::uint32_t address = bodyAddress(body);
        EXPECT_LT(address, 0x8000u);
        // A block that crosses the end carries erased bytes past it.
        for (std::size_t i = 5; i < body.size(); ++i)
            if (address + (i - 5) >= 0x8000) {
                EXPECT_EQ(body[i], 0xFF);
            }
    }
    EXPECT_EQ(bodyAddress(bodiesOf(rig.line(), kWrite).back()), 0x7FF8u);
    expectFlashHolds(0x7EF8, data, 0x8000);
    EXPECT_EQ(rig.text().find("Flash Read/Write Error"), std::string::npos);
}

TEST_F(BootLoad, FileWithoutDataStopsAfterTheRangeLineAndErasesNothing) {
    path = dir.file("empty.hex");
    writeText(path, ":00000001FF\n");
    EXPECT_FALSE(rig.loader.downloadFile(1, path));
    EXPECT_TRUE(rig.text().ends_with(
        "Start Address: 0x800000 End Address: 0x200 Size: -8388096 Bytes\nNo data to load\n"));
    EXPECT_TRUE(bodiesOf(rig.line(), kErase).empty());
    EXPECT_FALSE(rig.loader.IsOpen());
}

TEST_F(BootLoad, RefusedHexFileClosesThePort) {
    path = dir.file("bad.hex");
    writeText(path, ":10020000000102030405060708090A0B0C0D0E0F3B\n");
    EXPECT_FALSE(rig.loader.downloadFile(1, path));
    EXPECT_TRUE(rig.text().ends_with("Checksum error 76 3b\nError reading HEX file\n"));
    EXPECT_FALSE(rig.loader.IsOpen());
}

TEST_F(BootLoad, KeyDuringTheEraseEndsItAndTheVerifyListsWhatWasNotErased) {
    rig.console.pressKeyOnCheck(2);  // after the second erase block
    const Bytes data(0x100, 0x0F);
    ASSERT_TRUE(load(0x200, data));
    EXPECT_EQ(bodiesOf(rig.line(), kErase).size(), 2u);
    EXPECT_EQ(rig.console.keysRead(), 1);
    // Flash bits can only be cleared: the unerased block 0x280 keeps old bits.
    const std::uint8_t old = BoardCore::oldContent(0x280);
    EXPECT_NE(rig.text().find("!!!!!!!!!!!!!!!!! Flash Read/Write Error !!!!!!!!!!\n"),
              std::string::npos);
    char line[32];
    std::snprintf(line, sizeof line, "0280: w:0f r:%02x\n", old & 0x0F);
    EXPECT_NE(rig.text().find(line), std::string::npos);
    EXPECT_EQ(rig.text().find("027f:"), std::string::npos);  // erased blocks verify
}

TEST_F(BootLoad, KeyDuringTheWriteEndsTheBlocksButStillWritesTheTail) {
    const Bytes data = firmwareBytes(0x230);
    rig.console.pressKeyOnCheck(20 + 2);  // 20 erase blocks, then the second write block
    ASSERT_TRUE(load(0x200, data));
    auto writes = bodiesOf(rig.line(), kWrite);
    ASSERT_EQ(writes.size(), 2u + 7u);
    EXPECT_EQ(bodyAddress(writes[2]), 0x280u);  // tail from the address reached
    EXPECT_EQ(bodyAddress(writes.back()), 0x2B0u);
    EXPECT_NE(rig.text().find("02b8: w:"), std::string::npos);
}

TEST_F(BootLoad, KeyDuringTheReadBackEndsItAndUnreadBytesShowAsDifferences) {
    const Bytes data(0x100, 0x00);
    rig.console.pressKeyOnCheck(16 + 12 + 1 + 1);  // erase, write blocks, tail, first read
    ASSERT_TRUE(load(0x200, data));
    EXPECT_EQ(bodiesOf(rig.line(), kRead).size(), 1u);
    EXPECT_NE(rig.text().find("0280: w:00 r:ff\n"), std::string::npos);
    EXPECT_NE(rig.text().find("Verifying...\nReading: 0x200\r\n!!!"), std::string::npos);
}

struct PhaseFault {
    const char* name;
    std::uint8_t command;
    const char* ending;
};
void PrintTo(const PhaseFault& c, std::ostream* out) {
    *out << c.name;
}

class BootFailingPhase : public ::testing::TestWithParam<PhaseFault> {};

TEST_P(BootFailingPhase, EndsTheLoadWithItsLineAndClosesThePort) {
    BoardRig rig(faultyBoard(Fault::Silence, GetParam().command, 1));
    testkit::TempFolder dir{"boot-test"};
    writeText(dir.file("fw.hex"), hexText(0x200, firmwareBytes(0x100)));
    EXPECT_FALSE(rig.loader.downloadFile(1, dir.file("fw.hex")));
    EXPECT_TRUE(rig.text().ends_with(GetParam().ending)) << rig.text();
    EXPECT_FALSE(rig.loader.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Phases, BootFailingPhase,
                         ::testing::Values(PhaseFault{"Erase", kErase, "\rError: Flash Dump\n"},
                                           PhaseFault{"Write", kWrite, "\rFlash Dump Error\n"},
                                           PhaseFault{"Read", kRead, "\rFlash Dump Error\n"}),
                         CaseName());

TEST_F(BootLoad, BoardThatAnswersAtOnceNeedsNoBootCommand) {
    ASSERT_TRUE(load(0x200, firmwareBytes(16)));
    EXPECT_EQ(rig.text().find("sending boot command"), std::string::npos);
    EXPECT_EQ(rig.line().bauds, std::vector<int>{19200});
    EXPECT_EQ(rig.line().dtrChanges.size(), 4u);  // the search pulse and the closing one
}

class BootSilentBoard : public BootLoad {
  protected:
    BootSilentBoard() : BootLoad(silentBoard(9600)) {}
};

TEST_F(BootSilentBoard, IsReachedByTwoBootCommandsAtTheUsersRateThenASecondSearch) {
    rig.loader.applicationBaud = 9600;
    const Bytes data = firmwareBytes(0x80);
    ASSERT_TRUE(load(0x400, data));
    EXPECT_EQ(rig.line().bauds, (std::vector<int>{19200, 9600, 19200}));
    std::vector<testkit::LineLog::Write> boots;
    for (const auto& write : rig.line().writes)
        if (write.baud == 9600)
            boots.push_back(write);
    ASSERT_EQ(boots.size(), 2u);
    EXPECT_EQ(boots[0].bytes, (Bytes{0x02, 0x62, 0x62, 0x03}));
    EXPECT_EQ(boots[1].bytes, boots[0].bytes);
    EXPECT_EQ(boots[1].atMs - boots[0].atMs, 200);
    // Pause, reset pulse, then the search's own pulse and settle before the query.
    auto version = std::find_if(rig.line().writes.begin(), rig.line().writes.end(),
                                [&](const auto& w) { return w.atMs > boots[1].atMs; });
    EXPECT_EQ(version->atMs - boots[1].atMs, 100 + 500 + 500 + 250);
    EXPECT_NE(rig.text().find("Downloading file " + path +
                              "...\nBootloader not found, sending boot command\n"
                              "Bootloader Found - Reading Hex File...\n"),
              std::string::npos);
    expectFlashHolds(0x400, data, 0x400 + 0x80 + 512);
}

TEST_F(BootSilentBoard, ListeningAtAnotherRateIsNotFound) {
    rig.loader.applicationBaud = 38400;
    EXPECT_FALSE(load(0x400, firmwareBytes(0x80)));
    EXPECT_TRUE(rig.text().ends_with(
        "Bootloader not found, sending boot command\nBoard or bootloader not found\n"));
    EXPECT_FALSE(rig.loader.IsOpen());
    EXPECT_EQ(rig.board.stats().bootCommandBauds, (std::vector<int>{38400, 38400}));
}

TEST_F(BootLoad, PortThatCannotBeOpenedFailsAtOnce) {
    EXPECT_FALSE(rig.loader.downloadFile(4, "fw.hex"));
    EXPECT_EQ(rig.text(), "Downloading file fw.hex...\nOpen Comm Port Error\n");
    EXPECT_NE(rig.console.errors().find("COM4"), std::string::npos);
}

TEST(BootVanishingPort, FailsTheLoadWithinSecondsAndClosesThePort) {
    BoardRig rig(faultyBoard(Fault::Vanish, kWrite, 3));
    testkit::TempFolder dir{"boot-test"};
    writeText(dir.file("fw.hex"), hexText(0x200, firmwareBytes(0x400)));
    const std::int64_t start = rig.clock.nowMs();
    EXPECT_FALSE(rig.loader.downloadFile(1, dir.file("fw.hex")));
    EXPECT_LT(rig.clock.nowMs() - start, 5000);
    EXPECT_TRUE(rig.text().ends_with("Writing: 0x2c0\rFlash Dump Error\n")) << rig.text();
    EXPECT_NE(rig.console.errors().find("COM1 went away"), std::string::npos);
    EXPECT_FALSE(rig.loader.IsOpen());
}

}  // namespace
}  // namespace orvane::boottest
