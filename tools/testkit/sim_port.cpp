#include "tools/testkit/sim_port.h"

#include <algorithm>

namespace orvane::testkit {

bool SimPort::configure(int baud) {
    if (!acceptsRate(baud))
        return false;
    baud_ = baud;
    log_.bauds.push_back(baud);
    board_.onConfigure(*this, baud);
    return true;
}

void SimPort::setDtr(bool asserted) {
    if (dtr_ == asserted)
        return;
    dtr_ = asserted;
    log_.dtrChanges.emplace_back(clock_.nowMs(), asserted);
    board_.onDtr(*this, asserted);
}

std::size_t SimPort::bytesWaiting() {
    if (log_.unplugged)
        incoming_.clear();
    std::int64_t now = clock_.nowMs();
    return static_cast<std::size_t>(std::count_if(incoming_.begin(), incoming_.end(),
                                                  [now](const Timed& t) { return t.at <= now; }));
}

std::size_t SimPort::read(std::uint8_t* dest, std::size_t max) {
    std::size_t got = 0;
    if (log_.unplugged)
        incoming_.clear();
    std::int64_t now = clock_.nowMs();
    while (got < max && !incoming_.empty() && incoming_.front().at <= now) {
        dest[got++] = incoming_.front().byte;
        incoming_.pop_front();
    }
    return got;
}

std::size_t SimPort::write(const std::uint8_t* src, std::size_t count, int /*timeoutMs*/) {
    if (log_.unplugged)
        return 0;
    std::vector<std::uint8_t> bytes(src, src + count);
    log_.written.insert(log_.written.end(), bytes.begin(), bytes.end());
    log_.writes.push_back({clock_.nowMs(), baud_, bytes});
    board_.onBytes(*this, bytes);
    return count;
}

void SimPort::purge() {
    ++log_.purges;
    std::int64_t now = clock_.nowMs();
    std::erase_if(incoming_, [now](const Timed& t) { return t.at <= now; });
}

void SimPort::drainForClose() {
    // Writes reach the board at once: only the receive side is emptied.
    ++log_.closes;
    std::int64_t now = clock_.nowMs();
    std::erase_if(incoming_, [now](const Timed& t) { return t.at <= now; });
}

bool SimPort::waitForInput(int timeoutMs) {
    if (bytesWaiting() > 0)
        return true;
    std::int64_t deadline = clock_.nowMs() + timeoutMs;
    if (!incoming_.empty() && incoming_.front().at <= deadline) {
        clock_.advanceTo(incoming_.front().at);
        return true;
    }
    clock_.advanceTo(deadline);
    return false;
}

void SimPort::deliver(const std::vector<std::uint8_t>& bytes, int delayMs) {
    if (log_.unplugged)
        return;
    std::int64_t at = clock_.nowMs() + delayMs;
    // Bytes never overtake ones already on the line.
    if (!incoming_.empty())
        at = std::max(at, incoming_.back().at);
    for (std::uint8_t b : bytes)
        incoming_.push_back({at, b});
}

void SimPortDirectory::setUsbAdapters(std::vector<std::string> names,
                                      std::vector<std::string> usb) {
    names_ = std::move(names);
    usb_ = std::move(usb);
}

bool SimPortDirectory::isUsbSerialAdapter(const std::string& name) {
    return std::find(usb_.begin(), usb_.end(), name) != usb_.end();
}

bool SimPortDirectory::assignDevicePath(int portNumber, const std::string& path) {
    auto device = devices_.find(path);
    if (device == devices_.end())
        boards_.erase(portNumber);
    else
        boards_[portNumber] = device->second;
    return true;
}

PortOpenResult SimPortDirectory::open(int portNumber) {
    ++openAttempts_;
    auto board = boards_.find(portNumber);
    if (board == boards_.end())
        return {nullptr, "cannot open COM" + std::to_string(portNumber) + ": no such device"};
    if (logs_[portNumber].unplugged)
        return {nullptr, "cannot open COM" + std::to_string(portNumber) + ": device gone"};
    auto port = std::make_unique<SimPort>(clock_, *board->second, logs_[portNumber]);
    ++opens_;
    openedNumbers_.push_back(portNumber);
    return {std::move(port), {}};
}

}  // namespace orvane::testkit
