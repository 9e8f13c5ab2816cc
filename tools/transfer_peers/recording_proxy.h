#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/transfer_peers/peer_socket.h"

namespace orvane::peers {

// An HTTP proxy on 127.0.0.1 that records the header of every request it
// receives. A CONNECT to a loopback port opens a tunnel to 127.0.0.1 at
// that port and relays the bytes both ways (nothing leaves loopback); any
// other request (GET http://..., GET ftp://...) is answered with the given
// response, as if the proxy had fetched it. With no response given, a
// request for http://127.0.0.1:port/... is passed on to that port as it
// came and the answer relayed, as a real proxy does for a browser's pages
// (other origins get 502). With a required authorization, a request without
// exactly that Proxy-Authorization value gets 407. Each connection is served
// on a thread of its own, so a browser's kept-alive connections hold up no
// other. It stops when destroyed, after maxSeconds or after maxConnections.
class RecordingProxy {
  public:
    explicit RecordingProxy(std::string answer, std::string requiredAuthorization = "",
                            int maxSeconds = 30, int maxConnections = 8);
    ~RecordingProxy();
    RecordingProxy(const RecordingProxy&) = delete;
    RecordingProxy& operator=(const RecordingProxy&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:port", as http_proxy names it.
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests();
    // A lossy link behind the proxy: the n-th CONNECT tunnel (from 0) is
    // cut with a reset once afterBytes[n] bytes have come from the origin;
    // 0 closes it right after its 200, before any byte of TLS; a tunnel
    // past the list's end, or at -1, relays everything.
    void CutTunnels(std::vector<long> afterBytes) {
        std::lock_guard guard(lock_);
        tunnelCuts_ = std::move(afterBytes);
    }

  private:
    void Serve(int maxSeconds, int maxConnections);
    void Answer(int client, Clock::time_point end);
    void Relay(int client, int origin, Clock::time_point end, long cutAfter = -1);
    void Tunnel(int client, int port, const std::string& toClient, const std::string& toOrigin,
                Clock::time_point end, long cutAfter = -1);
    long NextTunnelCut();

    std::string answer_;
    std::string requiredAuthorization_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::string> requests_;
    std::vector<long> tunnelCuts_;
    std::size_t tunnels_ = 0;
    std::thread thread_;
    std::vector<std::thread> clients_;
};

}  // namespace orvane::peers
