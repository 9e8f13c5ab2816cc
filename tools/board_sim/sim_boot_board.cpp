#include "tools/board_sim/sim_boot_board.h"

namespace orvane::boardsim {

namespace {

constexpr int kStreamStepMs = 10;

// Milliseconds that count bytes take at baud, 10 bits each, rounded up.
int wireMs(std::size_t count, int baud) {
    if (baud <= 0)
        return 0;
    const long long bits = static_cast<long long>(count) * 10 * 1000;
    return static_cast<int>((bits + baud - 1) / baud);
}

}  // namespace

void SimBootBoard::onConfigure(testkit::SimPort&, int baud) {
    baud_ = baud;
    speeds_.push_back(baud);
}

void SimBootBoard::onBytes(testkit::SimPort& port, const std::vector<std::uint8_t>& bytes) {
    for (const Reply& reply : core_.receive(bytes, baud_))
        deliver(port, reply, reply.afterByte + 1);
}

void SimBootBoard::deliver(testkit::SimPort& port, const Reply& reply, std::size_t requestBytes) {
    if (reply.vanish) {
        port.unplug();
        return;
    }
    const int ready = wireMs(requestBytes, baud_) + reply.busyMs;
    if (!reply.bytes.empty())
        line_.deliver(port, reply.bytes, ready + wireMs(reply.bytes.size(), baud_));
    if (reply.endlessPattern.empty())
        return;
    // A stream that does not stop: the same bytes every few milliseconds
    // for longer than any answer may take.
    for (int at = ready; at < ready + kEndlessStreamMs; at += kStreamStepMs)
        port.deliver(reply.endlessPattern, at);
}

}  // namespace orvane::boardsim
