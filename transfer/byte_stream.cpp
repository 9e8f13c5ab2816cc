#include "transfer/byte_stream.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

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
        if (!WaitForSocket(socket_.get(), POLLIN, wake_))
            return kStopped;
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

}  // namespace orvane
