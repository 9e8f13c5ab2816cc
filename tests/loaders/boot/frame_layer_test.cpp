// The frame layer of boot as seen on the wire: the bytes of each command,
// escaping, and how answers are taken apart.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/loaders/boot/boot_test_support.h"

namespace orvane::boottest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using boardsim::Fault;
using testkit::SimPort;

// A line with nothing on it but what the test delivers.
class ScriptedBoard final : public testkit::SimBoard {
  public:
    void onConfigure(SimPort& port, int) override { port_ = &port; }
    void onBytes(SimPort&, const Bytes&) override {}
    SimPort& port() { return *port_; }

  private:
    SimPort* port_ = nullptr;
};

// A clock on which each look at the calendar takes time, as reading a
// stream does in a real run.
class BusyClock final : public Clock {
  public:
    explicit BusyClock(testkit::VirtualClock& clock) : clock_(clock) {}
    void sleepMs(int ms) override { clock_.sleepMs(ms); }
    std::int64_t nowMs() override { return clock_.nowMs(); }
    std::int64_t calendarSeconds() override {
        clock_.sleepMs(100);
        return clock_.calendarSeconds();
    }

  private:
    testkit::VirtualClock& clock_;
};

class BootFrameLayer : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.ports.attach(2, scripted);
        ASSERT_TRUE(rig.loader.OpenPort(2, 19200));
    }
    Bytes lastWrite() { return rig.ports.line(2).writes.back().bytes; }
    bool receive(const Bytes& bytes) {
        scripted.port().deliver(bytes, 5);
        return rig.loader.receiveFrame();
    }
    Bytes answer() { return Bytes(rig.loader.answer().begin(), rig.loader.answer().end()); }

    BoardRig rig;
    ScriptedBoard scripted;
};

TEST(BootFrameWire, CommandsGoOutAsTheirDocumentedFrames) {
    BoardRig rig;
    ASSERT_TRUE(rig.loader.OpenPort(1, 19200));
    ASSERT_TRUE(rig.loader.findLoader());
    ASSERT_TRUE(rig.loader.eraseRange(0x200, 0x200));
    ASSERT_TRUE(rig.loader.readRange(0x200, 0x200));
    ASSERT_TRUE(rig.loader.sendFinish());
    rig.loader.sendReset();
    const auto& writes = rig.line().writes;
    ASSERT_EQ(writes.size(), 8u);  // version, 4 erase blocks, read, finish, reset
    EXPECT_EQ(writes[0].bytes, (Bytes{0x0F, 0x0F, 0x00, 0x02, 0xFE, 0x04}));
    EXPECT_EQ(writes[1].bytes, (Bytes{0x0F, 0x0F, 0x03, 0x01, 0x00, 0x02, 0x00, 0xFA, 0x04}));
    EXPECT_EQ(writes[5].bytes, (Bytes{0x0F, 0x0F, 0x01, 0x80, 0x00, 0x02, 0x00, 0x7D, 0x04}));
    EXPECT_EQ(writes[6].bytes, (Bytes{0x0F, 0x0F, 0x05, 0x05, 0x01, 0xFF, 0x00, 0x00, 0xFB, 0x04}));
    EXPECT_EQ(writes[7].bytes, (Bytes{0x0F, 0x0F, 0x08, 0x02, 0xF6, 0x04}));
    EXPECT_TRUE(rig.line().bauds == std::vector<int>{19200});
    EXPECT_NE(rig.text().find("Reset Sent\n"), std::string::npos);
}

TEST_F(BootFrameLayer, ReservedBytesAreEscapedInTheBodyAndInTheChecksum) {
    rig.loader.sendCommand(Bytes{0x0F, 0x04, 0x05, 0x11});
    EXPECT_EQ(lastWrite(),
              (Bytes{0x0F, 0x0F, 0x05, 0x0F, 0x05, 0x04, 0x05, 0x05, 0x11, 0xD7, 0x04}));
    rig.loader.sendCommand(Bytes{0xF1});  // checksum 0x0F
    EXPECT_EQ(lastWrite(), (Bytes{0x0F, 0x0F, 0xF1, 0x05, 0x0F, 0x04}));
    rig.loader.sendCommand(Bytes{0xFC});  // checksum 0x04
    EXPECT_EQ(lastWrite(), (Bytes{0x0F, 0x0F, 0xFC, 0x05, 0x04, 0x04}));
    rig.loader.sendCommand(Bytes{0xFB});  // checksum 0x05
    EXPECT_EQ(lastWrite(), (Bytes{0x0F, 0x0F, 0xFB, 0x05, 0x05, 0x04}));
}

TEST(BootFrameWire, DataByteFifteenInAWriteBlockIsEscapedAndCountedOnce) {
    BoardRig rig;
    ASSERT_TRUE(rig.loader.OpenPort(1, 19200));
    rig.loader.image.data[0x200] = 0x0F;
    ASSERT_TRUE(rig.loader.writeRange(0x200, 0x240));  // one block, one chunk
    const Bytes& frame = rig.line().writes[0].bytes;
    ASSERT_EQ(frame.size(), 74u);
    EXPECT_EQ((Bytes{frame[7], frame[8]}), (Bytes{0x05, 0x0F}));
    EXPECT_EQ(frame[72], 0x24);  // 0x100 - (0x02+0x08+0x02+0x0F+63*0xFF) % 0x100
    EXPECT_TRUE(rig.board.stats().frameErrors.empty());
}

// A header is two start bytes in a row: a lone one in the noise before it
// is noise too, and a run of them ends in the header.
TEST_F(BootFrameLayer, NoiseHoldingLoneStartBytesBeforeTheHeaderIsSkipped) {
    ASSERT_TRUE(receive({0x33, 0x0F, 0x44, 0x0F, 0x0F, 0x01, 0x02, 0xFD, 0x04}));
    EXPECT_EQ(answer(), (Bytes{0x01, 0x02, 0xFD}));
    ASSERT_TRUE(receive({0x00, 0x0F, 0x0F, 0x0F, 0x01, 0x02, 0xFD, 0x04}));
    EXPECT_EQ(answer(), (Bytes{0x01, 0x02, 0xFD}));
    EXPECT_EQ(rig.text(), "");
}

TEST_F(BootFrameLayer, StartBytesWithOtherBytesBetweenThemAreNoHeader) {
    EXPECT_FALSE(receive({0x0F, 0x44, 0x0F, 0x01, 0x02, 0xFD, 0x04}));
    EXPECT_EQ(rig.text(), "");
}

TEST_F(BootFrameLayer, EscapedReservedBytesAndASingleStartByteAreKeptAsData) {
    ASSERT_TRUE(receive({0x0F, 0x0F, 0x05, 0x04, 0x05, 0x0F, 0x05, 0x05, 0x0F, 0x11, 0xC8, 0x04}));
    EXPECT_EQ(answer(), (Bytes{0x04, 0x0F, 0x05, 0x0F, 0x11, 0xC8}));
    // An escaped start byte does not pair with the unescaped one after it.
    ASSERT_TRUE(receive({0x0F, 0x0F, 0x05, 0x0F, 0x0F, 0xE2, 0x04}));
    EXPECT_EQ(answer(), (Bytes{0x0F, 0x0F, 0xE2}));
    EXPECT_EQ(rig.text(), "");
}

TEST_F(BootFrameLayer, TwoUnescapedStartBytesInsideABodyFail) {
    EXPECT_FALSE(receive({0x0F, 0x0F, 0x01, 0x0F, 0x0F, 0x02, 0x04}));
    EXPECT_EQ(rig.text(), "Error: New hdr found\n");
}

TEST_F(BootFrameLayer, NoAnswerTimesOutSilentlyBetweenOneAndTwoSeconds) {
    const std::int64_t start = rig.clock.nowMs();
    EXPECT_FALSE(rig.loader.receiveFrame());
    const std::int64_t waited = rig.clock.nowMs() - start;
    EXPECT_GE(waited, 1000);
    EXPECT_LE(waited, 2000);
    EXPECT_EQ(rig.text(), "");
}

TEST_F(BootFrameLayer, AStreamThatNeverPausesEndsAtTheTimeOut) {
    BusyClock busy(rig.clock);
    BoardLoader loader(rig.ports, busy, rig.console);
    rig.loader.ClosePort();
    ASSERT_TRUE(loader.OpenPort(2, 19200));
    scripted.port().deliver(Bytes(100'000, 0x55));  // all waiting at once: no pause to notice
    EXPECT_FALSE(loader.receiveFrame());
    EXPECT_GT(scripted.port().bytesWaiting(), 0u);  // given up with bytes still coming
}

TEST_F(BootFrameLayer, AnAnswerLongerThanTheBufferIsCutOff) {
    Bytes frame{0x0F, 0x0F};
    frame.insert(frame.end(), 1100, 0x11);
    frame.push_back(0x04);
    EXPECT_FALSE(receive(frame));
    EXPECT_EQ(rig.text(), "Error: Answer too long\n");
    EXPECT_EQ(rig.loader.answer().size(), BoardLoader::kAnswerSize);
}

// Faults of the board's answers and the line each command fails with.
struct AnswerFault {
    const char* name;
    Fault fault;
    int command;
    const char* message;
};
void PrintTo(const AnswerFault& c, std::ostream* out) {
    *out << c.name;
}

class BootFaultyAnswer : public ::testing::TestWithParam<AnswerFault> {};

TEST_P(BootFaultyAnswer, FailsTheOperationWithItsMessage) {
    const AnswerFault& param = GetParam();
    BoardRig rig(faultyBoard(param.fault, param.command, 0));
    ASSERT_TRUE(rig.loader.OpenPort(1, 19200));
    bool result = true;
    switch (param.command) {
        case 0x00:
            result = rig.loader.findLoader();
            break;
        case 0x01:
            result = rig.loader.readRange(0x200, 0x300);
            break;
        case 0x02:
            result = rig.loader.writeRange(0x200, 0x300);
            break;
        case 0x03:
            result = rig.loader.eraseRange(0x200, 0x300);
            break;
        case 0x05:
            result = rig.loader.sendFinish();
            break;
    }
    EXPECT_FALSE(result);
    EXPECT_TRUE(rig.text().ends_with(param.message)) << rig.text();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BootFaultyAnswer,
    ::testing::Values(
        AnswerFault{"VersionChecksum", Fault::BadChecksum, 0x00, "Checksum Error\n"},
        AnswerFault{"VersionEmpty", Fault::EmptyBody, 0x00, "Checksum Error\n"},
        AnswerFault{"EraseChecksum", Fault::BadChecksum, 0x03, "Checksum Error\n"},
        AnswerFault{"WriteChecksum", Fault::BadChecksum, 0x02, "Checksum Error\n"},
        AnswerFault{"FinishEmpty", Fault::EmptyBody, 0x05, "Checksum Error\n"},
        AnswerFault{"EraseDoubledStart", Fault::DoubledStart, 0x03, "Error: New hdr found\n"},
        AnswerFault{"WriteOverlong", Fault::OverlongBody, 0x02, "Error: Answer too long\n"},
        AnswerFault{"EraseEndlessBody", Fault::EndlessBody, 0x03, "Error: Answer too long\n"},
        AnswerFault{"ReadChecksum", Fault::BadChecksum, 0x01, "Checksum Error\n"},
        AnswerFault{"ReadCommand", Fault::ReadWrongCommand, 0x01, "Buffer Command Recv Error\n"},
        AnswerFault{"ReadAmount", Fault::ReadWrongAmount, 0x01, "Datasize Error\n"},
        AnswerFault{"ReadAddressBeforeAmount", Fault::ReadWrongAddressAndAmount, 0x01,
                    "Buffer Address Error\n"},
        AnswerFault{"ReadShort", Fault::ShortRead, 0x01, "Datasize Error\n"}),
    CaseName());

TEST(BootFrameWire, SilentOrEndlesslyNoisyAnswersFailWithoutAMessageWithinTheTimeOut) {
    for (Fault fault : {Fault::Silence, Fault::EndlessNoise}) {
        BoardRig rig(faultyBoard(fault, 0x03, 0));
        ASSERT_TRUE(rig.loader.OpenPort(1, 19200));
        const std::int64_t start = rig.clock.nowMs();
        EXPECT_FALSE(rig.loader.eraseRange(0x200, 0x300));
        EXPECT_LE(rig.clock.nowMs() - start, 2100);
        EXPECT_EQ(rig.text(), "Erasing Block: 0x200\r");
    }
}

// Noise with lone start bytes in front of every answer, a whole load long.
TEST(BootFrameWire, NoisyAnswersAreTakenAsSound) {
    BoardRig rig(faultyBoard(Fault::NoiseBefore, -1, 0));
    testkit::TempFolder dir{"boot-test"};
    const Bytes firmware = firmwareBytes(0x180, 4);
    writeText(dir.file("fw.hex"), hexText(0x200, firmware));
    ASSERT_TRUE(rig.loader.downloadFile(1, dir.file("fw.hex"))) << rig.text();
    const auto& flash = rig.board.core().flash();
    EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), flash.begin() + 0x200));
    EXPECT_EQ(rig.text().find("Error"), std::string::npos) << rig.text();
    EXPECT_EQ(rig.text().find("sending boot command"), std::string::npos);
    EXPECT_TRUE(rig.loader.sendFinish());
}

}  // namespace
}  // namespace orvane::boottest
