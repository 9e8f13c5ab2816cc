#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/transfer_peers/peer_socket.h"

namespace orvane::peers {

// One piece of a scripted response, sent after a pause.
struct HttpPart {
    std::string bytes;
    int delayMs = 0;
};

// A file served as a real server would, Range requests answered with 206
// (If-Range honoured), with faults on request: the k-th connection reset
// after byte cutAt[k] of the file, Range ignored, or the file changed (new
// body and ETag) from the second connection on.
struct ServedFile {
    std::string body;
    std::string etag;
    std::string lastModified;
    std::vector<long long> cutAt{};
    bool ignoreRange = false;
    std::string changedBody{};
    // The body in chunks of 1000 bytes (Transfer-Encoding: chunked) instead
    // of with a Content-Length.
    bool chunked = false;
    // The k-th connection is cut after byte wireCutAt[k] of the response as
    // written, header and chunk lines included (-1: not cut); in order
    // (a close) when cutInOrder, else with a reset.
    std::vector<long long> wireCutAt{};
    bool cutInOrder = false;
    // The k-th connection falls silent after byte holdAt[k] of the file
    // (-1: does not) and stays open until the client closes it.
    std::vector<long long> holdAt{};
    // Every connection is reset after this many bytes of body unless less
    // is left (-1: none), as a link that drops now and then.
    long long cutEvery = -1;
};

// What the server does with each connection after it has read the request.
struct HttpScript {
    std::vector<HttpPart> parts;
    // After the parts: keep the connection open until the client closes it
    // or the server's time is up (a server that never finishes).
    bool holdOpen = false;
    // After the parts: the connection is aborted with a reset (RST), as by a
    // server that crashes or a firewall that cuts it.
    bool resetAfterParts = false;
    // Not empty: after the parts this piece is sent again and again until the
    // client goes or the server's time is up (a body or a header without end).
    std::string endlessPiece{};
    // Answers for particular request paths (as the request line writes them),
    // sent in place of the parts: the steps of a redirect chain.
    std::map<std::string, std::vector<HttpPart>> byPath{};
    // Not empty (a body or an ETag): every request is answered from it.
    ServedFile file{};
};

// An HTTP server on 127.0.0.1 that answers every request with the same
// script and records the requests byte for byte. It stops when destroyed,
// after maxSeconds or after maxConnections, whichever comes first.
class ScriptedHttpServer {
  public:
    explicit ScriptedHttpServer(HttpScript script, int maxSeconds = 30, int maxConnections = 4);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:port", as a URL names it.
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests();
    // How many parts of the script the last connection has sent.
    int partsSent() const { return partsSent_; }
    // True once the client closed a connection the server still used.
    bool clientClosed() const { return clientClosed_; }
    // True once a client has sent its first byte (a request line or a TLS
    // greeting).
    bool requestBegun() const { return requestBegun_; }
    // Bytes sent on the last connection, parts and endless pieces together.
    long long bytesSent() const { return bytesSent_; }

    // A response of the given status line and body, with Content-Length.
    static std::string Response(const std::string& statusLine, const std::string& body);
    // A redirect with the status (302 when none is given) to the location.
    static std::string Redirect(const std::string& location, int status = 302);

  private:
    void Serve(int maxSeconds, int maxConnections);
    void Answer(int client, Clock::time_point end);
    bool SendParts(int client, const std::vector<HttpPart>& parts);
    void SendEndlessly(int client, Clock::time_point end);
    void HoldOpen(int client);
    void AnswerFromFile(int client, const std::string& request, int connection);

    HttpScript script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> partsSent_{0};
    std::atomic<bool> clientClosed_{false};
    std::atomic<bool> requestBegun_{false};
    std::atomic<long long> bytesSent_{0};
    int connections_ = 0;
    std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace orvane::peers
