#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/unique_fd.h"
#include "transfer/net_address.h"
#include "transfer/wake_channel.h"

namespace orvane {

// Runs a call that cannot be interrupted (the system's name resolver,
// reading the trust store) on a helper thread of its own, while the worker
// waits on its wake channel: a stop request abandons the wait at once, and
// the helper finishes by itself and its result is dropped. Stopped or Done
// (with the result).
template <typename Result>
WaitOutcome RunAbandonable(std::function<Result()> call, WakeChannel& wake, Result& result) {
    // What the helper and the waiting worker share; whichever of the two
    // ends last releases it.
    struct Pending {
        std::mutex lock;
        std::optional<Result> answer;
        UniqueFd ready{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    };
    auto pending = std::make_shared<Pending>();
    std::thread([pending, call = std::move(call)] {
        Result answer = call();
        std::lock_guard guard(pending->lock);
        pending->answer = std::move(answer);
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(pending->ready.get(), &one, sizeof one);
    }).detach();
    for (;;) {
        {
            std::lock_guard guard(pending->lock);
            if (pending->answer) {
                result = std::move(*pending->answer);
                return WaitOutcome::Done;
            }
        }
        if (wake.Wait(-1, pending->ready.get(), POLLIN) == WakeChannel::WaitResult::Stopped)
            return WaitOutcome::Stopped;
    }
}

}  // namespace orvane
