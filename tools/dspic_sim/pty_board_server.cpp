#include "tools/dspic_sim/pty_board_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace orvane::dspicsim {

namespace {
using std::chrono::steady_clock;
constexpr auto kLongestPoll = std::chrono::milliseconds(100);
constexpr auto kHangupPause = std::chrono::milliseconds(10);
constexpr int kBitsPerByte = 10;
}  // namespace

PtyBoardServer::PtyBoardServer(DspicBootloader& bootloader, testkit::PseudoTerminal& pty, Wire wire)
    : bootloader_(bootloader),
      pty_(pty),
      wire_(wire),
      byteTime_(std::chrono::nanoseconds(1'000'000'000LL * kBitsPerByte / wire.baud)),
      started_(steady_clock::now()),
      lastArrival_(started_),
      lineFree_(started_) {
    // Replies nobody reads must not block the board.
    fcntl(pty_.master(), F_SETFL, fcntl(pty_.master(), F_GETFL) | O_NONBLOCK);
}

PtyBoardServer::TimePoint PtyBoardServer::nextWake(TimePoint deadline) const {
    TimePoint wake = std::min(deadline, steady_clock::now() + kLongestPoll);
    return pending_.empty() ? wake : std::min(wake, pending_.front().due);
}

void PtyBoardServer::serve(TimePoint deadline, const volatile std::sig_atomic_t& stop) {
    while (!stop && steady_clock::now() < deadline) {
        sendDue(steady_clock::now());
        auto wait = std::max(nextWake(deadline) - steady_clock::now(), steady_clock::duration{});
        auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        timespec timeout{static_cast<time_t>(nanos / 1'000'000'000), nanos % 1'000'000'000};
        pollfd pfd{pty_.master(), POLLIN, 0};
        int ready = ppoll(&pfd, 1, &timeout, nullptr);
        if (ready > 0 && (pfd.revents & POLLIN)) {
            takeInput(steady_clock::now());
        } else if (ready > 0) {
            std::this_thread::sleep_for(kHangupPause);  // nobody on the line yet
        }
        if (bootloader_.vanished()) {
            pty_.closeMaster();
            return;
        }
    }
}

void PtyBoardServer::takeInput(TimePoint now) {
    std::uint8_t buffer[4096];
    ssize_t got = ::read(pty_.master(), buffer, sizeof buffer);
    for (ssize_t i = 0; i < got; ++i) {
        // A byte is complete only when its last bit would have arrived.
        TimePoint arrival = wire_.paced ? std::max(now, lastArrival_) + byteTime_ : now;
        lastArrival_ = arrival;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(arrival - started_);
        auto reply = bootloader_.receive(buffer[i], ms.count());
        if (reply)
            schedule(*reply, arrival);
        if (bootloader_.vanished())
            return;
    }
}

void PtyBoardServer::schedule(const DspicBootloader::Reply& reply, TimePoint arrival) {
    TimePoint start = arrival + std::chrono::milliseconds(reply.busyMs);
    TimePoint due = start;
    if (wire_.paced) {
        // The whole reply is handed over when its last byte would be through:
        // the host needs every byte before it sends again.
        start = std::max(start, lineFree_);
        due = start + byteTime_ * static_cast<long>(reply.bytes.size());
        lineFree_ = due;
    }
    pending_.push_back({due, reply.bytes});
}

void PtyBoardServer::sendDue(TimePoint now) {
    while (!pending_.empty() && pending_.front().due <= now) {
        const auto& bytes = pending_.front().bytes;
        ssize_t sent = ::write(pty_.master(), bytes.data(), bytes.size());
        std::size_t written = sent > 0 ? static_cast<std::size_t>(sent) : 0;
        dropped_ += bytes.size() - written;
        pending_.pop_front();
    }
}

}  // namespace orvane::dspicsim
