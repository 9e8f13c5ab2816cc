#pragma once

#include "tools/dspic_sim/dspic_bootloader.h"
#include "tools/line_fault/line_fault.h"
#include "tools/testkit/sim_port.h"

namespace orvane::dspicsim {

// The simulated bootloader behind an in-process port on the virtual clock.
// DTR held high keeps the board in reset; its falling edge starts the loader.
class DspicSimBoard final : public testkit::SimBoard {
  public:
    static constexpr int kLinkBaud = 57600;

    explicit DspicSimBoard(BoardOptions options = {}, int replyDelayMs = 1)
        : bootloader_(std::move(options)), replyDelayMs_(replyDelayMs) {}

    void onConfigure(testkit::SimPort&, int baud) override { baud_ = baud; }
    void onDtr(testkit::SimPort&, bool asserted) override;
    void onBytes(testkit::SimPort& port, const std::vector<std::uint8_t>& bytes) override;

    DspicBootloader& bootloader() { return bootloader_; }
    // One reply byte goes wrong on the line (lost, doubled or held up).
    void setLineFault(testkit::ByteFault fault) { line_ = testkit::FaultyLine(fault); }

  private:
    DspicBootloader bootloader_;
    int replyDelayMs_;
    testkit::FaultyLine line_;
    int baud_ = 0;
    bool heldInReset_ = false;
};

}  // namespace orvane::dspicsim
