#include "tools/line_fault/line_fault.h"

namespace orvane::testkit {

void FaultyLine::deliver(SimPort& port, const std::vector<std::uint8_t>& bytes, int delayMs) {
    const std::size_t first = sent_;
    sent_ += bytes.size();
    if (fault_.kind == ByteFault::Kind::None || fault_.atByte < first || fault_.atByte >= sent_) {
        port.deliver(bytes, delayMs);
        return;
    }
    const auto hit = bytes.begin() + static_cast<std::ptrdiff_t>(fault_.atByte - first);
    if (hit != bytes.begin())
        port.deliver({bytes.begin(), hit}, delayMs);
    switch (fault_.kind) {
        case ByteFault::Kind::Drop:
            break;
        case ByteFault::Kind::Duplicate:
            port.deliver({*hit, *hit}, delayMs);
            break;
        default:
            port.deliver({*hit}, delayMs + fault_.delayMs);
            break;
    }
    // Bytes never overtake one another, so the rest follows a held-up byte.
    if (hit + 1 != bytes.end())
        port.deliver({hit + 1, bytes.end()}, delayMs);
}

}  // namespace orvane::testkit
