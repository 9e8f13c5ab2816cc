#include "transfer/net_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/unique_fd.h"

namespace orvane {

std::optional<HostPort> SplitHostPort(std::string_view host, int defaultPort) {
    HostPort result{std::string(host), defaultPort};
    auto colon = host.rfind(':');
    if (colon != std::string_view::npos) {
        std::string_view digits = host.substr(colon + 1);
        int port = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            port < 1 || port > 65535)
            return std::nullopt;
        result = {std::string(host.substr(0, colon)), port};
    }
    if (result.name.empty())
        return std::nullopt;
    return result;
}

std::optional<in_addr> SystemNameLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &answer) != 0 || answer == nullptr)
        return std::nullopt;
    in_addr address = reinterpret_cast<sockaddr_in*>(answer->ai_addr)->sin_addr;
    ::freeaddrinfo(answer);
    return address;
}

namespace {

// What the lookup helper and the waiting worker share; whichever of the two
// ends last releases it.
struct PendingLookup {
    std::mutex lock;
    bool finished = false;
    std::optional<in_addr> answer;
    UniqueFd ready{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
};

}  // namespace

WaitOutcome LookUpHost(const std::string& name, const NameLookup& lookup, WakeChannel& wake,
                       in_addr& address) {
    if (::inet_aton(name.c_str(), &address) != 0)
        return WaitOutcome::Done;
    auto pending = std::make_shared<PendingLookup>();
    std::thread([pending, name, lookup] {
        auto answer = lookup(name);
        std::lock_guard guard(pending->lock);
        pending->answer = answer;
        pending->finished = true;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(pending->ready.get(), &one, sizeof one);
    }).detach();
    for (;;) {
        {
            std::lock_guard guard(pending->lock);
            if (pending->finished) {
                if (!pending->answer)
                    return WaitOutcome::Failed;
                address = *pending->answer;
                return WaitOutcome::Done;
            }
        }
        if (wake.Wait(-1, pending->ready.get(), POLLIN) == WakeChannel::WaitResult::Stopped)
            return WaitOutcome::Stopped;
    }
}

WaitOutcome ConnectSocket(int socket, const sockaddr_in& peer, WakeChannel& wake) {
    if (!SetNonBlocking(socket))
        return WaitOutcome::Failed;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return WaitOutcome::Done;
    if (errno != EINPROGRESS)
        return WaitOutcome::Failed;
    for (;;) {
        auto result = wake.Wait(-1, socket, POLLOUT);
        if (result == WakeChannel::WaitResult::Stopped)
            return WaitOutcome::Stopped;
        if (result != WakeChannel::WaitResult::Ready)
            continue;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return WaitOutcome::Failed;
        return WaitOutcome::Done;
    }
}

sockaddr_in Ipv4Address(in_addr address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr = address;
    result.sin_port = htons(static_cast<std::uint16_t>(port));
    return result;
}

bool SetNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace orvane
