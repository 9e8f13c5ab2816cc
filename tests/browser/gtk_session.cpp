#include "tests/browser/gtk_session.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>

namespace orvane::testing {

// How long a window may take to appear or a queue to empty on a loaded machine.
constexpr int kSettleMs = 5000;

GtkSession* GtkSession::get() {
    static GtkSession* session = [] {
        static GtkSession instance;
        return instance.start() ? &instance : nullptr;
    }();
    return session;
}

bool GtkSession::start() {
    display_ = std::make_unique<XvfbDisplay>();
    if (!display_->running())
        return false;
    ::mkdir((home_ / "run").c_str(), 0700);
    const std::pair<const char*, std::string> variables[] = {{"DISPLAY", display_->name()},
                                                             {"HOME", home_.path()},
                                                             {"XDG_RUNTIME_DIR", home_ / "run"},
                                                             {"XDG_CONFIG_HOME", home_ / "cfg"},
                                                             {"XDG_DATA_HOME", home_ / "data"},
                                                             {"XDG_CACHE_HOME", home_ / "cache"},
                                                             {"ORVANE_HKLM", home_ / "hklm.ini"},
                                                             {"ORVANE_HKCU", home_ / "hkcu.ini"},
                                                             {"NO_AT_BRIDGE", "1"},
                                                             {"GTK_A11Y", "none"}};
    for (const auto& [name, value] : variables)
        ::setenv(name, value.c_str(), 1);
    return gtk_init_check(nullptr, nullptr);
}

bool GtkSession::pumpUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(5000);
    }
    return true;
}

bool GtkSession::pumpUntilShown(GtkWidget* widget) {
    return pumpUntil(
        [widget] { return gtk_widget_get_mapped(widget) && !g_main_context_pending(nullptr); },
        kSettleMs);
}

bool GtkSession::pumpUntilIdle() {
    return pumpUntil([] { return !g_main_context_pending(nullptr); }, kSettleMs);
}

}  // namespace orvane::testing
