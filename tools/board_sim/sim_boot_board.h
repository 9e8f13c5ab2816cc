#pragma once

#include "tools/board_sim/board_core.h"
#include "tools/line_fault/line_fault.h"
#include "tools/testkit/sim_port.h"

namespace orvane::boardsim {

// The framed board behind an in-process simulated port. Answers arrive on
// the virtual clock after the wire time of the request and the answer
// (10 bits per byte at the line's speed) plus the board's flash work.
class SimBootBoard final : public testkit::SimBoard {
  public:
    // How long an endless stream keeps coming on the virtual clock.
    static constexpr int kEndlessStreamMs = 6000;

    explicit SimBootBoard(BoardCore::Options options = {}) : core_(std::move(options)) {}

    void onConfigure(testkit::SimPort& port, int baud) override;
    void onBytes(testkit::SimPort& port, const std::vector<std::uint8_t>& bytes) override;

    BoardCore& core() { return core_; }
    // One answer byte goes wrong on the line (lost, doubled or held up).
    void setLineFault(testkit::ByteFault fault) { line_ = testkit::FaultyLine(fault); }
    const BoardStats& stats() const { return core_.stats(); }
    // Every line speed the host set, in order.
    const std::vector<int>& speedsSeen() const { return speeds_; }

  private:
    void deliver(testkit::SimPort& port, const Reply& reply, std::size_t requestBytes);

    BoardCore core_;
    testkit::FaultyLine line_;
    std::vector<int> speeds_;
    int baud_ = 0;
};

}  // namespace orvane::boardsim
