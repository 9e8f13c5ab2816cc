#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace orvane::testkit {

// A private X server for one test: Xvfb on a display number it picks itself
// (so tests running side by side never meet), stopped by its PID at the end.
class XvfbDisplay {
  public:
    XvfbDisplay();
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    bool running() const { return !name_.empty(); }
    // ":N", usable as DISPLAY.
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

}  // namespace orvane::testkit
