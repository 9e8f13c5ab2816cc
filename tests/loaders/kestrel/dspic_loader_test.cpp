#include "loaders/kestrel/dspic_loader.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

#include "tests/loaders/kestrel/hex_text.h"
#include "tools/dspic_sim/dspic_sim_board.h"
#include "tools/dspic_sim/sim_process.h"
#include "tools/testkit/memory_console.h"

namespace orvane {
namespace {

using dspicsim::BoardOptions;
using dspicsim::DspicSimBoard;
using Bytes = std::vector<std::uint8_t>;

Bytes repeated(const Bytes& group, int times) {
    Bytes bytes;
    for (int i = 0; i < times; ++i)
        bytes.insert(bytes.end(), group.begin(), group.end());
    return bytes;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const auto& part : parts)
        bytes.insert(bytes.end(), part.begin(), part.end());
    return bytes;
}

class DspicProtocol : public ::testing::Test {
  protected:
    testkit::VirtualClock clock;
    testkit::MemoryConsole console;
    // Each start gives a fresh board on a fresh line; the loader goes first.
    std::unique_ptr<testkit::SimPortDirectory> ports;
    std::unique_ptr<DspicSimBoard> board;
    std::unique_ptr<DspicLoader> loader;

    void start(BoardOptions options = {}) {
        loader.reset();
        board = std::make_unique<DspicSimBoard>(std::move(options));
        ports = std::make_unique<testkit::SimPortDirectory>(clock);
        ports->attach(1, *board);
        loader = std::make_unique<DspicLoader>(*ports, clock, console);
        ASSERT_TRUE(loader->OpenPort(1, 57600));
        console.clear();
    }
    void TearDown() override { loader.reset(); }
    // Reset, catch and identify the board as a run does, then forget the
    // conversation so far.
    void identify(BoardOptions options = {}) {
        start(std::move(options));
        loader->ResetWithNotice();
        ASSERT_TRUE(loader->FindBootloader(true));
        ASSERT_TRUE(loader->GetLoaderID());
        ASSERT_TRUE(loader->ReadDeviceID());
        ASSERT_TRUE(loader->SelectDevice());
        console.clear();
        wire().clear();
    }
    Bytes& wire() { return ports->line(1).written; }
    bool loadText(const std::string& text) {
        testkit::TempFolder folder("orvane-kestrel-hex");
        return loader->image().loadHexFile(kestreltest::WriteText(folder.file("f.hex"), text));
    }
};

TEST_F(DspicProtocol, ErasedRowAt0x40GoesOutByteForByteAndRowCountFollowsTheImageEnd) {
    identify();
    loader->image().endAddress = 128;
    ASSERT_TRUE(loader->WriteProgram());
    ASSERT_EQ(wire().size(), 2 * 134u);
    Bytes row1(wire().begin() + 134, wire().end());
    EXPECT_EQ(
        row1,
        concat({{0x02, 0x00, 0x00, 0x40, 0x81}, repeated({0xFF, 0xFF, 0xFF, 0}, 32), {0x9F}}));
    EXPECT_EQ(console.text(), "Write Block Address: 0x0000\rWrite Block Address: 0x0040\r\n");

    wire().clear();
    loader->image().endAddress = 127;
    ASSERT_TRUE(loader->WriteProgram());
    EXPECT_EQ(wire().size(), 134u);
    EXPECT_TRUE(board->bootloader().faults().empty());
}

TEST_F(DspicProtocol, EmptyImageWritesAndReadsOnePatchedRowAndComparesNothing) {
    identify();
    ASSERT_TRUE(loadText(""));
    ASSERT_TRUE(loader->WriteProgram());
    EXPECT_EQ(wire(), concat({{0x02, 0x00, 0x00, 0x00, 0x81, 0x00, 0x7E, 0x04, 0x00},
                              repeated({0xFF, 0xFF, 0xFF, 0}, 31),
                              {0x5A}}));
    wire().clear();
    ASSERT_TRUE(loader->ReadProgram());
    EXPECT_EQ(wire(), (Bytes{0x01, 32, 0x00, 0x00, 0x00}));
    console.clear();
    loader->VerifyProgram();
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(board->bootloader().word(0), 0x047E00u);
}

TEST_F(DspicProtocol, ResetVectorGotoTargetsTheLoaderOfTheIdentifiedChip) {
    for (auto [id, middle] : {std::pair{320u, 0x7E}, {321u, 0x7E}, {352u, 0x3E}}) {
        BoardOptions options;
        options.deviceId = id;
        identify(options);
        // The file's own first word must not reach the board.
        ASSERT_TRUE(loadText(kestreltest::HexForWords({{0, 0x123456}, {2, 0x000000}})));
        ASSERT_TRUE(loader->WriteProgram());
        EXPECT_EQ(Bytes(wire().begin() + 5, wire().begin() + 9),
                  (Bytes{0x00, Bytes::value_type(middle), 0x04, 0x00}))
            << id;
        EXPECT_EQ(Bytes(wire().begin() + 9, wire().begin() + 13), (Bytes{0, 0, 0, 0})) << id;
    }
}

TEST_F(DspicProtocol, EveryRowCarriesItsAddressLengthAndAZeroSumChecksum) {
    identify();
    kestreltest::Words words;
    for (std::uint32_t pc = 0; pc < 0x1A0; pc += 2)
        words[pc] = (pc * 0x10101 + 0x2A) & 0xFFFFFF;
    ASSERT_TRUE(loadText(kestreltest::HexForWords(words)));
    ASSERT_TRUE(loader->WriteProgram());
    ASSERT_EQ(wire().size(), 7 * 134u);  // image end 0x340: six whole rows plus one
    for (std::size_t row = 0; row < 7; ++row) {
        auto first = wire().begin() + static_cast<long>(134 * row);
        unsigned address = 64 * static_cast<unsigned>(row);
        EXPECT_EQ(Bytes(first, first + 5), (Bytes{0x02, 0x00, Bytes::value_type(address >> 8),
                                                  Bytes::value_type(address & 0xFF), 0x81}));
        EXPECT_EQ(std::accumulate(first + 1, first + 134, 0u) % 256, 0u) << row;
    }
    EXPECT_TRUE(board->bootloader().faults().empty());
    EXPECT_EQ(board->bootloader().word(0x19E), words[0x19E]);
}

TEST_F(DspicProtocol, ReadRepliesWithAWrongChecksumOrAcknowledgeAreRefused) {
    BoardOptions complement;
    complement.readChecksum = BoardOptions::ReadChecksum::Complement;
    identify(complement);
    // 96 erased bytes sum to 0xA0; the complement 0x60 is not accepted.
    EXPECT_FALSE(loader->ReadBlock(0x0000, 32));
    EXPECT_EQ(console.text(), "Read Memory Address: 0x0000\rChecksum Error=a0 60\n");

    BoardOptions badAck;
    badAck.readAck = 0x54;
    identify(badAck);
    EXPECT_FALSE(loader->ReadBlock(0x0040, 32));
    EXPECT_EQ(console.text(), "Read Memory Address: 0x0040\rAck Error=54\n");
}

TEST_F(DspicProtocol, DeviceIdReadSendsTheIdAddressAndPrintsNoProgress) {
    BoardOptions options;
    options.deviceId = 352;
    start(options);
    loader->ResetWithNotice();
    ASSERT_TRUE(loader->FindBootloader(true));
    console.clear();
    wire().clear();
    ASSERT_TRUE(loader->ReadDeviceID());
    EXPECT_EQ(wire(), (Bytes{0x01, 4, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(loader->deviceId(), 352u);
    ASSERT_TRUE(loader->SelectDevice());
    EXPECT_EQ(loader->cpuName(), "dsPIC30F3014");
    EXPECT_EQ(loader->applicationSize(), 0x3E00u);
    EXPECT_EQ(loader->image().applicationSize(), 0x3E00u);
}

TEST_F(DspicProtocol, UnknownDeviceIdIsRefusedWithDecimalAndHex) {
    BoardOptions options;
    options.deviceId = 999;
    start(options);
    loader->ResetWithNotice();
    ASSERT_TRUE(loader->FindBootloader(true));
    ASSERT_TRUE(loader->ReadDeviceID());
    console.clear();
    EXPECT_FALSE(loader->SelectDevice());
    EXPECT_EQ(console.text(), "Unknown Device ID 999 (0x3e7)\n");
}

TEST_F(DspicProtocol, OnlyLoaderVersionsOnePointOneAndOnePointTwoAreAccepted) {
    struct Case {
        std::uint8_t major, minor;
        const char* printed;
    };
    for (auto c :
         {Case{1, 1, ""}, Case{1, 2, ""}, Case{1, 0, "GetLoaderID Bad Ver: 1.0\n"},
          Case{1, 3, "GetLoaderID Bad Ver: 1.3\n"}, Case{2, 1, "GetLoaderID Bad Ver: 2.1\n"}}) {
        BoardOptions options;
        options.versionMajor = c.major, options.versionMinor = c.minor;
        start(options);
        loader->ResetWithNotice();
        ASSERT_TRUE(loader->FindBootloader(true));
        console.clear();
        EXPECT_EQ(loader->GetLoaderID(), *c.printed == 0) << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(console.text(), c.printed);
    }
    BoardOptions badAck;
    badAck.loaderIdAck = 0xAA;
    start(badAck);
    loader->ResetWithNotice();
    ASSERT_TRUE(loader->FindBootloader(true));
    console.clear();
    EXPECT_FALSE(loader->GetLoaderID());
    EXPECT_EQ(console.text(), "GetLoaderID Bad ACK\n");
}

TEST_F(DspicProtocol, LoaderIdWithoutAnswerFailsSilentlyAfterFourSeconds) {
    start();  // never reset: the board is still in its application
    std::int64_t begin = clock.nowMs();
    EXPECT_FALSE(loader->GetLoaderID());
    EXPECT_EQ(clock.nowMs() - begin, 4000);
    EXPECT_EQ(console.text(), "");
}

TEST_F(DspicProtocol, ProbeAnsweredOnlyByZerosIsNoAnswerAndTenAttemptsAreMade) {
    BoardOptions options;
    options.probeAnswer = {0x00, 0x00, 0x00};
    start(options);
    std::int64_t begin = clock.nowMs();
    EXPECT_FALSE(loader->FindBootloader(true));
    std::string attempt = "timeout\nsts=0\n";
    std::string expected;
    for (int i = 0; i < 10; ++i)
        expected += attempt;
    EXPECT_EQ(console.text(), expected);
    EXPECT_EQ(wire(), Bytes(10, 0x55));
    EXPECT_EQ(ports->line(1).dtrChanges.size(), 20u);
    EXPECT_EQ(clock.nowMs() - begin, 10 * 2600);
}

TEST_F(DspicProtocol, ProbeSucceedsOnTheAttemptAfterTheBoardComesUp) {
    BoardOptions options;
    options.resetsBeforeAwake = 3;
    options.probeAnswer = {0x00, 0x7F};
    start(options);
    ASSERT_TRUE(loader->FindBootloader(true));
    EXPECT_EQ(console.text(), "timeout\nsts=0\ntimeout\nsts=0\nGot something! 7f\n");
    EXPECT_EQ(ports->line(1).purges, 3);
}

TEST_F(DspicProtocol, WriteAcceptsAnyAnswerEvenZeroAndStopsAtTheFirstSilentRow) {
    BoardOptions zeroAck;
    zeroAck.writeAck = 0x00;
    identify(zeroAck);
    loader->image().endAddress = 300;
    EXPECT_TRUE(loader->WriteProgram());

    BoardOptions oneRow;
    oneRow.acknowledgedRows = 1;
    identify(oneRow);
    loader->image().endAddress = 300;
    EXPECT_FALSE(loader->WriteProgram());
    EXPECT_EQ(console.text(),
              "Write Block Address: 0x0000\rWrite Block Address: 0x0040\r"
              "Bad Write Acc timeout\n\nWrite Block Error!!!\n");
    EXPECT_EQ(wire().size(), 2 * 134u);                 // no third row, no retry
    EXPECT_EQ(board->bootloader().word(0), 0x047E00u);  // row 0 with the GOTO went first
}

TEST_F(DspicProtocol, SingleDifferenceIsListedByImageOffsetAfterTheBanner) {
    BoardOptions options;
    options.readBackOverride = {{0x105, 0xFF}};
    identify(options);
    loader->image().data[0x105] = 0xAB;
    loader->image().endAddress = 0x110;
    ASSERT_TRUE(loader->WriteProgram());
    ASSERT_TRUE(loader->ReadProgram());
    console.clear();
    loader->VerifyProgram();
    EXPECT_EQ(console.text(),
              "!!!!!!!!!!!!!!!!! Flash Read/Write Error !!!!!!!!!!\n0105: w:ab r:ff\n");
}

TEST_F(DspicProtocol, ReadProgramStopsAtTheFirstBadRowAndReportsIt) {
    BoardOptions options;
    options.readChecksum = BoardOptions::ReadChecksum::OffByOne;
    identify(options);
    loader->image().endAddress = 200;
    EXPECT_FALSE(loader->ReadProgram());
    EXPECT_EQ(console.text(),
              "Read Memory Address: 0x0000\rChecksum Error=a0 a1\n\nRead Memory Block Error\n");
    EXPECT_EQ(wire().size(), 5u);
}

// The simulated board itself refuses what a faulty host would send.
TEST_F(DspicProtocol, SimulatedBoardRefusesARowWithABadChecksum) {
    identify();
    Bytes row = concat({{0x02, 0x00, 0x00, 0x40, 0x81}, repeated({0x11, 0x22, 0x33, 0}, 32), {0}});
    for (auto byte : row)
        loader->WriteByte(byte);
    std::uint8_t reply = 0;
    EXPECT_FALSE(loader->ReadByteWait(reply));
    ASSERT_EQ(board->bootloader().faults().size(), 1u);
    EXPECT_NE(board->bootloader().faults()[0].find("checksum"), std::string::npos);
    EXPECT_EQ(board->bootloader().word(0x40), 0xFFFFFFu);
}

}  // namespace
}  // namespace orvane
