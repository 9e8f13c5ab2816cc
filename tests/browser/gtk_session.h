#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/platform/temp_folder.h"
#include "tests/platform/xvfb_display.h"

namespace orvane::testing {

// GTK for in-process tests: one private Xvfb display and a private home
// for the whole test program, GTK started on it once.
class GtkSession {
  public:
    // The session, started at the first call; null when no display can be had.
    static GtkSession* get();
    const std::string& home() const { return home_.path(); }

    // Runs the main loop until the condition holds or the time is up.
    static bool pumpUntil(const std::function<bool()>& condition, int timeoutMs);
    // Runs the main loop for a while.
    // Until the widget is on the screen and nothing is left to handle.
    static bool pumpUntilShown(GtkWidget* widget);
    // Until nothing is left to handle (destroyed windows gone, say).
    static bool pumpUntilIdle();

  private:
    GtkSession() = default;
    bool start();

    TempFolder home_;
    std::unique_ptr<XvfbDisplay> display_;
};

}  // namespace orvane::testing
