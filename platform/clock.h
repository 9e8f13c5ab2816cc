#pragma once

#include <cstdint>

namespace orvane {

// Every sleep and clock read of the loaders goes through this interface, so
// the protocol tests can run minutes of waiting on a virtual clock in
// milliseconds of real time.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual void sleepMs(int ms) = 0;
    // Monotonic milliseconds, for measuring intervals.
    virtual std::int64_t nowMs() = 0;
    // The calendar clock in whole seconds, as time() reports it.
    virtual std::int64_t calendarSeconds() = 0;
};

class RealClock final : public Clock {
  public:
    void sleepMs(int ms) override;
    std::int64_t nowMs() override;
    std::int64_t calendarSeconds() override;
};

}  // namespace orvane
