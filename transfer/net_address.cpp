#include "transfer/net_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace orvane {

namespace {

std::optional<int> ParsePort(std::string_view digits) {
    int port = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// "[v6]" or "[v6]:port".
std::optional<HostPort> SplitBracketed(std::string_view host, int defaultPort) {
    std::size_t close = host.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    HostPort result{std::string(host.substr(1, close - 1)), defaultPort};
    in6_addr address{};
    if (::inet_pton(AF_INET6, result.name.c_str(), &address) != 1)
        return std::nullopt;
    std::string_view rest = host.substr(close + 1);
    if (rest.empty())
        return result;
    auto port = rest[0] == ':' ? ParsePort(rest.substr(1)) : std::nullopt;
    if (!port)
        return std::nullopt;
    result.port = *port;
    return result;
}

}  // namespace

std::optional<HostPort> SplitHostPort(std::string_view host, int defaultPort) {
    if (host.starts_with("["))
        return SplitBracketed(host, defaultPort);
    HostPort result{std::string(host), defaultPort};
    auto colon = host.rfind(':');
    if (colon != std::string_view::npos) {
        auto port = ParsePort(host.substr(colon + 1));
        if (!port)
            return std::nullopt;
        result = {std::string(host.substr(0, colon)), *port};
    }
    if (result.name.empty())
        return std::nullopt;
    return result;
}

std::string NetAddress::text() const {
    char buffer[INET6_ADDRSTRLEN] = "";
    const void* address =
        family() == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr)
            : &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr;
    ::inet_ntop(family(), address, buffer, sizeof buffer);
    return buffer;
}

NetAddress NetAddress::WithPort(int port) const {
    NetAddress result = *this;
    auto networkPort = htons(static_cast<std::uint16_t>(port));
    if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&result.storage)->sin6_port = networkPort;
    else
        reinterpret_cast<sockaddr_in*>(&result.storage)->sin_port = networkPort;
    return result;
}

bool NetAddress::SameHost(const NetAddress& other) const {
    return family() == other.family() && text() == other.text();
}

NetAddress AddressFrom(const sockaddr_storage& storage, socklen_t length) {
    NetAddress address;
    address.storage = storage;
    address.length = length;
    return address;
}

std::optional<NetAddress> ParseAddressLiteral(const std::string& text) {
    NetAddress result;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        result.length = sizeof(sockaddr_in);
        return result;
    }
    if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        result.length = sizeof(sockaddr_in6);
        return result;
    }
    return std::nullopt;
}

std::vector<NetAddress> SystemNameLookup(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    std::vector<NetAddress> addresses;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &answer) != 0)
        return addresses;
    for (addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
            continue;
        NetAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        addresses.push_back(address);
    }
    ::freeaddrinfo(answer);
    return addresses;
}

namespace {

// What the helper and the waiting worker share; whichever of the two ends
// last releases it.
struct PendingWork {
    std::mutex lock;
    bool finished = false;
    UniqueFd ready{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
};

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

WaitOutcome RunAbandonable(std::function<void()> work, WakeChannel& wake) {
    auto pending = std::make_shared<PendingWork>();
    std::thread([pending, work = std::move(work)] {
        work();
        std::lock_guard guard(pending->lock);
        pending->finished = true;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(pending->ready.get(), &one, sizeof one);
    }).detach();
    for (;;) {
        {
            std::lock_guard guard(pending->lock);
            if (pending->finished)
                return WaitOutcome::Done;
        }
        if (wake.Wait(-1, pending->ready.get(), POLLIN) == WakeChannel::WaitResult::Stopped)
            return WaitOutcome::Stopped;
    }
}

WaitOutcome LookUpHost(const std::string& name, const NameLookup& lookup, WakeChannel& wake,
                       std::vector<NetAddress>& addresses) {
    if (auto literal = ParseAddressLiteral(name)) {
        addresses = {*literal};
        return WaitOutcome::Done;
    }
    auto answer = std::make_shared<std::vector<NetAddress>>();
    if (RunAbandonable([answer, name, lookup] { *answer = lookup(name); }, wake) ==
        WaitOutcome::Stopped)
        return WaitOutcome::Stopped;
    addresses = *answer;
    return addresses.empty() ? WaitOutcome::Failed : WaitOutcome::Done;
}

WaitOutcome ConnectSocket(int socket, const NetAddress& peer, WakeChannel& wake, int timeoutMs) {
    if (!SetNonBlocking(socket))
        return WaitOutcome::Failed;
    if (::connect(socket, peer.get(), peer.length) == 0)
        return WaitOutcome::Done;
    if (errno != EINPROGRESS)
        return WaitOutcome::Failed;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int waitMs = timeoutMs < 0 ? -1 : RemainingMs(deadline);
        auto result = wake.Wait(waitMs, socket, POLLOUT);
        if (result == WakeChannel::WaitResult::Stopped)
            return WaitOutcome::Stopped;
        if (result != WakeChannel::WaitResult::Ready) {
            if (timeoutMs >= 0 && RemainingMs(deadline) == 0)
                return WaitOutcome::Failed;
            continue;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return WaitOutcome::Failed;
        return WaitOutcome::Done;
    }
}

WaitOutcome ConnectToFirstAnswering(const std::vector<NetAddress>& addresses, int port,
                                    WakeChannel& wake, int timeoutMs, UniqueFd& connected) {
    for (const NetAddress& address : addresses) {
        UniqueFd socket(::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!socket.valid())
            continue;
        auto outcome = ConnectSocket(socket.get(), address.WithPort(port), wake, timeoutMs);
        if (outcome == WaitOutcome::Stopped)
            return outcome;
        if (outcome == WaitOutcome::Done) {
            connected = std::move(socket);
            return outcome;
        }
    }
    return WaitOutcome::Failed;
}

bool SetNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace orvane
