#include "platform/dde/dde_server.h"

#include <glib-unix.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace orvane {
namespace {

constexpr int kListenBacklog = 16;
constexpr std::size_t kReadChunk = 4096;

// A GSource attached to a context, destroyed and released with its owner.
class AttachedSource {
  public:
    AttachedSource() = default;
    AttachedSource(GSource* source, GMainContext* context) : source_(source) {
        g_source_attach(source_, context);
    }
    ~AttachedSource() { reset(); }
    AttachedSource(const AttachedSource&) = delete;
    AttachedSource& operator=(const AttachedSource&) = delete;
    AttachedSource& operator=(AttachedSource&& other) noexcept {
        reset();
        source_ = std::exchange(other.source_, nullptr);
        return *this;
    }
    void reset() {
        if (source_ == nullptr)
            return;
        g_source_destroy(source_);
        g_source_unref(std::exchange(source_, nullptr));
    }

  private:
    GSource* source_ = nullptr;
};

GSource* fdSource(int fd, GUnixFDSourceFunc callback, gpointer data) {
    GSource* source =
        g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_callback(source, G_SOURCE_FUNC(callback), data, nullptr);
    return source;
}

GSource* timerSource(int milliseconds, GSourceFunc callback, gpointer data) {
    GSource* source = g_timeout_source_new(static_cast<guint>(milliseconds));
    g_source_set_callback(source, callback, data, nullptr);
    return source;
}

bool peerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == geteuid();
}

sockaddr_un socketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// Whether a server still answers on the socket file.
bool serverAlive(const std::string& path) {
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address = socketAddress(path);
    return probe.valid() &&
           ::connect(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool bindTo(int fd, const std::string& path) {
    sockaddr_un address = socketAddress(path);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

// One client: its socket, the request gathered so far, and the watches that
// read it and drop it when it takes too long.
class DdeServer::Connection {
  public:
    Connection(DdeServer& server, UniqueFd fd) : server_(server), fd_(std::move(fd)) {
        GMainContext* context = server.options_.context;
        watch_ = AttachedSource(fdSource(fd_.get(), onReadable, this), context);
        timer_ =
            AttachedSource(timerSource(server.options_.requestTimeoutMs, onTimeout, this), context);
    }
    int fd() const { return fd_.get(); }
    const DdeRequestReader& request() const { return reader_; }
    void stopWatching() {
        watch_.reset();
        timer_.reset();
    }
    bool reply(char byte) const {
        return ::send(fd_.get(), &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1;
    }

  private:
    static gboolean onReadable(gint, GIOCondition, gpointer self) {
        static_cast<Connection*>(self)->readRequest();
        return G_SOURCE_CONTINUE;
    }
    static gboolean onTimeout(gpointer self) {
        auto* connection = static_cast<Connection*>(self);
        connection->server_.finish(connection, {});
        return G_SOURCE_REMOVE;
    }
    // Reads what has arrived; may end the connection (and this object).
    void readRequest();
    // Answers the topic once it is known; false when the connection ended.
    bool answerTopic();

    DdeServer& server_;
    UniqueFd fd_;
    DdeRequestReader reader_;
    bool topicAnswered_ = false;
    AttachedSource watch_;
    AttachedSource timer_;
};

void DdeServer::Connection::readRequest() {
    char buffer[kReadChunk];
    for (;;) {
        ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            return;
        if (got <= 0)
            return server_.finish(this, {});
        auto state = reader_.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
        if (state == DdeRequestReader::State::Invalid)
            return server_.finish(this, {});
        if (state == DdeRequestReader::State::NeedMore)
            continue;
        if (!answerTopic())
            return;
        if (state == DdeRequestReader::State::Complete)
            return server_.answer(this);
    }
}

bool DdeServer::Connection::answerTopic() {
    if (topicAnswered_)
        return true;
    if (!ddeNamesEqual(reader_.topic(), server_.topic_)) {
        server_.finish(this, std::string_view(&kDdeTopicRefused, 1));
        return false;
    }
    topicAnswered_ = true;
    if (reply(kDdeTopicAccepted))
        return true;
    server_.finish(this, {});
    return false;
}

DdeServer::DdeServer(Passkey, std::string topic, Handler handler, Options options)
    : topic_(std::move(topic)), handler_(std::move(handler)), options_(std::move(options)) {}

std::unique_ptr<DdeServer> DdeServer::start(std::string_view service, std::string_view topic,
                                            Handler handler, std::string& error, Options options) {
    auto path = ddeSocketPath(options.directory, service);
    if (!path) {
        error = "invalid service name \"" + std::string(service) + "\"";
        return nullptr;
    }
    if (error = checkPrivateDirectory(options.directory, true); !error.empty())
        return nullptr;
    auto server = std::make_unique<DdeServer>(Passkey{}, std::string(topic), std::move(handler),
                                              std::move(options));
    if (!server->listenAt(*path, error))
        return nullptr;
    return server;
}

bool DdeServer::listenAt(const std::string& path, std::string& error) {
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    bool bound = listener_.valid() && bindTo(listener_.get(), path);
    if (!bound && errno == EADDRINUSE) {
        if (serverAlive(path)) {
            error = "another server already serves " + path;
            return false;
        }
        ::unlink(path.c_str());  // left behind by a server that died
        bound = bindTo(listener_.get(), path);
    }
    struct stat status {};
    if (!bound || ::listen(listener_.get(), kListenBacklog) != 0 ||
        ::stat(path.c_str(), &status) != 0) {
        error = "cannot serve " + path + ": " + std::strerror(errno);
        return false;
    }
    socketPath_ = path;
    socketDevice_ = status.st_dev;
    socketInode_ = status.st_ino;
    listenSource_ = fdSource(listener_.get(), onListenReady, this);
    g_source_attach(listenSource_, options_.context);
    return true;
}

DdeServer::~DdeServer() {
    *alive_ = false;
    connections_.clear();
    if (listenSource_ != nullptr) {
        g_source_destroy(listenSource_);
        g_source_unref(listenSource_);
    }
    struct stat status {};
    // Remove the socket only while it is still ours: a later server may have
    // replaced it.
    if (!socketPath_.empty() && ::stat(socketPath_.c_str(), &status) == 0 &&
        status.st_dev == socketDevice_ && status.st_ino == socketInode_)
        ::unlink(socketPath_.c_str());
}

gboolean DdeServer::onListenReady(gint, GIOCondition, gpointer self) {
    static_cast<DdeServer*>(self)->acceptClients();
    return G_SOURCE_CONTINUE;
}

void DdeServer::acceptClients() {
    for (std::size_t i = 0; i < kMaxClients; ++i) {
        UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client.valid())
            return;
        if (!peerIsThisUser(client.get()) || connections_.size() >= kMaxClients)
            continue;
        auto connection = std::make_unique<Connection>(*this, std::move(client));
        Connection* key = connection.get();
        connections_.emplace(key, std::move(connection));
    }
}

void DdeServer::finish(Connection* connection, std::string_view reply) {
    if (!reply.empty())
        connection->reply(reply.front());
    connections_.erase(connection);
}

void DdeServer::answer(Connection* connection) {
    // The handler may run a nested main loop; this client must not be read
    // again meanwhile.
    connection->stopWatching();
    std::weak_ptr<bool> alive = alive_;
    bool handled = handler_(connection->request().topic(), connection->request().command());
    if (alive.expired() || !*alive.lock())
        return;
    finish(connection, std::string_view(handled ? &kDdeCommandHandled : &kDdeCommandNotHandled, 1));
}

}  // namespace orvane
