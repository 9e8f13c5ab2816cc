// Kestrel against a board whose replies lose, double or hold up one byte on
// the line, on the virtual clock: each run ends with its own lines and exit
// status within seconds, or completes when the protocol makes the fault good.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "loaders/kestrel/kestrel_cli.h"
#include "tests/loaders/kestrel/hex_text.h"
#include "tools/dspic_sim/dspic_sim_board.h"
#include "tools/dspic_sim/sim_process.h"
#include "tools/testkit/memory_console.h"

namespace orvane {
namespace {

using testkit::ByteFault;
using Kind = testkit::ByteFault::Kind;

// Seven rows of firmware: the image ends at 0x300.
const kestreltest::Words kFirmware = {
    {0x0, 0x040100}, {0x2, 0x000000}, {0x100, 0xFA0004}, {0x102, 0x2FFFF0}, {0x17E, 0x123456}};
constexpr int kRows = 7;

// Where each reply starts among the bytes the board sends during one load.
constexpr std::size_t kProbeReply = 0;
constexpr std::size_t kLoaderIdReply = 1;   // major, minor, acknowledge
constexpr std::size_t kDeviceIdReply = 4;   // 4 words, sum, acknowledge
constexpr std::size_t kFirstWriteAck = 18;  // one byte per row
constexpr std::size_t kFirstReadReply = kFirstWriteAck + kRows;
constexpr std::size_t kReadReplyBytes = 3 * 32 + 2;

constexpr const char* kReadFailure = "\nRead Memory Block Error\nFlash Dump Error\n";

// One whole run of Kestrel against the simulated board with the fault.
struct Load {
    int status = -1;
    std::int64_t elapsedMs = 0;
    std::string text;
    bool flashHoldsTheFirmware = false;
    int rowsProgrammed = 0;
    std::uint64_t bytesSent = 0;
    bool boardSawNoFault = false;

    bool endsWith(const std::string& tail) const { return text.ends_with(tail); }
    bool says(const std::string& line) const { return text.find(line) != std::string::npos; }
};

Load load(ByteFault fault) {
    testkit::VirtualClock clock;
    testkit::SimPortDirectory ports{clock};
    testkit::MemoryConsole console;
    testkit::TempFolder folder{"orvane-kestrel-line"};
    dspicsim::DspicSimBoard board;
    board.setLineFault(fault);
    ports.attach(1, board);
    std::string path =
        kestreltest::WriteText(folder.file("firm.hex"), kestreltest::HexForWords(kFirmware));
    Load run;
    const std::int64_t started = clock.nowMs();
    run.status = RunKestrel({path}, ports, clock, console);
    run.elapsedMs = clock.nowMs() - started;
    run.text = console.text();
    auto expected = kestreltest::ExpectedFlash(kFirmware, 32 * kRows, 0x7E);
    auto flash = board.bootloader().flashImage();
    run.flashHoldsTheFirmware = std::equal(expected.begin(), expected.end(), flash.begin());
    run.rowsProgrammed = board.bootloader().rowsProgrammed();
    run.bytesSent = board.bootloader().bytesSent();
    run.boardSawNoFault = board.bootloader().faults().empty();
    return run;
}

// The load without faults: where the replies lie and how long it takes.
TEST(KestrelLineFault, ASoundLineLoadsTheFirmware) {
    Load run = load({});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.flashHoldsTheFirmware);
    EXPECT_TRUE(run.endsWith("Good File Download!!!\nReset Sent\n"));
    EXPECT_EQ(run.bytesSent, kFirstReadReply + kRows * kReadReplyBytes);
}

TEST(KestrelLineFault, LostLoaderIdOrDeviceIdBytesAreMadeGoodByTheSecondTry) {
    for (std::size_t at : {kLoaderIdReply + 2, kDeviceIdReply + 13}) {
        Load run = load({Kind::Drop, at});
        EXPECT_EQ(run.status, 1) << at;
        EXPECT_FALSE(run.says("Bad Bootloader ID") || run.says("Can't get device ID")) << at;
        EXPECT_TRUE(run.says("Device ID = 320\n")) << at;
        EXPECT_TRUE(run.flashHoldsTheFirmware) << at;
        // One wait of about four seconds for the byte that never came.
        EXPECT_GE(run.elapsedMs, load({}).elapsedMs + 3900) << at;
    }
}

TEST(KestrelLineFault, ALostWriteAcknowledgeEndsTheLoadAfterOneWait) {
    Load run = load({Kind::Drop, kFirstWriteAck + 2});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(
        run.endsWith("Write Block Address: 0x0080\rBad Write Acc timeout\n"
                     "\nWrite Block Error!!!\nFlash Dump Error\n"))
        << run.text;
    EXPECT_EQ(run.rowsProgrammed, 3);
    EXPECT_LT(run.elapsedMs, 20000);
}

TEST(KestrelLineFault, ALostReadByteFailsTheReadBackWithinSeconds) {
    Load run = load({Kind::Drop, kFirstReadReply + kReadReplyBytes + 5});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.says("Read Memory Address: 0x0040\r"));
    EXPECT_TRUE(run.endsWith(kReadFailure)) << run.text;
    EXPECT_LT(run.elapsedMs, 20000);
}

// GetResp takes every waiting byte and keeps the first non-zero one.
TEST(KestrelLineFault, ADoubledProbeAnswerIsDropped) {
    Load run = load({Kind::Duplicate, kProbeReply});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.flashHoldsTheFirmware);
}

// A doubled acknowledge is taken for the next row's, so the host runs one
// reply ahead; the read-back then starts with a stale byte and fails. A
// doubled byte inside a read reply shifts the reply the same way.
TEST(KestrelLineFault, ADoubledWriteAcknowledgeOrReadByteFailsTheReadBack) {
    for (std::size_t at : {kFirstWriteAck + 1, kFirstReadReply + 7}) {
        Load run = load({Kind::Duplicate, at});
        EXPECT_EQ(run.status, 0) << at;
        EXPECT_TRUE(run.says("Verifying...\nRead Memory Address: 0x0000\r")) << at;
        EXPECT_TRUE(run.endsWith(kReadFailure)) << run.text;
        EXPECT_FALSE(run.says("Good File Download")) << at;
    }
}

TEST(KestrelLineFault, AByteHeldUpWithinTheWaitOnlySlowsTheLoad) {
    const std::int64_t baseline = load({}).elapsedMs;
    Load run = load({Kind::Delay, kFirstReadReply + 50, 3000});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.flashHoldsTheFirmware);
    EXPECT_GE(run.elapsedMs, baseline + 2900);
    EXPECT_LT(run.elapsedMs, baseline + 3100);
}

TEST(KestrelLineFault, AByteHeldUpPastTheWaitFailsTheRead) {
    Load run = load({Kind::Delay, kFirstReadReply + 50, 5000});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.endsWith(kReadFailure)) << run.text;
    EXPECT_LT(run.elapsedMs, 30000);
}

}  // namespace
}  // namespace orvane
