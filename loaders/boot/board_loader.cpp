#include "loaders/boot/board_loader.h"

#include <algorithm>

namespace orvane {

namespace {
constexpr int kAnswerTimeoutSeconds = 2;
constexpr int kAnswerPollMs = 10;
constexpr int kEraseBlock = 64;
constexpr int kWriteBlock = 64;
constexpr int kWriteChunk = 8;
constexpr std::uint8_t kWriteBlockAmount = 8;  // in units of 8 bytes
constexpr std::uint8_t kWriteChunkAmount = 1;
constexpr int kReadBlock = 128;
constexpr std::size_t kCommandHead = 5;  // command, amount, AL, AH, AU
// A read answer: the command head, 128 data bytes and the checksum.
constexpr int kReadAnswerSize = kCommandHead + kReadBlock + 1;
constexpr int kExtraEraseBlocks = 4;
constexpr int kWriteTailMargin = 2;
constexpr int kProgressEvery = 5;
constexpr int kLoaderSettleMs = 250;
constexpr int kBootCommandPauseMs = 100;
constexpr int kAfterResetMs = 200;
// Two start bytes, every body byte escaped, the escaped checksum and the end
// byte must fit the transmit buffer.
constexpr std::size_t kLongestBody = (SerialLink::kTransmitSize - 5) / 2;

constexpr std::array<std::uint8_t, 2> kVersionBody{CMD_VERSION, 0x02};
constexpr std::array<std::uint8_t, 5> kFinishBody{CMD_FINISH, 0x01, 0xFF, 0x00, 0x00};
constexpr std::array<std::uint8_t, 2> kResetBody{CMD_RESET, 0x02};
// The running application's request to enter the bootloader: STX, 'b', the
// exclusive-or of the bytes between STX and the check byte, ETX. Not framed.
constexpr std::array<std::uint8_t, 4> kBootCommand{0x02, 0x62, 0x62, 0x03};

bool needsEscape(std::uint8_t byte) {
    return byte == FRAME_START || byte == FRAME_END || byte == FRAME_ESCAPE;
}

std::uint8_t addressByte(std::int32_t address, int shift) {
    return static_cast<std::uint8_t>((address >> shift) & 0xFF);
}

}  // namespace

struct BoardLoader::FrameState {
    enum class Stage { FirstStart, SecondStart, Body };
    Stage stage = Stage::FirstStart;
    bool escaped = false;
    // The last stored byte was a FRAME_START that came without an escape.
    bool previousWasStart = false;
};

BoardLoader::BoardLoader(PortDirectory& ports, Clock& clock, Console& console)
    : SerialLink(ports, clock, console, kBootLink), image(HexImageSettings::board(), console) {}

void BoardLoader::appendBodyByte(std::uint8_t byte, std::size_t& length) {
    if (needsEscape(byte))
        transmit[length++] = FRAME_ESCAPE;
    runningSum_ = static_cast<std::uint8_t>(runningSum_ + byte);
    transmit[length++] = byte;
}

void BoardLoader::sendCommand(std::span<const std::uint8_t> body) {
    if (body.size() > kLongestBody)
        return;  // no command of the protocol comes near it
    std::size_t length = 0;
    transmit[length++] = FRAME_START;
    transmit[length++] = FRAME_START;
    runningSum_ = 0;
    for (std::uint8_t byte : body)
        appendBodyByte(byte, length);
    appendBodyByte(static_cast<std::uint8_t>(0x100 - runningSum_), length);
    transmit[length++] = FRAME_END;
    // A frame that does not go out shows as a missing answer.
    WriteBuffer(length);
}

bool BoardLoader::answerTimedOut(std::int64_t startedSeconds) {
    return clock().calendarSeconds() - startedSeconds >= kAnswerTimeoutSeconds;
}

bool BoardLoader::receiveFrame() {
    const std::int64_t started = clock().calendarSeconds();
    answerLength_ = 0;
    FrameState state;
    std::size_t taken = 0;
    for (;;) {
        std::uint8_t byte = 0;
        if (!ReadByteNow(byte)) {
            if (answerTimedOut(started))
                return false;
            waitForInput(kAnswerPollMs);
            continue;
        }
        // A board that never pauses its stream must not hold the receive
        // past its time-out, so the clock is also read while bytes flow.
        if (++taken % kAnswerSize == 0 && answerTimedOut(started))
            return false;
        Receive outcome = takeAnswerByte(byte, state);
        if (outcome != Receive::More)
            return outcome == Receive::Complete;
    }
}

BoardLoader::Receive BoardLoader::takeAnswerByte(std::uint8_t byte, FrameState& state) {
    using Stage = FrameState::Stage;
    if (state.stage != Stage::Body) {
        // A header is two start bytes in a row: noise may hold a lone one,
        // and the byte after it starts the search again.
        if (byte != FRAME_START)
            state.stage = Stage::FirstStart;
        else
            state.stage = state.stage == Stage::FirstStart ? Stage::SecondStart : Stage::Body;
        return Receive::More;
    }
    const bool escaped = state.escaped;
    if (!escaped) {
        // Noise that ends in a start byte runs into the header: of a run of
        // start bytes, the last two are the header.
        if (byte == FRAME_START && answerLength_ == 0)
            return Receive::More;
        if (byte == FRAME_ESCAPE) {
            state.escaped = true;
            return Receive::More;
        }
        if (byte == FRAME_END)
            return Receive::Complete;
        if (byte == FRAME_START && state.previousWasStart) {
            console().print("Error: New hdr found\n");
            return Receive::Failed;
        }
    }
    if (answerLength_ == static_cast<int>(kAnswerSize)) {
        console().print("Error: Answer too long\n");
        return Receive::Failed;
    }
    answer_[answerLength_++] = byte;
    state.previousWasStart = !escaped && byte == FRAME_START;
    state.escaped = false;
    return Receive::More;
}

bool BoardLoader::answerChecksumGood() {
    std::uint8_t sum = 0;
    for (int i = 0; i < answerLength_; ++i)
        sum = static_cast<std::uint8_t>(sum + answer_[i]);
    // An empty body has no checksum byte, so it can never be a sound answer.
    if (answerLength_ > 0 && sum == 0)
        return true;
    console().print("Checksum Error\n");
    return false;
}

int BoardLoader::answerByte(std::size_t index) const {
    return index < static_cast<std::size_t>(answerLength_) ? answer_[index] : -1;
}

bool BoardLoader::exchange(std::span<const std::uint8_t> body) {
    sendCommand(body);
    return receiveFrame() && answerChecksumGood();
}

bool BoardLoader::findLoader() {
    if (!IsOpen())
        return false;
    PulseReset();
    clock().sleepMs(kLoaderSettleMs);
    if (!exchange(kVersionBody))
        return false;
    if (answerByte(0) == 0x00 || answerByte(1) == 0x02)
        return true;
    console().print("Bad Response for Loader\n");
    return false;
}

void BoardLoader::sendBootCommand() {
    clock().sleepMs(kBootCommandPauseMs);
    writeRaw(kBootCommand.data(), kBootCommand.size());
    clock().sleepMs(kBootCommandPauseMs);
}

bool BoardLoader::endPhaseOnKey() {
    if (!console().keyWaiting())
        return false;
    console().readKey();
    return true;
}

bool BoardLoader::sendBlock(std::uint8_t command, std::uint8_t amount, std::int32_t address,
                            std::size_t dataBytes) {
    std::array<std::uint8_t, kCommandHead + kWriteBlock> body{
        command, amount, addressByte(address, 0), addressByte(address, 8),
        addressByte(address, 16)};
    dataBytes = std::min<std::size_t>(dataBytes, kWriteBlock);
    for (std::size_t i = 0; i < dataBytes; ++i) {
        std::size_t at = static_cast<std::size_t>(address) + i;
        // Past the board's memory the block carries erased bytes, never
        // bytes from outside the image.
        body[kCommandHead + i] = address >= 0 && at < image.data.size() ? image.data[at] : 0xFF;
    }
    return exchange({body.data(), kCommandHead + dataBytes});
}

bool BoardLoader::eraseRange(std::int32_t start, std::int32_t end) {
    if (!IsOpen())
        return false;
    const int blocks = (end - start) / kEraseBlock + kExtraEraseBlocks;
    int counter = kProgressEvery;
    std::int32_t address = start;
    // Blocks from the end of the board's memory on are not sent at all.
    for (int block = 0; block < blocks && address < kImageEnd; ++block) {
        if (++counter >= kProgressEvery) {
            console().print("Erasing Block: 0x%x\r", address);
            counter = 0;
        }
        if (!sendBlock(CMD_ERASE, 1, address, 0))
            return false;
        address += kEraseBlock;
        if (endPhaseOnKey())
            break;
    }
    console().print("\n");
    return true;
}

bool BoardLoader::writeBlocks(std::int32_t& address, int count, std::uint8_t amount,
                              std::size_t size) {
    for (int i = 0; i < count && address < kImageEnd; ++i) {
        console().print("Writing: 0x%x\r", address);
        if (!sendBlock(CMD_WRITE, amount, address, size))
            return false;
        address += static_cast<std::int32_t>(size);
        if (endPhaseOnKey())
            break;
    }
    return true;
}

bool BoardLoader::writeRange(std::int32_t start, std::int32_t end) {
    if (!IsOpen())
        return false;
    const int difference = end - start;
    const int blocks = difference / kWriteBlock;
    const int left = difference - kWriteBlock * blocks + kWriteTailMargin;
    console().print("Blocks = %d Left = %d\n", blocks, left);
    std::int32_t address = start;
    if (!writeBlocks(address, blocks, kWriteBlockAmount, kWriteBlock))
        return false;
    if (!writeBlocks(address, left / kWriteChunk + 1, kWriteChunkAmount, kWriteChunk))
        return false;
    console().print("\n");
    return true;
}

bool BoardLoader::readAnswerGood(std::int32_t address) {
    const char* fault = nullptr;
    if (answerByte(0) != CMD_READ) {
        fault = "Buffer Command Recv Error\n";
    } else if (answerByte(2) != addressByte(address, 0) ||
               answerByte(3) != addressByte(address, 8) ||
               answerByte(4) != addressByte(address, 16)) {
        fault = "Buffer Address Error\n";
    } else if (answerByte(1) != kReadBlock || answerLength_ < kReadAnswerSize) {
        // A short answer would leave stale bytes of earlier answers in the copy.
        fault = "Datasize Error\n";
    }
    if (fault == nullptr)
        return true;
    console().print("%s", fault);
    return false;
}

bool BoardLoader::readBlock(std::int32_t address) {
    if (!sendBlock(CMD_READ, kReadBlock, address, 0) || !readAnswerGood(address))
        return false;
    if (address < 0)
        return true;
    // Only the part of the block inside the board's memory is kept.
    const std::size_t at = static_cast<std::size_t>(address);
    const std::size_t count = std::min<std::size_t>(kReadBlock, image.readBack.size() - at);
    std::copy_n(answer_.begin() + kCommandHead, count, image.readBack.begin() + at);
    return true;
}

bool BoardLoader::readRange(std::int32_t start, std::int32_t end) {
    if (!IsOpen())
        return false;
    std::fill(image.readBack.begin(), image.readBack.end(), 0xFF);
    int counter = kProgressEvery;
    for (std::int32_t address = start; address <= end && address < kImageEnd;
         address += kReadBlock) {
        if (++counter >= kProgressEvery) {
            console().print("Reading: 0x%x\r", address);
            counter = 0;
        }
        if (!readBlock(address))
            return false;
        if (endPhaseOnKey())
            break;
    }
    console().print("\n");
    return true;
}

void BoardLoader::listDifferences(std::int32_t start, std::int32_t end) {
    const std::int32_t last = std::min<std::int32_t>(end, kImageEnd);
    for (std::int32_t address = std::max(start, 0); address < last; ++address) {
        std::uint8_t written = image.data[static_cast<std::size_t>(address)];
        std::uint8_t read = image.readBack[static_cast<std::size_t>(address)];
        if (written != read)
            console().print("%04x: w:%02x r:%02x\n", address, written, read);
    }
}

bool BoardLoader::sendFinish() {
    if (!exchange(kFinishBody))
        return false;
    if (answerByte(0) == CMD_FINISH)
        return true;
    console().print("Bad Response for Loader\n");
    return false;
}

void BoardLoader::sendReset() {
    if (!IsOpen())
        return;
    sendCommand(kResetBody);
    console().print("Reset Sent\n");
}

bool BoardLoader::failLoad(const char* message) {
    console().print("%s", message);
    ClosePort();
    return false;
}

bool BoardLoader::reachBootloader() {
    if (findLoader())
        return true;
    console().print("Bootloader not found, sending boot command\n");
    ClosePort();
    // The application listens at the user's rate; whether these opens
    // succeed shows only in whether the bootloader answers afterwards.
    OpenPort(portNumber, applicationBaud);
    sendBootCommand();
    sendBootCommand();
    ClosePort();
    OpenPort(portNumber, kBootloaderBaud);
    PulseReset();
    if (findLoader())
        return true;
    return failLoad("Board or bootloader not found\n");
}

bool BoardLoader::loadAndVerify(std::int32_t start, std::int32_t end) {
    if (!eraseRange(start, end))
        return failLoad("Error: Flash Dump\n");
    if (!writeRange(start, end))
        return failLoad("Flash Dump Error\n");
    console().print("Verifying...\n");
    if (!readRange(start, end))
        return failLoad("Flash Dump Error\n");
    const std::int32_t compareEnd = std::min(end, kImageEnd);
    const auto written = image.data.begin();
    if (!std::equal(written + start, written + compareEnd, image.readBack.begin() + start)) {
        console().print("!!!!!!!!!!!!!!!!! Flash Read/Write Error !!!!!!!!!!\n");
        listDifferences(start, compareEnd);
    }
    sendFinish();
    PulseReset();
    clock().sleepMs(kAfterResetMs);
    return true;
}

bool BoardLoader::downloadFile(int port, const std::string& path) {
    console().print("Downloading file %s...\n", path.c_str());
    portNumber = port;
    if (!OpenPort(port, kBootloaderBaud))
        return failLoad("Open Comm Port Error\n");
    if (!reachBootloader())
        return false;
    console().print("Bootloader Found - Reading Hex File...\n");
    if (!image.loadHexFile(path))
        return failLoad("Error reading HEX file\n");
    console().print("Start Address: 0x%x End Address: 0x%x Size: %d Bytes\n", image.startAddress,
                    image.endAddress, image.endAddress - image.startAddress);
    // A file without data leaves the start above the end: there is nothing
    // to erase, and the block counts would come out negative.
    if (image.startAddress >= image.endAddress)
        return failLoad("No data to load\n");
    return loadAndVerify(std::max(image.startAddress, kLowestAddress), image.endAddress);
}

}  // namespace orvane
