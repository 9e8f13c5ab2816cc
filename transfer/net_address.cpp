#include "transfer/net_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <memory>

#include "platform/unique_fd.h"
#include "transfer/abandonable_call.h"

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

WaitOutcome LookUpHost(const std::string& name, const NameLookup& lookup, WakeChannel& wake,
                       in_addr& address) {
    if (::inet_aton(name.c_str(), &address) != 0)
        return WaitOutcome::Done;
    std::optional<in_addr> answer;
    std::function<std::optional<in_addr>()> call = [name, lookup] { return lookup(name); };
    if (RunAbandonable(std::move(call), wake, answer) == WaitOutcome::Stopped)
        return WaitOutcome::Stopped;
    if (!answer)
        return WaitOutcome::Failed;
    address = *answer;
    return WaitOutcome::Done;
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
