#include "loaders/common/serial_link.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ascii_text.h"

namespace orvane {

namespace {
constexpr int kReadWaitPolls = 200;
constexpr int kReadWaitPollMs = 20;
constexpr int kRespPolls = 10;
constexpr int kRespPollMs = 50;
// The rest of a refused reply is taken off the line until it has been quiet
// this long, within a bound for a board that never stops sending.
constexpr int kQuietLineMs = 20;
constexpr int kDiscardRounds = 50;
}  // namespace

SerialLink::SerialLink(PortDirectory& ports, Clock& clock, Console& console, LinkProfile profile)
    : ports_(ports), clock_(clock), console_(console), profile_(profile) {}

SerialLink::~SerialLink() {
    ClosePort();
}

bool SerialLink::OpenPort(int number, int baud) {
    ClosePort();
    PortOpenResult opened = ports_.open(number);
    if (!opened.port) {
        console_.err(opened.error + "\n");
        return false;
    }
    port_ = std::move(opened.port);
    openedPort_ = number;
    disconnectReported_ = false;
    readCount_ = 0;
    readPosition_ = 0;
    if (port_->configure(baud))
        return true;
    console_.err(formatText("COM%d refused the line settings (%d baud, 8N1)\n", number, baud));
    return false;
}

int SerialLink::ClosePort() {
    if (!port_)
        return -1;
    port_->drainForClose();
    port_.reset();
    return 1;
}

void SerialLink::PurgePort() {
    if (port_)
        port_->purge();
}

void SerialLink::DiscardInput() {
    std::array<std::uint8_t, 256> scrap{};
    readCount_ = 0;
    for (int round = 0; port_ && round < kDiscardRounds; ++round) {
        std::size_t waiting = port_->bytesWaiting();
        if (waiting > 0) {
            port_->read(scrap.data(), std::min(waiting, scrap.size()));
        } else if (!port_->waitForInput(kQuietLineMs)) {
            return;
        }
    }
}

bool SerialLink::WriteByte(std::uint8_t byte) {
    sendSum = static_cast<std::uint16_t>(sendSum + byte);
    return writeRaw(&byte, 1);
}

bool SerialLink::WriteBuffer(std::size_t count) {
    return writeRaw(transmit.data(), std::min(count, transmit.size()));
}

bool SerialLink::writeRaw(const std::uint8_t* bytes, std::size_t count) {
    if (!port_)
        return false;
    return port_->write(bytes, count, kWriteTimeoutMs) == count;
}

void SerialLink::waitForInput(int ms) {
    if (!port_) {
        clock_.sleepMs(ms);
        return;
    }
    port_->waitForInput(ms);
    noticeDisconnect();
}

void SerialLink::noticeDisconnect() {
    if (disconnectReported_ || !port_->disconnected())
        return;
    disconnectReported_ = true;
    console_.err("COM" + std::to_string(openedPort_) + " went away (device disconnected)\n");
}

bool SerialLink::ReadByteWait(std::uint8_t& byte) {
    if (!port_)
        return false;
    for (int poll = 0; poll < kReadWaitPolls; ++poll) {
        if (port_->bytesWaiting() > 0 && port_->read(&byte, 1) == 1)
            return true;
        // Returns as soon as a byte arrives, so a reply is taken without
        // waiting out the rest of the poll interval.
        waitForInput(kReadWaitPollMs);
    }
    return false;
}

bool SerialLink::GetResp(std::uint8_t& byte) {
    std::vector<std::uint8_t> buffer(kRespBufferSize);
    for (int poll = 0; port_ && poll < kRespPolls; ++poll) {
        std::size_t waiting = port_->bytesWaiting();
        if (waiting > 0) {
            std::size_t got = port_->read(buffer.data(), std::min(waiting, buffer.size()));
            auto first = std::find_if(buffer.begin(), buffer.begin() + static_cast<long>(got),
                                      [](std::uint8_t b) { return b != 0; });
            if (first != buffer.begin() + static_cast<long>(got)) {
                console_.print("Got something! %x\n", *first);
                byte = *first;
                return true;
            }
        }
        clock_.sleepMs(kRespPollMs);
        noticeDisconnect();
    }
    console_.print("timeout\n");
    return false;
}

bool SerialLink::ReadByteNow(std::uint8_t& byte) {
    if (readCount_ == 0) {
        if (!port_)
            return false;
        std::size_t waiting = port_->bytesWaiting();
        if (waiting == 0)
            return false;
        readCount_ = port_->read(readAhead_.data(), std::min(waiting, readAhead_.size()));
        readPosition_ = 0;
        if (readCount_ == 0)
            return false;
    }
    byte = readAhead_[readPosition_++];
    --readCount_;
    return true;
}

void SerialLink::PulseReset() {
    bool openedHere = false;
    if (!port_) {
        if (!OpenPort(portNumber, profile_.linkBaud)) {
            console_.print("Open Comm Port Error\n");
            return;
        }
        openedHere = true;
    }
    port_->setDtr(true);
    clock_.sleepMs(profile_.pulseMs);
    port_->setDtr(false);
    if (profile_.pulseSettleMs > 0)
        clock_.sleepMs(profile_.pulseSettleMs);
    if (openedHere)
        ClosePort();
}

void SerialLink::ResetWithNotice() {
    if (!port_)
        return;
    port_->setDtr(true);
    clock_.sleepMs(1000);
    port_->setDtr(false);
    clock_.sleepMs(1000);
    console_.print("Reset Sent\n");
}

void SerialLink::NamePortDevice(int number) {
    if (std::string device = ports_.describePort(number); !device.empty())
        console_.err(device + "\n");
}

bool SerialLink::FindUsbSerialPort() {
    auto names = ports_.listPortNames();
    if (!names)
        return false;
    for (const std::string& name : *names) {
        if (name.size() < 4 || name.size() > 6)
            continue;
        if (!startsWithIgnoringCase(name, "COM") || !ports_.isUsbSerialAdapter(name))
            continue;
        int number = std::atoi(name.c_str() + 3);
        if (number > portNumber)
            portNumber = number;
    }
    return true;
}

}  // namespace orvane
