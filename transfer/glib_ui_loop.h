#pragma once

#include <glib.h>

#include <mutex>
#include <vector>

#include "platform/unique_fd.h"
#include "transfer/ui_loop.h"

namespace orvane {

// The user-interface loop on a GLib main context (the default context under
// GTK): timers from g_timeout, socket notifications from unix-fd sources,
// posted calls through an event descriptor. All GLib calls are made on the
// thread that runs the context; other threads only post.
class GlibUiLoop final : public UiLoop {
  public:
    explicit GlibUiLoop(GMainContext* context);
    ~GlibUiLoop() override;
    GlibUiLoop(const GlibUiLoop&) = delete;
    GlibUiLoop& operator=(const GlibUiLoop&) = delete;

    std::unique_ptr<LoopHandle> StartTimer(unsigned periodMs, std::function<void()> tick) override;
    std::unique_ptr<LoopHandle> WatchSocket(int fd, SocketKind kind,
                                            std::function<void(long event)> deliver) override;
    void RunUntil(const std::function<bool()>& finished) override;
    void Post(std::function<void()> call) override;

    GMainContext* context() const { return context_; }

  private:
    static gboolean OnPosted(gint fd, GIOCondition condition, gpointer self);
    void RunPosted();

    GMainContext* context_;
    std::mutex postLock_;
    std::vector<std::function<void()>> posted_;
    UniqueFd postEvent_;
    GSource* postSource_ = nullptr;
};

}  // namespace orvane
