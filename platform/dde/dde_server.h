#pragma once

#include <glib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dde/dde_channel.h"
#include "platform/unique_fd.h"

namespace orvane {

struct DdeServerOptions {
    std::string directory = defaultDdeDirectory();
    GMainContext* context = nullptr;  // null: the default main context
    int requestTimeoutMs = kDdeTimeoutMs;
};

// Serves one DDE service and topic on a GLib main context: each execute
// command that arrives on the topic is handed to the handler, on the
// context's thread, and the handler's verdict goes back to the client.
//
// The server never blocks its loop on a client: connections are
// non-blocking, a request is bounded in size (kDdeMaxCommandBytes) and in
// time (a client that has not sent its whole request within the time-out is
// dropped), and at most kMaxClients are served at once. Only clients running
// as the same user are served. The socket is removed when the server ends.
class DdeServer {
  public:
    // Receives the topic as the client spelt it and the command text;
    // returns whether the command was handled. It must not destroy the server.
    using Handler = std::function<bool(const std::string& topic, const std::string& command)>;

    using Options = DdeServerOptions;
    static constexpr std::size_t kMaxClients = 16;

    // Starts serving; null with the reason in error when the socket folder
    // is not private to this user, the name cannot be a service, another
    // live server already serves it, or the socket cannot be made. A socket
    // left behind by a server that died is replaced.
    static std::unique_ptr<DdeServer> start(std::string_view service, std::string_view topic,
                                            Handler handler, std::string& error,
                                            Options options = {});
    ~DdeServer();
    DdeServer(const DdeServer&) = delete;
    DdeServer& operator=(const DdeServer&) = delete;

    const std::string& socketPath() const { return socketPath_; }

  private:
    class Connection;
    struct Passkey {};

  public:
    DdeServer(Passkey, std::string topic, Handler handler, Options options);

  private:
    bool listenAt(const std::string& path, std::string& error);
    static gboolean onListenReady(gint fd, GIOCondition condition, gpointer self);
    void acceptClients();
    void finish(Connection* connection, std::string_view reply);
    void answer(Connection* connection);

    std::string topic_;
    Handler handler_;
    Options options_;
    std::string socketPath_;
    UniqueFd listener_;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    GSource* listenSource_ = nullptr;
    std::map<Connection*, std::unique_ptr<Connection>> connections_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orvane
