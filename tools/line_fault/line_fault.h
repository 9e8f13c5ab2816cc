#pragma once

#include <cstdint>
#include <vector>

#include "tools/testkit/sim_port.h"

namespace orvane::testkit {

// One byte of what a board sends goes wrong on its way to the host: it is
// lost, arrives twice, or is held up (and every byte after it with it, as
// on a real line). Bytes are counted from the board's first reply on.
struct ByteFault {
    enum class Kind { None, Drop, Duplicate, Delay };
    Kind kind = Kind::None;
    std::size_t atByte = 0;  // index of the byte, counting every byte sent
    int delayMs = 0;         // for Delay
};

// The board's side of the line: replies go through it to the port.
class FaultyLine {
  public:
    explicit FaultyLine(ByteFault fault = {}) : fault_(fault) {}

    // Queues bytes for the host, readable delayMs from now, with the fault
    // applied when its byte is among them.
    void deliver(SimPort& port, const std::vector<std::uint8_t>& bytes, int delayMs);
    std::size_t bytesSent() const { return sent_; }

  private:
    ByteFault fault_;
    std::size_t sent_ = 0;
};

}  // namespace orvane::testkit
