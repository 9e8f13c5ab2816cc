#include "tests/browser/x_window_probe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <memory>
#include <vector>

namespace orvane::testing {

namespace {

Display* dpy(void* display) {
    return static_cast<Display*>(display);
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

std::vector<unsigned long> longProperty(Display* d, Window w, const char* name, Atom type,
                                        long length = 4096) {
    Atom atom = XInternAtom(d, name, False);
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(d, w, atom, 0, length, False, type, &actual, &format, &count, &remaining,
                           &data) == Success &&
        data && format == 32) {
        auto* items = reinterpret_cast<unsigned long*>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

std::string titleOf(Display* d, Window w) {
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom name = XInternAtom(d, "_NET_WM_NAME", False);
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, name, 0, 4096, False, utf8, &actual, &format, &count, &remaining,
                           &data) == Success &&
        data)
        title.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    return title;
}

void sendToRoot(Display* d, Window w, const char* type, long a, long b, long c) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(d, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = a;
    event.xclient.data.l[1] = b;
    event.xclient.data.l[2] = c;
    event.xclient.data.l[3] = 1;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(d);
}

}  // namespace

XWindowProbe::XWindowProbe(const std::string& displayName) {
    display_ = XOpenDisplay(displayName.c_str());
    XSetErrorHandler(ignoreErrors);
}

XWindowProbe::~XWindowProbe() {
    if (display_)
        XCloseDisplay(dpy(display_));
}

bool XWindowProbe::windowManagerReady() {
    Display* d = dpy(display_);
    auto check = longProperty(d, DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.empty() || check[0] == 0)
        return false;
    auto self = longProperty(d, check[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    return !self.empty() && self[0] == check[0];
}

bool XWindowProbe::managed(unsigned long window) {
    Display* d = dpy(display_);
    constexpr unsigned long kNormalState = 1;
    Atom wmState = XInternAtom(d, "WM_STATE", False);
    auto state = longProperty(d, window, "WM_STATE", wmState);
    return !state.empty() && state[0] == kNormalState &&
           longProperty(d, window, "_NET_FRAME_EXTENTS", XA_CARDINAL).size() == 4;
}

std::optional<unsigned long> XWindowProbe::findWindow(const std::string& title) {
    Display* d = dpy(display_);
    for (unsigned long w : longProperty(d, DefaultRootWindow(d), "_NET_CLIENT_LIST", XA_WINDOW))
        if (titleOf(d, w) == title)
            return w;
    return std::nullopt;
}

void XWindowProbe::maximize(unsigned long window) {
    Display* d = dpy(display_);
    sendToRoot(d, window, "_NET_WM_STATE", 1,
               static_cast<long>(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False)),
               static_cast<long>(XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False)));
}

bool XWindowProbe::isMaximized(unsigned long window) {
    Display* d = dpy(display_);
    Atom vertical = XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    for (unsigned long state : longProperty(d, window, "_NET_WM_STATE", XA_ATOM))
        if (state == vertical)
            return true;
    return false;
}

void XWindowProbe::close(unsigned long window) {
    Display* d = dpy(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XFlush(d);
}

std::optional<WindowGeometry> XWindowProbe::geometry(unsigned long window) {
    Display* d = dpy(display_);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d, window, &attributes))
        return std::nullopt;
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return WindowGeometry{x, y, attributes.width, attributes.height};
}

std::string XWindowProbe::activeWindowTitle() {
    Display* d = dpy(display_);
    auto active = longProperty(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return active.empty() || active[0] == 0 ? std::string() : titleOf(d, active[0]);
}

std::vector<int> XWindowProbe::iconWidths(unsigned long window) {
    // _NET_WM_ICON: width, height and width * height pixels, for each size.
    auto icon = longProperty(dpy(display_), window, "_NET_WM_ICON", XA_CARDINAL, 1L << 20);
    std::vector<int> widths;
    for (std::size_t at = 0; at + 2 <= icon.size() && icon[at] > 0;
         at += 2 + icon[at] * icon[at + 1])
        widths.push_back(static_cast<int>(icon[at]));
    return widths;
}

std::string XWindowProbe::windowClass(unsigned long window) {
    XClassHint hint{};
    if (!XGetClassHint(dpy(display_), window, &hint))
        return {};
    std::string result = hint.res_class ? hint.res_class : "";
    XFree(hint.res_name);
    XFree(hint.res_class);
    return result;
}

}  // namespace orvane::testing
