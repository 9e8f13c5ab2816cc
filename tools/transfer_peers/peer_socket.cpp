#include "tools/transfer_peers/peer_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace orvane::peers {

namespace {

sockaddr_in Address(const char* text, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, text, &address.sin_addr);
    return address;
}

int MsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 100));
}

}  // namespace

int ListenOnLoopback(int backlog, int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Address("127.0.0.1", 0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

int ListenOn(const char* address, int port, int backlog) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = Address(address, port);
    if (fd >= 0 && (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
                    ::listen(fd, backlog) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int ConnectFrom(const char* sourceAddress, const char* address, int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source = Address(sourceAddress, 0);
    sockaddr_in target = Address(address, port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

bool WaitReadable(int fd, Clock::time_point deadline) {
    while (Clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, MsUntil(deadline)) > 0)
            return true;
    }
    return false;
}

int AcceptBefore(int listener, Clock::time_point deadline) {
    if (!WaitReadable(listener, deadline))
        return -1;
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

bool ReadUntil(int fd, const std::string& terminator, std::string& text,
               Clock::time_point deadline) {
    char buffer[1024];
    while (text.size() < 65536) {
        if (text.size() >= terminator.size() &&
            text.compare(text.size() - terminator.size(), terminator.size(), terminator) == 0)
            return true;
        if (!WaitReadable(fd, deadline))
            return false;
        ssize_t got = ::recv(fd, buffer, 1, 0);
        if (got <= 0)
            return false;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return false;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t done = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (done <= 0)
            return false;
        sent += static_cast<std::size_t>(done);
    }
    return true;
}

bool SendAllBefore(int fd, const std::string& bytes, Clock::time_point deadline,
                   const std::atomic<bool>& stop) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (stop || Clock::now() >= deadline)
            return false;
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, MsUntil(deadline)) <= 0)
            continue;
        ssize_t done =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (done <= 0)
            return false;
        sent += static_cast<std::size_t>(done);
    }
    return true;
}

void ResetOnClose(int fd) {
    linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

bool PeerClosedBefore(int fd, Clock::time_point deadline) {
    char buffer[4096];
    while (WaitReadable(fd, deadline)) {
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return true;
    }
    return false;
}

}  // namespace orvane::peers
