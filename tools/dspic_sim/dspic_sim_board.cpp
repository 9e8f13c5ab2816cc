#include "tools/dspic_sim/dspic_sim_board.h"

namespace orvane::dspicsim {

void DspicSimBoard::onDtr(testkit::SimPort&, bool asserted) {
    heldInReset_ = asserted;
    if (!asserted)
        bootloader_.reset();
}

void DspicSimBoard::onBytes(testkit::SimPort& port, const std::vector<std::uint8_t>& bytes) {
    if (heldInReset_)
        return;
    if (baud_ != kLinkBaud) {
        bootloader_.recordFault("bytes sent at " + std::to_string(baud_) + " baud");
        return;
    }
    for (std::uint8_t byte : bytes) {
        auto reply = bootloader_.receive(byte, port.clock().nowMs());
        if (reply)
            line_.deliver(port, reply->bytes, replyDelayMs_ + reply->busyMs);
        if (bootloader_.vanished()) {
            port.unplug();
            return;
        }
    }
}

}  // namespace orvane::dspicsim
