#include "platform/win32/fine_timer.h"

#include <windows.h>
// windows.h first: the multimedia timer header builds on its types.
#include <timeapi.h>

namespace orvane {

namespace {

constexpr UINT kResolutionMs = 1;

// Holds the finer resolution from its construction to the end of the process.
class FineTimerResolution {
  public:
    FineTimerResolution() : granted_(timeBeginPeriod(kResolutionMs) == TIMERR_NOERROR) {}
    ~FineTimerResolution() {
        if (granted_)
            timeEndPeriod(kResolutionMs);
    }
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

  private:
    bool granted_;
};

}  // namespace

void UseFineTimerResolution() {
    static const FineTimerResolution resolution;
}

}  // namespace orvane
