#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <vector>

#include "tools/dspic_sim/dspic_bootloader.h"
#include "tools/testkit/pty.h"

namespace orvane::dspicsim {

// The simulated bootloader on the master side of a pseudo-terminal. A pty
// has no DTR and no speed of its own: the board answers probes at any time,
// and when paced it lets each byte take as long as it would on the wire.
class PtyBoardServer {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Wire {
        bool paced = false;  // emulate the line speed, both directions
        int baud = 57600;    // 10 bits per byte: start, 8 data, stop
    };

    PtyBoardServer(DspicBootloader& bootloader, testkit::PseudoTerminal& pty, Wire wire);

    // Serves until stop becomes non-zero, the deadline passes or the board
    // vanishes (then the master side is closed: the device is gone).
    void serve(TimePoint deadline, const volatile std::sig_atomic_t& stop);
    // Replies that could not be written because nobody read the line.
    std::uint64_t droppedBytes() const { return dropped_; }

  private:
    struct Pending {
        TimePoint due;
        std::vector<std::uint8_t> bytes;
    };
    void takeInput(TimePoint now);
    void schedule(const DspicBootloader::Reply& reply, TimePoint arrival);
    void sendDue(TimePoint now);
    TimePoint nextWake(TimePoint deadline) const;

    DspicBootloader& bootloader_;
    testkit::PseudoTerminal& pty_;
    Wire wire_;
    std::chrono::nanoseconds byteTime_;
    TimePoint started_;
    TimePoint lastArrival_;  // when the last host byte would have fully arrived
    TimePoint lineFree_;     // when the board's transmitter is free again
    std::deque<Pending> pending_;
    std::uint64_t dropped_ = 0;
};

}  // namespace orvane::dspicsim
