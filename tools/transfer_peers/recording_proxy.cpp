#include "tools/transfer_peers/recording_proxy.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace orvane::peers {

namespace {

constexpr char kRefusal[] =
    "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
    "Content-Length: 0\r\n\r\n";
constexpr char kBadGateway[] = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";

// The port of "CONNECT host:port HTTP/1.1" when the host is a loopback
// name; 0 otherwise.
int TunnelPort(const std::string& request) {
    if (!request.starts_with("CONNECT "))
        return 0;
    std::string authority = request.substr(8, request.find(' ', 8) - 8);
    std::size_t colon = authority.rfind(':');
    std::string host = authority.substr(0, colon);
    if (colon == std::string::npos ||
        (host != "127.0.0.1" && host != "localhost" && host != "[::1]"))
        return 0;
    return std::atoi(authority.c_str() + colon + 1);
}

// The port of "GET http://127.0.0.1:port/... HTTP/1.1"; 0 otherwise.
int ForwardPort(const std::string& request) {
    std::size_t target = request.find(' ') + 1;
    constexpr std::string_view kLoopbackOrigin = "http://127.0.0.1:";
    if (target == 0 || request.compare(target, kLoopbackOrigin.size(), kLoopbackOrigin) != 0)
        return 0;
    return std::atoi(request.c_str() + target + kLoopbackOrigin.size());
}

bool Authorized(const std::string& request, const std::string& required) {
    return required.empty() ||
           request.find("\r\nProxy-Authorization: " + required + "\r\n") != std::string::npos;
}

}  // namespace

RecordingProxy::RecordingProxy(std::string answer, std::string requiredAuthorization,
                               int maxSeconds, int maxConnections)
    : answer_(std::move(answer)), requiredAuthorization_(std::move(requiredAuthorization)) {
    listener_ = ListenOnLoopback(8, port_);
    if (listener_ >= 0)
        thread_ =
            std::thread([this, maxSeconds, maxConnections] { Serve(maxSeconds, maxConnections); });
}

RecordingProxy::~RecordingProxy() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::vector<std::string> RecordingProxy::requests() {
    std::lock_guard guard(lock_);
    return requests_;
}

void RecordingProxy::Serve(int maxSeconds, int maxConnections) {
    auto end = Clock::now() + std::chrono::seconds(maxSeconds);
    for (int served = 0; !stop_ && served < maxConnections && Clock::now() < end;) {
        int client =
            AcceptBefore(listener_, std::min(end, Clock::now() + std::chrono::milliseconds(50)));
        if (client < 0)
            continue;
        clients_.emplace_back([this, client, end] {
            Answer(client, end);
            ::close(client);
        });
        ++served;
    }
    for (std::thread& client : clients_)
        client.join();
}

void RecordingProxy::Answer(int client, Clock::time_point end) {
    std::string request;
    ReadUntil(client, "\r\n\r\n", request, Clock::now() + std::chrono::seconds(5));
    {
        std::lock_guard guard(lock_);
        requests_.push_back(request);
    }
    if (!Authorized(request, requiredAuthorization_)) {
        SendAll(client, kRefusal);
        return;
    }
    if (int port = TunnelPort(request))
        Tunnel(client, port, "HTTP/1.1 200 Connection established\r\n\r\n", "", end,
               NextTunnelCut());
    else if (!answer_.empty())
        SendAll(client, answer_);
    else
        Tunnel(client, ForwardPort(request), "", request, end);
}

// Connects to the loopback port, sends the client its answer (a CONNECT's)
// or the origin its request (one passed on), then relays until either side
// ends: a kept-alive connection's later requests go to the same origin.
void RecordingProxy::Tunnel(int client, int port, const std::string& toClient,
                            const std::string& toOrigin, Clock::time_point end, long cutAfter) {
    int origin = port == 0 ? -1 : ConnectFrom("127.0.0.1", "127.0.0.1", port);
    if (origin < 0) {
        SendAll(client, kBadGateway);
        return;
    }
    if (SendAll(client, toClient) && SendAll(origin, toOrigin) && cutAfter != 0)
        Relay(client, origin, end, cutAfter);
    ::close(origin);
}

long RecordingProxy::NextTunnelCut() {
    std::lock_guard guard(lock_);
    std::size_t tunnel = tunnels_++;
    return tunnel < tunnelCuts_.size() ? tunnelCuts_[tunnel] : -1;
}

// Both ways until either side closes, the time is up or the proxy stops;
// with a cut, the client's side is reset once that many bytes have come
// from the origin.
void RecordingProxy::Relay(int client, int origin, Clock::time_point end, long cutAfter) {
    char buffer[65536];
    long fromOrigin = 0;
    while (!stop_ && Clock::now() < end) {
        pollfd fds[2] = {{client, POLLIN, 0}, {origin, POLLIN, 0}};
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (int side = 0; side < 2; ++side) {
            if ((fds[side].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            ssize_t got = ::read(fds[side].fd, buffer, sizeof buffer);
            if (got <= 0)
                return;
            std::size_t passed = static_cast<std::size_t>(got);
            bool cut = side == 1 && cutAfter > 0 && fromOrigin + got >= cutAfter;
            if (cut)
                passed = static_cast<std::size_t>(cutAfter - fromOrigin);
            fromOrigin += side == 1 ? got : 0;
            if (!SendAll(fds[1 - side].fd, std::string(buffer, passed)))
                return;
            if (cut) {
                ResetOnClose(client);
                return;
            }
        }
    }
}

}  // namespace orvane::peers
