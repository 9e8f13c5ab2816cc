#include "tools/transfer_peers/scripted_http_server.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tools/transfer_peers/peer_socket.h"

namespace orvane::peers {

ScriptedHttpServer::ScriptedHttpServer(HttpScript script, int maxSeconds, int maxConnections)
    : script_(std::move(script)) {
    listener_ = ListenOnLoopback(8, port_);
    if (listener_ >= 0)
        thread_ =
            std::thread([this, maxSeconds, maxConnections] { Serve(maxSeconds, maxConnections); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::vector<std::string> ScriptedHttpServer::requests() {
    std::lock_guard guard(lock_);
    return requests_;
}

std::string ScriptedHttpServer::Response(const std::string& statusLine, const std::string& body) {
    return statusLine + "\r\nServer: scripted\r\nContent-Type: application/octet-stream\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string ScriptedHttpServer::Redirect(const std::string& location, int status) {
    return "HTTP/1.1 " + std::to_string(status) +
           " Moved\r\nServer: scripted\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
}

void ScriptedHttpServer::Serve(int maxSeconds, int maxConnections) {
    auto end = Clock::now() + std::chrono::seconds(maxSeconds);
    for (int served = 0; !stop_ && served < maxConnections && Clock::now() < end;) {
        int client =
            AcceptBefore(listener_, std::min(end, Clock::now() + std::chrono::milliseconds(50)));
        if (client < 0)
            continue;
        Answer(client, end);
        ::close(client);
        ++served;
    }
}

void ScriptedHttpServer::Answer(int client, Clock::time_point end) {
    std::string request;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    if (WaitReadable(client, deadline))
        requestBegun_ = true;
    ReadUntil(client, "\r\n\r\n", request, deadline);
    {
        std::lock_guard guard(lock_);
        requests_.push_back(request);
    }
    partsSent_ = 0;
    bytesSent_ = 0;
    int connection = connections_++;
    if (!script_.file.body.empty() || !script_.file.etag.empty()) {
        AnswerFromFile(client, request, connection);
        return;
    }
    // "GET /path HTTP/1.1": the path picks the answer when the script has one.
    std::string path = request.substr(0, request.find("\r\n"));
    path = path.substr(std::min(path.size(), path.find(' ') + 1));
    path = path.substr(0, path.find(' '));
    auto answer = script_.byPath.find(path);
    if (answer != script_.byPath.end()) {
        SendParts(client, answer->second);
        return;
    }
    if (!SendParts(client, script_.parts))
        return;
    if (script_.resetAfterParts) {
        ResetOnClose(client);
        return;
    }
    if (!script_.endlessPiece.empty())
        SendEndlessly(client, end);
    if (script_.holdOpen)
        HoldOpen(client);
}

bool ScriptedHttpServer::SendParts(int client, const std::vector<HttpPart>& parts) {
    for (const HttpPart& part : parts) {
        for (int waited = 0; waited < part.delayMs && !stop_; waited += 10)
            ::usleep(10000);
        if (stop_)
            return false;
        if (!SendAll(client, part.bytes)) {
            clientClosed_ = true;
            return false;
        }
        ++partsSent_;
        bytesSent_ += static_cast<long long>(part.bytes.size());
    }
    return true;
}

void ScriptedHttpServer::SendEndlessly(int client, Clock::time_point end) {
    while (SendAllBefore(client, script_.endlessPiece, end, stop_))
        bytesSent_ += static_cast<long long>(script_.endlessPiece.size());
    // The send failed before the end of the server's time: the client went.
    if (!stop_ && Clock::now() < end)
        clientClosed_ = true;
}

namespace {

// The value of a request field ("Range", "If-Range"); empty when none.
std::string RequestField(const std::string& request, const std::string& name) {
    auto at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "";
    at += name.size() + 4;
    return request.substr(at, request.find("\r\n", at) - at);
}

// The bytes as a chunked body: chunks of 1000 bytes, then the last chunk.
std::string Chunked(const std::string& bytes) {
    constexpr std::size_t kChunk = 1000;
    std::string chunked;
    char size[32];
    for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
        std::size_t count = std::min(kChunk, bytes.size() - at);
        std::snprintf(size, sizeof size, "%zx\r\n", count);
        chunked += size + bytes.substr(at, count) + "\r\n";
    }
    return chunked + "0\r\n\r\n";
}

}  // namespace

void ScriptedHttpServer::AnswerFromFile(int client, const std::string& request, int connection) {
    const ServedFile& file = script_.file;
    bool changed = connection > 0 && !file.changedBody.empty();
    const std::string& body = changed ? file.changedBody : file.body;
    std::string etag = changed ? "\"changed\"" : file.etag;
    std::string range = RequestField(request, "Range"), ifRange = RequestField(request, "If-Range");
    long long from = 0;
    bool partial = !file.ignoreRange && range.rfind("bytes=", 0) == 0 &&
                   (ifRange.empty() || ifRange == etag || ifRange == file.lastModified);
    if (partial)
        from = std::stoll(range.substr(6));
    if (partial && from >= static_cast<long long>(body.size())) {
        SendAll(client, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n");
        return;
    }
    std::string header =
        std::string(partial ? "HTTP/1.1 206 Partial Content" : "HTTP/1.1 200 OK") +
        "\r\nServer: scripted\r\n" + (etag.empty() ? "" : "ETag: " + etag + "\r\n") +
        (file.lastModified.empty() ? "" : "Last-Modified: " + file.lastModified + "\r\n") +
        (file.chunked ? std::string("Transfer-Encoding: chunked\r\n")
                      : "Content-Length: " + std::to_string(body.size() - from) + "\r\n");
    if (partial)
        header += "Content-Range: bytes " + std::to_string(from) + "-" +
                  std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) + "\r\n";
    header += "\r\n";
    std::string rest = body.substr(from);
    std::string wire = header + (file.chunked ? Chunked(rest) : rest);
    auto at = static_cast<std::size_t>(connection);
    long long cut = -1;
    if (at < file.wireCutAt.size())
        cut = file.wireCutAt[at];
    else if (at < file.cutAt.size())
        cut = static_cast<long long>(header.size()) +
              std::clamp(file.cutAt[at], from, static_cast<long long>(body.size())) - from;
    else if (file.cutEvery >= 0 && !file.chunked)
        cut = static_cast<long long>(header.size()) + file.cutEvery;
    if (at < file.holdAt.size() && file.holdAt[at] >= from) {
        long long held = std::min(file.holdAt[at], static_cast<long long>(body.size()));
        if (SendAll(client, header + body.substr(from, held - from)))
            HoldOpen(client);
        return;
    }
    if (cut < 0 || cut >= static_cast<long long>(wire.size())) {
        if (SendAll(client, wire))
            bytesSent_ += static_cast<long long>(rest.size());
        return;
    }
    if (!SendAll(client, wire.substr(0, static_cast<std::size_t>(cut))))
        return;
    bytesSent_ += std::max(0LL, cut - static_cast<long long>(header.size()));
    if (!file.cutInOrder)
        ResetOnClose(client);
}

void ScriptedHttpServer::HoldOpen(int client) {
    // Held open until the client gives up or the server is stopped.
    while (!stop_) {
        if (PeerClosedBefore(client, Clock::now() + std::chrono::milliseconds(50))) {
            clientClosed_ = true;
            return;
        }
    }
}

}  // namespace orvane::peers
