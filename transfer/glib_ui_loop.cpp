#include "transfer/glib_ui_loop.h"

#include <glib-unix.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace orvane {

namespace {

// At most this many FD_READ deliveries per wake-up of one socket, so that a
// fast data connection leaves room for the timer and the other sockets.
constexpr int kReadsPerDispatch = 256;
// The most a notification handler reads at once.
constexpr int kPieceSize = 1024;

// Owns GLib sources and destroys them with the handle.
class SourceHandle final : public LoopHandle {
  public:
    explicit SourceHandle(std::vector<GSource*> sources) : sources_(std::move(sources)) {}
    ~SourceHandle() override {
        for (GSource* source : sources_) {
            if (!g_source_is_destroyed(source))
                g_source_destroy(source);
            g_source_unref(source);
        }
    }

  private:
    std::vector<GSource*> sources_;
};

// The callback data of a socket's sources. GLib keeps it alive while one of
// its callbacks runs, even when the handler destroys the watch.
struct WatchTarget {
    int fd;
    std::function<void(long)> deliver;
    bool errorDelivered = false;
};

void DeleteTarget(gpointer data) {
    delete static_cast<WatchTarget*>(data);
}
void DeleteTick(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

gboolean OnTick(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_CONTINUE;
}

int BytesWaiting(int fd) {
    int waiting = 0;
    return ::ioctl(fd, FIONREAD, &waiting) == 0 ? waiting : 0;
}

// True when a readable socket without waiting bytes has reached its end.
bool StreamEnded(int fd, GIOCondition condition) {
    char byte;
    ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got == 0)
        return true;
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return true;
    return got < 0 && (condition & (G_IO_HUP | G_IO_ERR)) != 0;
}

gboolean OnStreamWritable(gint, GIOCondition, gpointer data) {
    static_cast<WatchTarget*>(data)->deliver(FD_WRITE);
    return G_SOURCE_REMOVE;
}

gboolean OnStreamReadable(gint fd, GIOCondition condition, gpointer data) {
    auto* target = static_cast<WatchTarget*>(data);
    GSource* self = g_main_current_source();
    int waiting = BytesWaiting(fd);
    if (waiting == 0 && (condition & G_IO_ERR) != 0 && !target->errorDelivered) {
        // A pending error (a reset by the peer) belongs to the reader: the
        // peek below would take it and leave the reader an orderly end, and
        // a cut-off file would count as complete. FD_READ lets the reader's
        // receive report it; FD_CLOSE follows on the next wake-up.
        target->errorDelivered = true;
        target->deliver(FD_READ);
        return g_source_is_destroyed(self) ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
    }
    if (waiting == 0) {
        if (!StreamEnded(fd, condition))
            return G_SOURCE_CONTINUE;
        target->deliver(FD_CLOSE);
        return G_SOURCE_REMOVE;
    }
    // One FD_READ for each piece that is surely there; the rest, and the
    // end of the stream, on the next wake-up.
    int pieces = std::min(kReadsPerDispatch, (waiting + kPieceSize - 1) / kPieceSize);
    for (int delivered = 0; delivered < pieces; ++delivered) {
        target->deliver(FD_READ);
        if (g_source_is_destroyed(self))
            return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

gboolean OnListenerReady(gint, GIOCondition condition, gpointer data) {
    auto* target = static_cast<WatchTarget*>(data);
    if ((condition & G_IO_IN) != 0) {
        target->deliver(FD_ACCEPT);
        return G_SOURCE_CONTINUE;
    }
    target->deliver(FD_CLOSE);
    return G_SOURCE_REMOVE;
}

GSource* AttachFdSource(GMainContext* context, int fd, GIOCondition condition,
                        GUnixFDSourceFunc callback, WatchTarget* target, gint priority) {
    GSource* source = g_unix_fd_source_new(fd, condition);
    g_source_set_priority(source, priority);
    g_source_set_callback(source, G_SOURCE_FUNC(callback), target, DeleteTarget);
    g_source_attach(source, context);
    return source;
}

}  // namespace

GlibUiLoop::GlibUiLoop(GMainContext* context)
    : context_(g_main_context_ref(context)), postEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    postSource_ = g_unix_fd_source_new(postEvent_.get(), G_IO_IN);
    g_source_set_callback(postSource_, G_SOURCE_FUNC(OnPosted), this, nullptr);
    g_source_attach(postSource_, context_);
}

GlibUiLoop::~GlibUiLoop() {
    g_source_destroy(postSource_);
    g_source_unref(postSource_);
    g_main_context_unref(context_);
}

std::unique_ptr<LoopHandle> GlibUiLoop::StartTimer(unsigned periodMs, std::function<void()> tick) {
    GSource* source = g_timeout_source_new(periodMs);
    g_source_set_callback(source, OnTick,
                          std::make_unique<std::function<void()>>(std::move(tick)).release(),
                          DeleteTick);
    g_source_attach(source, context_);
    return std::make_unique<SourceHandle>(std::vector<GSource*>{source});
}

std::unique_ptr<LoopHandle> GlibUiLoop::WatchSocket(int fd, SocketKind kind,
                                                    std::function<void(long event)> deliver) {
    auto ioErrors = static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR);
    if (kind == SocketKind::Listener) {
        auto condition = static_cast<GIOCondition>(G_IO_IN | ioErrors);
        return std::make_unique<SourceHandle>(std::vector<GSource*>{AttachFdSource(
            context_, fd, condition, OnListenerReady,
            std::make_unique<WatchTarget>(WatchTarget{fd, std::move(deliver)}).release(),
            G_PRIORITY_DEFAULT)});
    }
    // The one FD_WRITE comes before anything the socket reads.
    GSource* writable = AttachFdSource(
        context_, fd, G_IO_OUT, OnStreamWritable,
        std::make_unique<WatchTarget>(WatchTarget{fd, deliver}).release(), G_PRIORITY_HIGH);
    auto condition = static_cast<GIOCondition>(G_IO_IN | ioErrors);
    GSource* readable =
        AttachFdSource(context_, fd, condition, OnStreamReadable,
                       std::make_unique<WatchTarget>(WatchTarget{fd, std::move(deliver)}).release(),
                       G_PRIORITY_DEFAULT);
    return std::make_unique<SourceHandle>(std::vector<GSource*>{writable, readable});
}

void GlibUiLoop::RunUntil(const std::function<bool()>& finished) {
    while (!finished())
        g_main_context_iteration(context_, TRUE);
}

void GlibUiLoop::Post(std::function<void()> call) {
    {
        std::lock_guard guard(postLock_);
        posted_.push_back(std::move(call));
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(postEvent_.get(), &one, sizeof one);
}

gboolean GlibUiLoop::OnPosted(gint, GIOCondition, gpointer self) {
    static_cast<GlibUiLoop*>(self)->RunPosted();
    return G_SOURCE_CONTINUE;
}

void GlibUiLoop::RunPosted() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t got = ::read(postEvent_.get(), &count, sizeof count);
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard guard(postLock_);
        calls.swap(posted_);
    }
    for (auto& call : calls)
        call();
}

}  // namespace orvane
