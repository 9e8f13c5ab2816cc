#pragma once

#include <glib.h>

#include <functional>

namespace orvane {

// A call made once the main loop is idle, however often it is asked for
// before then: a burst of requests (progress many times a second, a
// question that must be answered first) becomes one call. Destroying it
// takes back a call not yet made, so the call never outlives its owner.
class IdleCall {
  public:
    explicit IdleCall(std::function<void()> call) : call_(std::move(call)) {}
    ~IdleCall() { Cancel(); }
    IdleCall(const IdleCall&) = delete;
    IdleCall& operator=(const IdleCall&) = delete;

    void Schedule() {
        if (!source_)
            source_ = g_idle_add(Run, this);
    }
    void Cancel() {
        if (source_)
            g_source_remove(source_);
        source_ = 0;
    }

  private:
    static gboolean Run(gpointer self) {
        auto* idle = static_cast<IdleCall*>(self);
        idle->source_ = 0;
        idle->call_();
        return G_SOURCE_REMOVE;
    }

    std::function<void()> call_;
    guint source_ = 0;
};

}  // namespace orvane
