#pragma once

#include "platform/clock.h"

namespace orvane::testkit {

// A clock that only moves when someone sleeps or waits on it, so protocol
// runs with seconds of waiting finish at once and repeat exactly.
class VirtualClock final : public Clock {
  public:
    // Starts half-way into a calendar second, like a real run usually does.
    explicit VirtualClock(std::int64_t startMs = 1'000'000'500) : now_(startMs) {}
    void sleepMs(int ms) override {
        if (ms > 0)
            now_ += ms;
        slept_ += ms > 0 ? ms : 0;
    }
    std::int64_t nowMs() override { return now_; }
    std::int64_t calendarSeconds() override { return now_ / 1000; }
    void advanceTo(std::int64_t ms) {
        if (ms > now_)
            now_ = ms;
    }
    // Total time spent in sleepMs, for asserting on the waits a run made.
    std::int64_t sleptMs() const { return slept_; }

  private:
    std::int64_t now_;
    std::int64_t slept_ = 0;
};

}  // namespace orvane::testkit
