// The loaders' clock on Windows: sleeps at 1 ms resolution, the performance
// counter for intervals, the C library's calendar clock.
#include <windows.h>

#include <ctime>

#include "platform/clock.h"
#include "platform/win32/fine_timer.h"

namespace orvane {

void RealClock::sleepMs(int ms) {
    if (ms <= 0)
        return;
    UseFineTimerResolution();
    Sleep(static_cast<DWORD>(ms));
}

std::int64_t RealClock::nowMs() {
    LARGE_INTEGER frequency{}, counter{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    // Split so that counter * 1000 cannot overflow after long uptimes.
    std::int64_t perSecond = frequency.QuadPart;
    return counter.QuadPart / perSecond * 1000 + counter.QuadPart % perSecond * 1000 / perSecond;
}

std::int64_t RealClock::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace orvane
