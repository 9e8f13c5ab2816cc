#include "transfer/byte_stream.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include "transfer/wake_channel.h"

namespace orvane {

long SocketStream::ReceiveNow(char* buffer, std::size_t size) {
    ssize_t got = ::recv(socket_.get(), buffer, size, MSG_DONTWAIT);
    if (got >= 0)
        return got;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}

long SocketStream::Receive(char* buffer, std::size_t size) {
    for (;;) {
        // A peer that sends faster than the file takes its bytes never lets
        // the socket run dry: the stop request is looked at before every
        // receive, not only when one would wait.
        if (wake_ != nullptr && wake_->StopRequested())
            return kStopped;
        long got = ReceiveNow(buffer, size);
        if (got != kWouldBlock)
            return got;
        auto waited = WaitForSocketWithin(socket_.get(), POLLIN, wake_, silenceMs_);
        if (waited != SocketWait::Ready)
            return waited == SocketWait::Stopped ? kStopped : kSilent;
    }
}

long SocketStream::Send(std::string_view bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t done = ::send(socket_.get(), bytes.data() + sent, bytes.size() - sent,
                              MSG_NOSIGNAL | MSG_DONTWAIT);
        if (done > 0) {
            sent += static_cast<std::size_t>(done);
            continue;
        }
        if (done < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return kFailed;
        if (!WaitForSocket(socket_.get(), POLLOUT, wake_))
            return kStopped;
    }
    return static_cast<long>(sent);
}

bool WaitForSocket(int socket, short events, WakeChannel* wake) {
    if (wake == nullptr) {
        pollfd pfd{socket, events, 0};
        return ::poll(&pfd, 1, 1000) > 0;
    }
    for (;;) {
        auto result = wake->Wait(-1, socket, events);
        if (result == WakeChannel::WaitResult::Stopped)
            return false;
        if (result == WakeChannel::WaitResult::Ready)
            return true;
    }
}

SocketWait WaitForSocketWithin(int socket, short events, WakeChannel* wake, int silenceMs) {
    if (silenceMs < 0 || wake == nullptr)
        return WaitForSocket(socket, events, wake) ? SocketWait::Ready : SocketWait::Stopped;
    using Clock = std::chrono::steady_clock;
    auto end = Clock::now() + std::chrono::milliseconds(silenceMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            return SocketWait::Silent;
        auto result = wake->Wait(static_cast<int>(left.count()), socket, events);
        if (result == WakeChannel::WaitResult::Stopped)
            return SocketWait::Stopped;
        if (result == WakeChannel::WaitResult::Ready)
            return SocketWait::Ready;
    }
}

}  // namespace orvane
