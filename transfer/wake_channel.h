#pragma once

#include <atomic>

#include "platform/unique_fd.h"

namespace orvane {

// Wakes a worker thread out of any wait it makes: the user interface
// notifies it when a flag the worker waits for changes, and a stop request
// (Cancel) wakes it for good. Every blocking wait of a worker polls this
// channel's descriptor beside the socket it waits on.
class WakeChannel {
  public:
    enum class WaitResult { Ready, Woken, TimedOut, Stopped };

    WakeChannel();
    WakeChannel(const WakeChannel&) = delete;
    WakeChannel& operator=(const WakeChannel&) = delete;

    void Notify();
    // Asks the worker to stop; every later wait returns Stopped at once.
    void RequestStop();
    bool StopRequested() const { return stop_.load(std::memory_order_acquire); }
    // Clears the stop request and any pending notification for a new worker.
    void Reset();

    // Waits up to timeoutMs (-1: without limit) for the events on fd (-1:
    // none), a notification or a stop request.
    WaitResult Wait(int timeoutMs, int fd = -1, short events = 0);

  private:
    void Drain();

    UniqueFd event_;
    std::atomic<bool> stop_{false};
};

}  // namespace orvane
