// orvane-screenshot FILE.png [TITLE]
//
// Writes a PNG of the X display named by $DISPLAY: the whole screen, or only
// the client area of the top-level window whose title is TITLE. Exit status
// 0 when the file was written, 1 when the display or the window was not
// found or the file could not be written, 2 for a usage error.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Rectangle {
    int x, y, width, height;
};

std::string windowTitle(Display* display, Window window) {
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

// The top-level windows: a window manager's client list, else the root's
// children.
std::vector<Window> topLevelWindows(Display* display) {
    std::vector<Window> windows;
    Atom clients = XInternAtom(display, "_NET_CLIENT_LIST", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), clients, 0, 4096, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) == Success &&
        data && count > 0) {
        auto* list = reinterpret_cast<Window*>(data);
        windows.assign(list, list + count);
        XFree(data);
        return windows;
    }
    if (data)
        XFree(data);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &n)) {
        windows.assign(children, children + n);
        if (children)
            XFree(children);
    }
    return windows;
}

std::optional<Rectangle> windowArea(Display* display, const std::string& title) {
    for (Window window : topLevelWindows(display)) {
        XWindowAttributes attributes;
        if (windowTitle(display, window) != title ||
            !XGetWindowAttributes(display, window, &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
        return Rectangle{x, y, attributes.width, attributes.height};
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: orvane-screenshot FILE.png [TITLE]\n");
        return 2;
    }
    if (!gdk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "orvane-screenshot: no display\n");
        return 1;
    }
    GdkWindow* root = gdk_get_default_root_window();
    Rectangle area{0, 0, gdk_window_get_width(root), gdk_window_get_height(root)};
    if (argc == 3) {
        auto found = windowArea(GDK_WINDOW_XDISPLAY(root), argv[2]);
        if (!found) {
            std::fprintf(stderr, "orvane-screenshot: no window titled \"%s\"\n", argv[2]);
            return 1;
        }
        area = *found;
    }
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(root, area.x, area.y, area.width, area.height);
    GError* error = nullptr;
    bool saved = picture && gdk_pixbuf_save(picture, argv[1], "png", &error, nullptr);
    if (picture)
        g_object_unref(picture);
    if (!saved) {
        std::fprintf(stderr, "orvane-screenshot: cannot write %s: %s\n", argv[1],
                     error ? error->message : "no picture");
        if (error)
            g_error_free(error);
        return 1;
    }
    return 0;
}
