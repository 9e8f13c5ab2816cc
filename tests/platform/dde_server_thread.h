#pragma once

#include <glib.h>

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/dde/dde_server.h"

namespace orvane::testing {

// A DDE server on its own thread and main context, as a program other than
// the test would run it. It records what it receives and answers with the
// verdict it is given. Created and destroyed on its own thread.
class DdeServerThread {
  public:
    DdeServerThread(const std::string& folder, const std::string& service, const std::string& topic,
                    bool verdict = true, int requestTimeoutMs = kDdeTimeoutMs)
        : verdict_(verdict),
          context_(g_main_context_new()),
          loop_(g_main_loop_new(context_, FALSE)) {
        std::promise<std::string> started;
        auto startedResult = started.get_future();
        thread_ = std::thread([&, folder, service, topic, requestTimeoutMs] {
            g_main_context_push_thread_default(context_);
            DdeServerOptions options{folder, context_, requestTimeoutMs};
            std::string error;
            auto server = DdeServer::start(
                service, topic,
                [this](const std::string& t, const std::string& c) { return record(t, c); }, error,
                options);
            if (server)
                socketPath_ = server->socketPath();
            started.set_value(error);
            if (server)
                g_main_loop_run(loop_);
            server.reset();
            g_main_context_pop_thread_default(context_);
        });
        error_ = startedResult.get();
    }
    ~DdeServerThread() {
        // Quit from inside the loop, so a quit that comes before the loop
        // runs is not lost.
        g_main_context_invoke(context_, quitLoop, loop_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }
    DdeServerThread(const DdeServerThread&) = delete;
    DdeServerThread& operator=(const DdeServerThread&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& socketPath() const { return socketPath_; }
    std::vector<std::pair<std::string, std::string>> received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

  private:
    static gboolean quitLoop(gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
    }
    bool record(const std::string& topic, const std::string& command) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.emplace_back(topic, command);
        return verdict_;
    }

    bool verdict_;
    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;
    std::string error_;
    std::string socketPath_;
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> received_;
};

}  // namespace orvane::testing
