#include "tests/browser/loopback_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/platform/child_process.h"

namespace orvane::testing {

namespace {
constexpr int kServerSeconds = 300;
constexpr std::size_t kMaxClients = 4;

std::string serverScript(const char* name) {
    return std::string(ORVANE_SOURCE_DIR) + "/tools/transfer_servers/" + name;
}

int loopbackListener(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kMaxClients) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}
}  // namespace

int freeLoopbackPort() {
    int port = 0;
    int fd = loopbackListener(port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool RealServer::installed(const std::string& kind) {
    if (kind == "pyftpdlib")
        return std::system("/usr/bin/python3 -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/"})
        if (std::filesystem::exists(folder + kind))
            return true;
    return false;
}

RealServer::RealServer(const std::string& kind, const std::string& root, const std::string& work)
    : kind_(kind), work_(work) {
    int port = freeLoopbackPort();
    auto result = runProgram(
        serverScript("start-server"),
        {kind, root, work, std::to_string(port), std::to_string(kServerSeconds)}, {}, 20000);
    if (result.exitStatus == 0)
        port_ = port;
    else
        failure_ = result.standardError;
}

RealServer::~RealServer() {
    if (running())
        runProgram(serverScript("stop-server"), {work_ + "/" + kind_ + ".pid"}, {}, 20000);
}

TricklingWebServer::TricklingWebServer(std::size_t totalBytes, std::size_t pieceBytes,
                                       int intervalMs, int maxSeconds)
    : total_(totalBytes), piece_(pieceBytes), intervalMs_(intervalMs) {
    listener_ = loopbackListener(port_);
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
