#include "loaders/common/serial_link.h"

#include <gtest/gtest.h>

#include "tools/testkit/memory_console.h"
#include "tools/testkit/sim_port.h"

namespace orvane {
namespace {

using testkit::MemoryConsole;
using testkit::SimBoard;
using testkit::SimPort;
using testkit::SimPortDirectory;
using testkit::VirtualClock;

// A board that answers nothing by itself; the test delivers bytes directly.
class QuietBoard final : public SimBoard {
  public:
    void onBytes(SimPort& port, const std::vector<std::uint8_t>&) override { last = &port; }
    void onConfigure(SimPort& port, int) override { last = &port; }
    SimPort* last = nullptr;
};

class LinkTest : public ::testing::Test {
  protected:
    VirtualClock clock;
    SimPortDirectory ports{clock};
    QuietBoard board;
    MemoryConsole console;
    SerialLink kestrel{ports, clock, console, kKestrelLink};
    SerialLink boot{ports, clock, console, kBootLink};

    void SetUp() override { ports.attach(1, board); }
    SimPort& openedPort(SerialLink& link, int baud = 57600) {
        EXPECT_TRUE(link.OpenPort(1, baud));
        return *board.last;
    }
};

TEST_F(LinkTest, ReadByteWaitGivesUpAfterTwoHundredPollsOfTwentyMs) {
    openedPort(kestrel);
    std::int64_t start = clock.nowMs();
    std::uint8_t byte = 0;
    EXPECT_FALSE(kestrel.ReadByteWait(byte));
    EXPECT_EQ(clock.nowMs() - start, 4000);
    EXPECT_EQ(console.text(), "");
}

TEST_F(LinkTest, ReadByteWaitTakesAByteAsSoonAsItArrives) {
    SimPort& port = openedPort(kestrel);
    port.deliver({0x42}, 2990);  // during the 150th poll
    std::int64_t start = clock.nowMs();
    std::uint8_t byte = 0;
    ASSERT_TRUE(kestrel.ReadByteWait(byte));
    EXPECT_EQ(byte, 0x42);
    EXPECT_EQ(clock.nowMs() - start, 2990);
}

TEST_F(LinkTest, GetRespSkipsZerosAndDropsTheRestOfTheRead) {
    SimPort& port = openedPort(kestrel);
    port.deliver({0x00, 0x00, 0x55, 0x13}, 10);
    std::uint8_t byte = 0;
    ASSERT_TRUE(kestrel.GetResp(byte));
    EXPECT_EQ(byte, 0x55);
    EXPECT_EQ(console.text(), "Got something! 55\n");
    EXPECT_EQ(port.bytesWaiting(), 0u);
}

TEST_F(LinkTest, GetRespWithOnlyZerosTimesOutAfterTenPolls) {
    SimPort& port = openedPort(kestrel);
    port.deliver({0, 0, 0});
    std::int64_t start = clock.nowMs();
    std::uint8_t byte = 0;
    EXPECT_FALSE(kestrel.GetResp(byte));
    EXPECT_EQ(console.text(), "timeout\n");
    EXPECT_EQ(clock.nowMs() - start, 500);
}

TEST_F(LinkTest, ReadByteNowServesReadAheadInOrderThenFails) {
    SimPort& port = openedPort(boot, 19200);
    port.deliver({1, 2, 3});
    std::uint8_t a = 0, b = 0, c = 0, d = 0;
    ASSERT_TRUE(boot.ReadByteNow(a));
    port.deliver({9}, 1);  // not yet due: must not be seen
    ASSERT_TRUE(boot.ReadByteNow(b));
    ASSERT_TRUE(boot.ReadByteNow(c));
    EXPECT_FALSE(boot.ReadByteNow(d));
    EXPECT_EQ((std::vector<int>{a, b, c}), (std::vector<int>{1, 2, 3}));
}

TEST_F(LinkTest, WriteByteSumsEvenWhenClosedAndFailsThen) {
    EXPECT_FALSE(kestrel.WriteByte(0xF0));
    EXPECT_FALSE(kestrel.WriteByte(0x20));
    EXPECT_EQ(kestrel.sendSum, 0x110);
    EXPECT_FALSE(boot.WriteBuffer(4));
    openedPort(kestrel);
    EXPECT_TRUE(kestrel.WriteByte(0x7F));
    EXPECT_EQ(ports.line(1).written, std::vector<std::uint8_t>{0x7F});
}

TEST_F(LinkTest, ClosePortTwiceDoesNothingTheSecondTime) {
    openedPort(kestrel);
    EXPECT_EQ(kestrel.ClosePort(), 1);
    EXPECT_EQ(kestrel.ClosePort(), -1);
    EXPECT_EQ(ports.line(1).closes, 1);
}

TEST_F(LinkTest, OpenFailureNamesTheDeviceOnStandardError) {
    EXPECT_FALSE(kestrel.OpenPort(7, 57600));
    EXPECT_FALSE(kestrel.IsOpen());
    EXPECT_EQ(console.errors(), "cannot open COM7: no such device\n");
    EXPECT_EQ(console.text(), "");
}

TEST_F(LinkTest, ResetWithNoticeOnClosedLinkDoesNothing) {
    kestrel.ResetWithNotice();
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(ports.opens(), 0);
    EXPECT_EQ(clock.sleptMs(), 0);
}

TEST_F(LinkTest, ResetWithNoticePulsesDtrForASecondAndSettles) {
    openedPort(kestrel);
    std::int64_t start = clock.nowMs();
    kestrel.ResetWithNotice();
    auto& changes = ports.line(1).dtrChanges;
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], std::make_pair(start, true));
    EXPECT_EQ(changes[1], std::make_pair(start + 1000, false));
    EXPECT_EQ(clock.nowMs() - start, 2000);
    EXPECT_EQ(console.text(), "Reset Sent\n");
}

TEST_F(LinkTest, PulseResetOpensTheRememberedPortWhenClosedAndClosesItAgain) {
    boot.portNumber = 1;
    std::int64_t start = clock.nowMs();
    boot.PulseReset();
    EXPECT_FALSE(boot.IsOpen());
    EXPECT_EQ(ports.line(1).bauds, std::vector<int>{19200});
    auto& changes = ports.line(1).dtrChanges;
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].first - changes[0].first, 250);
    EXPECT_EQ(clock.nowMs() - start, 500);
    boot.portNumber = 5;
    boot.PulseReset();
    EXPECT_EQ(console.text(), "Open Comm Port Error\n");
}

TEST_F(LinkTest, KestrelPulseHoldsDtrASecondWithoutSettle) {
    openedPort(kestrel);
    std::int64_t start = clock.nowMs();
    kestrel.PulseReset();
    EXPECT_TRUE(kestrel.IsOpen());
    EXPECT_EQ(clock.nowMs() - start, 1000);
}

TEST_F(LinkTest, UsbSearchPicksTheHighestAdapterAmongShortComNames) {
    ports.setUsbAdapters({"COM3", "COM7", "COM12", "COMX", "COM1000"},
                         {"COM3", "COM7", "COMX", "COM1000"});
    kestrel.portNumber = 0;
    EXPECT_TRUE(kestrel.FindUsbSerialPort());
    EXPECT_EQ(kestrel.portNumber, 7);
}

TEST_F(LinkTest, UsbSearchWithoutAdaptersLeavesZero) {
    ports.setUsbAdapters({"COM1", "COM2"}, {});
    kestrel.portNumber = 0;
    EXPECT_TRUE(kestrel.FindUsbSerialPort());
    EXPECT_EQ(kestrel.portNumber, 0);
}

TEST_F(LinkTest, AnUnpluggedDeviceIsReportedOnceAndReadsEndInTime) {
    openedPort(kestrel);
    ports.unplug(1);
    std::uint8_t byte = 0;
    std::int64_t start = clock.nowMs();
    EXPECT_FALSE(kestrel.ReadByteWait(byte));
    EXPECT_FALSE(kestrel.ReadByteWait(byte));
    EXPECT_LE(clock.nowMs() - start, 8000);
    EXPECT_FALSE(kestrel.WriteByte(1));
    EXPECT_EQ(console.errors(), "COM1 went away (device disconnected)\n");
}

}  // namespace
}  // namespace orvane
