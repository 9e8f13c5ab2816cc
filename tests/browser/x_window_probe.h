#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane::testing {

struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// Looks at and acts on top-level windows of an X display the way a user
// (through the window manager) would: find by title, maximise, close.
class XWindowProbe {
  public:
    explicit XWindowProbe(const std::string& displayName);
    ~XWindowProbe();
    XWindowProbe(const XWindowProbe&) = delete;
    XWindowProbe& operator=(const XWindowProbe&) = delete;

    bool connected() const { return display_ != nullptr; }
    // Whether a window manager has taken the display: the root names its
    // check window in _NET_SUPPORTING_WM_CHECK and that window names itself.
    bool windowManagerReady();
    // Whether the window manager has taken the window in: it is listed as a
    // client, framed (_NET_FRAME_EXTENTS) and in the normal state (WM_STATE).
    bool managed(unsigned long window);
    // The managed client window whose title is exactly this one.
    std::optional<unsigned long> findWindow(const std::string& title);
    // Asks the window manager to maximise the window.
    void maximize(unsigned long window);
    bool isMaximized(unsigned long window);
    // Presses the close box: WM_DELETE_WINDOW to the window.
    void close(unsigned long window);
    // The client area in root coordinates.
    std::optional<WindowGeometry> geometry(unsigned long window);
    // The widths of the icons the window offers (_NET_WM_ICON); empty without one.
    std::vector<int> iconWidths(unsigned long window);
    // The class part of the window's WM_CLASS (a desktop entry's StartupWMClass).
    std::string windowClass(unsigned long window);
    // The title of the window the window manager calls active.
    std::string activeWindowTitle();

  private:
    void* display_ = nullptr;
};

}  // namespace orvane::testing
