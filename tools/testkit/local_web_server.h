#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testkit {

// A small HTTP/1.0 server on 127.0.0.1 for tests: serves fixed pages by
// path (with extra header lines where a test gives them, a Set-Cookie for
// one), answers 404 otherwise, records the paths asked for and each
// request's header. It stops when
// destroyed, after maxSeconds, or after maxRequests, whichever comes first.
class LocalWebServer {
  public:
    explicit LocalWebServer(std::map<std::string, std::string> pages, int maxSeconds = 120,
                            int maxRequests = 1000);
    ~LocalWebServer();
    LocalWebServer(const LocalWebServer&) = delete;
    LocalWebServer& operator=(const LocalWebServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    std::vector<std::string> requests();
    // The header lines sent with the page at path ("Name: value\r\n" each).
    void addResponseHeader(const std::string& path, const std::string& line);
    // The header block of each request for path, in order.
    std::vector<std::string> requestHeaders(const std::string& path);

  private:
    void serve(int maxSeconds, int maxRequests);
    void answer(int client);

    std::map<std::string, std::string> pages_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<std::pair<std::string, std::string>> headers_;  // path, request header
    std::map<std::string, std::string> responseHeaders_;
    std::thread thread_;
};

}  // namespace orvane::testkit
