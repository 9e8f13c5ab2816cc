#include "tests/browser/loopback_servers.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tools/transfer_peers/peer_socket.h"

namespace orvane::testing {

namespace {
constexpr std::size_t kMaxClients = 4;
}  // namespace

TricklingWebServer::TricklingWebServer(std::size_t totalBytes, std::size_t pieceBytes,
                                       int intervalMs, int maxSeconds)
    : total_(totalBytes), piece_(pieceBytes), intervalMs_(intervalMs) {
    listener_ = peers::ListenOnLoopback(static_cast<int>(kMaxClients), port_);
    if (listener_ >= 0)
        thread_ = std::thread([this, maxSeconds] { serve(maxSeconds); });
}

TricklingWebServer::~TricklingWebServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

void TricklingWebServer::serve(int maxSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
    // Each client has its own thread: a browser may open a connection that
    // never asks for anything (a preconnection) beside the real one.
    std::vector<std::thread> clients;
    while (clients.size() < kMaxClients && !stop_ && std::chrono::steady_clock::now() < deadline) {
        pollfd wait{listener_, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        clients.emplace_back([this, client] {
            trickle(client);
            ::close(client);
        });
    }
    for (std::thread& client : clients)
        client.join();
}

void TricklingWebServer::trickle(int client) {
    char request[4096];
    pollfd wait{client, POLLIN, 0};
    for (int waited = 0; waited < 50 && !stop_; ++waited)
        if (::poll(&wait, 1, 100) > 0)
            break;
    if (::recv(client, request, sizeof request, MSG_DONTWAIT) <= 0)
        return;
    std::string header =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
        "Content-Length: " +
        std::to_string(total_) + "\r\n\r\n";
    if (::send(client, header.data(), header.size(), MSG_NOSIGNAL) < 0)
        return;
    std::string piece(piece_, 'e');
    for (std::size_t sent = 0; sent < total_ && !stop_; sent += piece_) {
        std::size_t now = std::min(piece_, total_ - sent);
        if (::send(client, piece.data(), now, MSG_NOSIGNAL) != static_cast<ssize_t>(now)) {
            leftEarly_ = true;
            return;
        }
        sent_ += now;
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs_));
    }
}

}  // namespace orvane::testing
