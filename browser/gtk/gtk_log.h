#pragma once

#include <glib.h>

#include <string>

namespace orvane {

// What the frame shows that a test cannot read off the screen (the status
// bar, greyed commands, the find bar's result, message boxes) goes to GLib's
// debug log, domain "OrvaneFrame": printed on standard output when
// G_MESSAGES_DEBUG names the domain, dropped otherwise.
inline constexpr char kFrameLogDomain[] = "OrvaneFrame";

inline void logFrame(const std::string& text) {
    g_log(kFrameLogDomain, G_LOG_LEVEL_DEBUG, "%s", text.c_str());
}

}  // namespace orvane
