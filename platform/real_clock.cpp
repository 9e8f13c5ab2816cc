#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace orvane {

void RealClock::sleepMs(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t RealClock::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t RealClock::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace orvane
