#include "platform/window_titles.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

namespace orvane {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

struct XFreer {
    void operator()(void* data) const { XFree(data); }
};

// Windows may vanish between being listed and being asked for their title;
// the errors that follow are expected and must not end the process. Xlib's
// error handler is process-wide, so it is swapped under a lock and restored.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

class QuietXErrors {
  public:
    explicit QuietXErrors(Display* display) : display_(display), lock_(mutex()) {
        previous_ = XSetErrorHandler(ignoreXError);
    }
    ~QuietXErrors() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    QuietXErrors(const QuietXErrors&) = delete;
    QuietXErrors& operator=(const QuietXErrors&) = delete;

  private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    Display* display_;
    std::lock_guard<std::mutex> lock_;
    XErrorHandler previous_ = nullptr;
};

std::optional<std::vector<Window>> clientList(Display* display) {
    Atom property = XInternAtom(display, "_NET_CLIENT_LIST", True);
    if (property == None)
        return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    int status = XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1L << 20,
                                    False, XA_WINDOW, &type, &format, &count, &remaining, &data);
    std::unique_ptr<unsigned char, XFreer> owned(data);
    if (status != Success || type != XA_WINDOW || format != 32 || count == 0)
        return std::nullopt;
    const auto* windows = reinterpret_cast<const Window*>(data);
    return std::vector<Window>(windows, windows + count);
}

std::vector<Window> childrenOf(Display* display, Window parent) {
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOfParent, &children, &count))
        return {};
    std::unique_ptr<Window, XFreer> owned(children);
    return std::vector<Window>(children, children + count);
}

std::string utf8Property(Display* display, Window window) {
    Atom property = XInternAtom(display, "_NET_WM_NAME", True);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", True);
    if (property == None || utf8 == None)
        return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    int status = XGetWindowProperty(display, window, property, 0, 4096, False, utf8, &type, &format,
                                    &count, &remaining, &data);
    std::unique_ptr<unsigned char, XFreer> owned(data);
    if (status != Success || type != utf8 || format != 8 || data == nullptr)
        return {};
    return std::string(reinterpret_cast<const char*>(data), count);
}

std::string wmName(Display* display, Window window) {
    XTextProperty property{};
    if (!XGetWMName(display, window, &property) || property.value == nullptr)
        return {};
    std::unique_ptr<unsigned char, XFreer> owned(property.value);
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display, &property, &list, &count) < Success || count < 1 ||
        list == nullptr)
        return std::string(reinterpret_cast<const char*>(property.value), property.nitems);
    std::string title = list[0];
    XFreeStringList(list);
    return title;
}

std::string titleOf(Display* display, Window window) {
    std::string title = utf8Property(display, window);
    return title.empty() ? wmName(display, window) : title;
}

void addTitleOf(Display* display, Window window, bool lookInside,
                std::vector<std::string>& titles) {
    std::string title = titleOf(display, window);
    if (!title.empty()) {
        titles.push_back(std::move(title));
        return;
    }
    if (!lookInside)
        return;
    for (Window child : childrenOf(display, window))
        addTitleOf(display, child, false, titles);
}

}  // namespace

std::vector<std::string> listTopLevelWindowTitles(const char* displayName) {
    DisplayHandle display(XOpenDisplay(displayName));
    if (!display)
        return {};
    QuietXErrors quiet(display.get());
    std::vector<std::string> titles;
    if (auto managed = clientList(display.get())) {
        for (Window window : *managed)
            addTitleOf(display.get(), window, false, titles);
        return titles;
    }
    for (Window window : childrenOf(display.get(), DefaultRootWindow(display.get())))
        addTitleOf(display.get(), window, true, titles);
    return titles;
}

std::string_view leadingCharacters(std::string_view utf8, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t taken = 0; end < utf8.size() && taken < count; ++taken) {
        ++end;
        // Continuation bytes (10xxxxxx) belong to the character before.
        while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            ++end;
    }
    return utf8.substr(0, end);
}

bool anyWindowTitleContains(std::string_view text, const char* displayName) {
    auto titles = listTopLevelWindowTitles(displayName);
    return std::any_of(titles.begin(), titles.end(), [&](const std::string& title) {
        return leadingCharacters(title, kTitleCharactersRead).find(text) != std::string::npos;
    });
}

}  // namespace orvane
