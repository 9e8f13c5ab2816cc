#include "tools/testkit/local_web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace orvane::testkit {

LocalWebServer::LocalWebServer(std::map<std::string, std::string> pages, int maxSeconds,
                               int maxRequests)
    : pages_(std::move(pages)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, maxSeconds, maxRequests] { serve(maxSeconds, maxRequests); });
}

LocalWebServer::~LocalWebServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::string LocalWebServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LocalWebServer::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LocalWebServer::addResponseHeader(const std::string& path, const std::string& line) {
    std::lock_guard lock(mutex_);
    responseHeaders_[path] += line + "\r\n";
}

std::vector<std::string> LocalWebServer::requestHeaders(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const auto& [asked, header] : headers_)
        if (asked == path)
            found.push_back(header);
    return found;
}

void LocalWebServer::serve(int maxSeconds, int maxRequests) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
    for (int served = 0;
         !stop_ && served < maxRequests && std::chrono::steady_clock::now() < deadline;) {
        pollfd pfd{listener_, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0)
            continue;
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        answer(client);
        ::close(client);
        ++served;
    }
}

void LocalWebServer::answer(int client) {
    std::string request;
    char buffer[2048];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{client, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t start = request.find(' ');
    std::size_t end = request.find(' ', start + 1);
    std::string path = start == std::string::npos || end == std::string::npos
                           ? std::string()
                           : request.substr(start + 1, end - start - 1);
    std::string extra;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(path);
        headers_.emplace_back(path, request.substr(0, request.find("\r\n\r\n")));
        if (auto header = responseHeaders_.find(path); header != responseHeaders_.end())
            extra = header->second;
    }
    auto page = pages_.find(path);
    std::string body =
        page == pages_.end() ? "<html><title>Not Found</title></html>" : page->second;
    std::string reply =
        std::string(page == pages_.end() ? "HTTP/1.0 404 Not Found" : "HTTP/1.0 200 OK") +
        "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n" + extra + "\r\n" + body;
    ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
}

}  // namespace orvane::testkit
