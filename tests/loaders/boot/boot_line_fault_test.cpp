// boot against a board whose answers lose, double or hold up one byte on
// the line, on the virtual clock: each run ends with its own lines and exit
// status within seconds, or completes when the framing makes the fault good.
#include <gtest/gtest.h>

#include <algorithm>

#include "loaders/boot/boot_run.h"
#include "tests/loaders/boot/boot_test_support.h"
#include "tools/board_sim/frame_codec.h"

namespace orvane::boottest {
namespace {

using testkit::ByteFault;
using Kind = testkit::ByteFault::Kind;
using Bytes = std::vector<std::uint8_t>;

// 0x100 bytes at 0x200: the range 0x200..0x500 takes 16 erase blocks, 13
// writes and 7 reads.
constexpr std::uint32_t kStart = 0x200;
constexpr std::size_t kLength = 0x100;
constexpr std::size_t kEraseFrames = 16;

// Where each answer starts among the bytes the board sends during one load.
const std::size_t kVersionBytes = boardsim::encodeFrame(Bytes{0x00, 0x02, 0x01, 0x05}).size();
const std::size_t kEraseBytes = boardsim::encodeFrame(Bytes{0x03}).size();
const std::size_t kWriteBytes = boardsim::encodeFrame(Bytes{0x02}).size();
const std::size_t kFirstErase = kVersionBytes;
const std::size_t kFirstWrite = kFirstErase + kEraseFrames * kEraseBytes;
const std::size_t kFirstRead = kFirstWrite + 13 * kWriteBytes;

// One whole run of boot against the simulated board with the fault.
struct Load {
    int status = -1;
    std::int64_t elapsedMs = 0;
    std::string text;
    bool flashHoldsTheFirmware = false;
    bool portLeftOpen = false;

    bool endsWith(const std::string& tail) const { return text.ends_with(tail); }
    bool says(const std::string& line) const { return text.find(line) != std::string::npos; }
};

Load load(ByteFault fault) {
    BoardRig rig;
    rig.board.setLineFault(fault);
    testkit::TempFolder dir{"boot-test"};
    const Bytes firmware = firmwareBytes(kLength);
    writeText(dir.file("fw.hex"), hexText(kStart, firmware));
    const std::string path = dir.file("fw.hex");
    const char* argv[] = {"boot", path.c_str(), nullptr};
    Load run;
    const std::int64_t started = rig.clock.nowMs();
    run.status = runBoot(2, argv, rig.ports, rig.clock, rig.console);
    run.elapsedMs = rig.clock.nowMs() - started;
    run.text = rig.text();
    const auto& flash = rig.board.core().flash();
    run.flashHoldsTheFirmware =
        std::equal(firmware.begin(), firmware.end(), flash.begin() + kStart);
    // Every open is closed again.
    run.portLeftOpen = rig.line().closes != rig.ports.opens();
    return run;
}

TEST(BootLineFault, ASoundLineLoadsTheFirmware) {
    Load run = load({});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.flashHoldsTheFirmware);
    EXPECT_TRUE(run.endsWith("Good File Download!!!\nReset Sent\n"));
    EXPECT_FALSE(run.portLeftOpen);
}

// Without its end byte the answer never completes: the receive gives up
// after its time-out and the erase fails silently.
TEST(BootLineFault, ALostEndByteEndsTheLoadAtTheTimeOut) {
    Load run = load({Kind::Drop, kFirstErase + kEraseBytes - 1});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.endsWith("Erasing Block: 0x200\rError: Flash Dump\n")) << run.text;
    EXPECT_FALSE(run.portLeftOpen);
    // The reset pulse and settle (750 ms), the answer time-out (at most 2 s).
    EXPECT_LT(run.elapsedMs, 3000);
}

TEST(BootLineFault, ALostBodyByteFailsTheChecksum) {
    Load run = load({Kind::Drop, kFirstWrite + kWriteBytes + 2});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.endsWith("Writing: 0x240\rChecksum Error\nFlash Dump Error\n")) << run.text;
    EXPECT_FALSE(run.portLeftOpen);
}

// A stray end byte between answers is skipped while the next answer's
// start bytes are awaited.
TEST(BootLineFault, ADoubledEndByteIsHarmless) {
    Load run = load({Kind::Duplicate, kFirstWrite + kWriteBytes - 1});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.flashHoldsTheFirmware);
}

// Of a run of three start bytes the last two are the header: the version
// answer is read as sent and no boot command is needed.
TEST(BootLineFault, ADoubledStartByteIsPartOfTheHeader) {
    Load run = load({Kind::Duplicate, 0});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("Downloading file "));
    EXPECT_FALSE(run.says("Checksum Error")) << run.text;
    EXPECT_FALSE(run.says("Bootloader not found")) << run.text;
    EXPECT_TRUE(run.flashHoldsTheFirmware);
}

TEST(BootLineFault, ADoubledReadByteFailsTheReadBack) {
    Load run = load({Kind::Duplicate, kFirstRead + 40});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.endsWith("Reading: 0x200\rChecksum Error\nFlash Dump Error\n")) << run.text;
}

TEST(BootLineFault, AByteHeldUpWithinTheTimeOutOnlySlowsTheLoad) {
    const std::int64_t baseline = load({}).elapsedMs;
    Load run = load({Kind::Delay, kFirstRead + 40, 500});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.flashHoldsTheFirmware);
    EXPECT_GE(run.elapsedMs, baseline + 450);
}

TEST(BootLineFault, AByteHeldUpPastTheTimeOutFailsTheReadBackSilently) {
    Load run = load({Kind::Delay, kFirstRead + 40, 2500});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.endsWith("Verifying...\nReading: 0x200\rFlash Dump Error\n")) << run.text;
    EXPECT_FALSE(run.portLeftOpen);
}

}  // namespace
}  // namespace orvane::boottest
