#include "transfer/wake_channel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace orvane {

WakeChannel::WakeChannel() : event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeChannel::Notify() {
    std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing more to say.
    [[maybe_unused]] ssize_t written = ::write(event_.get(), &one, sizeof one);
}

void WakeChannel::RequestStop() {
    stop_.store(true, std::memory_order_release);
    Notify();
}

void WakeChannel::Reset() {
    stop_.store(false, std::memory_order_release);
    Drain();
}

void WakeChannel::Drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t got = ::read(event_.get(), &count, sizeof count);
}

WakeChannel::WaitResult WakeChannel::Wait(int timeoutMs, int fd, short events) {
    if (StopRequested())
        return WaitResult::Stopped;
    pollfd fds[2] = {{event_.get(), POLLIN, 0}, {fd, events, 0}};
    int ready = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    if (StopRequested())
        return WaitResult::Stopped;
    if (ready < 0)
        return errno == EINTR ? WaitResult::Woken : WaitResult::Ready;
    if (ready == 0)
        return WaitResult::TimedOut;
    if (fds[0].revents != 0)
        Drain();
    if (fd >= 0 && fds[1].revents != 0)
        return WaitResult::Ready;
    return WaitResult::Woken;
}

}  // namespace orvane
