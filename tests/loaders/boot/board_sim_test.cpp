// The simulated board is the oracle of the loader tests: it must refuse
// what a real bootloader could not take and keep flash the way flash works.
#include <gtest/gtest.h>

#include "tools/board_sim/board_core.h"
#include "tools/board_sim/frame_codec.h"

namespace orvane::boardsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frame(const Bytes& body) {
    return encodeFrame(body);
}

TEST(BoardSimDecoder, RefusesEverythingAHostMustNotSend) {
    const std::vector<Bytes> bad{
        {0x11},                                // outside a frame
        {0x0F, 0x11},                          // a lone start byte
        {0x0F, 0x0F, 0x01, 0x0F, 0x02, 0x04},  // unescaped start byte in the body
        {0x0F, 0x0F, 0x05, 0x11, 0xEF, 0x04},  // needless escape
        {0x0F, 0x0F, 0x00, 0x02, 0xFD, 0x04},  // wrong checksum
        {0x0F, 0x0F, 0x04},                    // no body at all
    };
    for (const Bytes& bytes : bad) {
        FrameDecoder decoder;
        bool failed = false;
        for (std::uint8_t b : bytes)
            failed |= decoder.feed(b) == FrameDecoder::Event::Error;
        EXPECT_TRUE(failed) << "accepted a stream of " << bytes.size() << " bytes";
    }
    FrameDecoder decoder;
    Bytes good = frame({0x0F, 0x04, 0x05, 0x80});
    FrameDecoder::Event last = FrameDecoder::Event::None;
    for (std::uint8_t b : good)
        last = decoder.feed(b);
    EXPECT_EQ(last, FrameDecoder::Event::Frame);
    EXPECT_EQ(decoder.body(), (Bytes{0x0F, 0x04, 0x05, 0x80}));
}

Bytes blockCommand(std::uint8_t command, std::uint8_t amount, std::uint32_t address,
                   const Bytes& data = {}) {
    Bytes body{command, amount, static_cast<std::uint8_t>(address),
               static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address >> 16)};
    body.insert(body.end(), data.begin(), data.end());
    return frame(body);
}

TEST(BoardSimCore, WriteBeforeEraseOnlyClearsBitsAndIsCounted) {
    BoardCore board({});
    const Bytes data(8, 0xF0);
    board.receive(blockCommand(0x02, 1, 0x400, data), 19200);
    EXPECT_EQ(board.flash()[0x400], BoardCore::oldContent(0x400) & 0xF0);
    EXPECT_GT(board.stats().unerasedBits, 0);
    board.receive(blockCommand(0x03, 1, 0x410), 19200);  // erases the block 0x400..0x43F
    EXPECT_EQ(board.flash()[0x400], 0xFF);
    EXPECT_EQ(board.flash()[0x43F], 0xFF);
    EXPECT_NE(board.flash()[0x440], 0xFF);
    const long before = board.stats().unerasedBits;
    auto replies = board.receive(blockCommand(0x02, 1, 0x400, data), 19200);
    EXPECT_EQ(board.stats().unerasedBits, before);
    EXPECT_EQ(board.flash()[0x400], 0xF0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, frame({0x02}));
    EXPECT_TRUE(board.stats().frameErrors.empty());
}

TEST(BoardSimCore, KeepsTheLoaderAreaAndTheEndOfFlash) {
    BoardCore board({});
    board.receive(blockCommand(0x03, 1, 0x1C0), 19200);
    board.receive(blockCommand(0x02, 1, 0x1F8, Bytes(8, 0)), 19200);
    EXPECT_EQ(board.flash()[0x1F8], BoardCore::oldContent(0x1F8));
    EXPECT_EQ(board.stats().loaderArea, 2);
    auto replies = board.receive(blockCommand(0x01, 0x80, 0x7FC0), 19200);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(board.stats().outOfFlash, 1);
    FrameDecoder decoder;
    for (std::uint8_t b : replies[0].bytes)
        decoder.feed(b);
    ASSERT_EQ(decoder.body().size(), 5u + 128u);  // answered in full, erased past the end
    EXPECT_EQ(decoder.body()[5 + 63], board.flash()[0x7FFF]);
    EXPECT_EQ(decoder.body()[5 + 64], 0xFF);
}

TEST(BoardSimCore, SilentApplicationWakesOnlyOnTheBootCommandAtItsRate) {
    BoardCore::Options options;
    options.startSilent = true;
    options.applicationBaud = 38400;
    BoardCore board(options);
    const Bytes version = frame({0x00, 0x02});
    const Bytes boot{0x02, 0x62, 0x62, 0x03};
    EXPECT_TRUE(board.receive(version, 19200).empty());
    board.receive(boot, 9600);
    EXPECT_FALSE(board.inBootloader());
    board.receive(boot, 38400);
    EXPECT_TRUE(board.inBootloader());
    board.receive(boot, 19200);  // repeated to the bootloader: no framing fault
    ASSERT_EQ(board.receive(version, 19200).size(), 1u);
    EXPECT_EQ(board.stats().bootCommandBauds, (std::vector<int>{9600, 38400, 19200}));
    board.receive(frame({0x08, 0x02}), 19200);
    EXPECT_FALSE(board.inBootloader());
    EXPECT_TRUE(board.stats().frameErrors.empty());
}

}  // namespace
}  // namespace orvane::boardsim
