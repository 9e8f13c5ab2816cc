#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "tests/platform/real_server.h"

namespace orvane::testing {

// An HTTP/1.1 server on 127.0.0.1 that sends one file slowly: the header
// with its length, then a piece every interval, so that a download stays
// under way for a while. It serves at most four clients and stops by
// itself after maxSeconds, or when destroyed.
class TricklingWebServer {
  public:
    TricklingWebServer(std::size_t totalBytes, std::size_t pieceBytes, int intervalMs,
                       int maxSeconds = 60);
    ~TricklingWebServer();
    TricklingWebServer(const TricklingWebServer&) = delete;
    TricklingWebServer& operator=(const TricklingWebServer&) = delete;

    int port() const { return port_; }
    // Bytes sent so far to all clients.
    std::size_t sent() const { return sent_; }
    // Whether a client hung up before the whole body was sent.
    bool clientLeftEarly() const { return leftEarly_; }

  private:
    void serve(int maxSeconds);
    void trickle(int client);

    std::size_t total_, piece_;
    int intervalMs_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> sent_{0};
    std::atomic<bool> leftEarly_{false};
    std::thread thread_;
};

}  // namespace orvane::testing
