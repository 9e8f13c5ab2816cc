#include "tools/testkit/wait_until.h"

#include <chrono>
#include <thread>

namespace orvane::testkit {

namespace {
constexpr auto kPollStep = std::chrono::milliseconds(2);
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

}  // namespace orvane::testkit
