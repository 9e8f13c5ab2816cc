#include "platform/window_titles.h"

#include <gtest/gtest.h>

// After gtest: the X headers define macros (None, Bool) that gtest uses as names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>

#include "tests/platform/required_program.h"
#include "tests/platform/scoped_environment.h"
#include "tools/testkit/xvfb_display.h"

namespace orvane {
namespace {

using testing::ScopedEnvironment;
using testkit::XvfbDisplay;

std::vector<std::string> sorted(std::vector<std::string> titles) {
    std::sort(titles.begin(), titles.end());
    return titles;
}

// Top-level windows made directly with Xlib, as other programs make them.
class WindowTitlesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::programInstalled("Xvfb"));
        xvfb = std::make_unique<XvfbDisplay>();
        ASSERT_TRUE(xvfb->running());
        display = XOpenDisplay(xvfb->name().c_str());
        ASSERT_NE(display, nullptr);
        root = DefaultRootWindow(display);
    }
    void TearDown() override {
        if (display != nullptr)
            XCloseDisplay(display);
    }

    Window window(Window parent) {
        Window made = XCreateSimpleWindow(display, parent, 0, 0, 100, 50, 0, 0, 0);
        XSync(display, False);
        return made;
    }
    void setUtf8Title(Window target, const std::string& title) {
        Atom name = XInternAtom(display, "_NET_WM_NAME", False);
        Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        XChangeProperty(display, target, name, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
        XSync(display, False);
    }
    void setLatin1Title(Window target, const std::string& title) {
        XStoreName(display, target, title.c_str());
        XSync(display, False);
    }
    void setClientList(const std::vector<Window>& windows) {
        Atom list = XInternAtom(display, "_NET_CLIENT_LIST", False);
        XChangeProperty(display, root, list, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(windows.data()),
                        static_cast<int>(windows.size()));
        XSync(display, False);
    }

    std::unique_ptr<XvfbDisplay> xvfb;
    Display* display = nullptr;
    Window root = 0;
};

TEST_F(WindowTitlesTest, WithoutAWindowManagerTheRootsChildrenAreListed) {
    setUtf8Title(window(root), "Tremora - quake 2002.evt \xC3\xBC");
    setLatin1Title(window(root), "Plain \xFC name");
    Window frame = window(root);  // a frame without a title holding a client
    setLatin1Title(window(frame), "Framed client");
    Window untitledFrame = window(root);
    window(untitledFrame);
    Window both = window(root);
    setLatin1Title(both, "old name");
    setUtf8Title(both, "new name");
    EXPECT_EQ(sorted(listTopLevelWindowTitles(xvfb->name().c_str())),
              (std::vector<std::string>{"Framed client", "Plain \xC3\xBC name",
                                        "Tremora - quake 2002.evt \xC3\xBC", "new name"}));
}

TEST_F(WindowTitlesTest, AWindowManagersClientListWins) {
    Window listed = window(root);
    setUtf8Title(listed, "Tremora - listed.evt");
    setUtf8Title(window(root), "Tremora - not managed");
    Window deeper = window(window(root));
    setLatin1Title(deeper, "Managed inside a frame");
    setClientList({listed, deeper});
    EXPECT_EQ(listTopLevelWindowTitles(xvfb->name().c_str()),
              (std::vector<std::string>{"Tremora - listed.evt", "Managed inside a frame"}));
}

TEST_F(WindowTitlesTest, AVanishedWindowInTheClientListIsPassedOver) {
    Window gone = window(root);
    Window kept = window(root);
    setUtf8Title(kept, "kept");
    setClientList({gone, kept});
    XDestroyWindow(display, gone);
    XSync(display, False);
    EXPECT_EQ(listTopLevelWindowTitles(xvfb->name().c_str()), (std::vector<std::string>{"kept"}));
}

TEST_F(WindowTitlesTest, TheMarkMustAppearWithItsBlanks) {
    setUtf8Title(window(root), "Tremora");
    setUtf8Title(window(root), "Tremora -quake.evt");
    EXPECT_FALSE(anyWindowTitleContains("Tremora - ", xvfb->name().c_str()));
    setUtf8Title(window(root), "Viewer: Tremora - a.evt");
    EXPECT_TRUE(anyWindowTitleContains("Tremora - ", xvfb->name().c_str()));
    ScopedEnvironment displayVariable("DISPLAY", xvfb->name());
    EXPECT_TRUE(anyWindowTitleContains("Tremora - "));
}

TEST_F(WindowTitlesTest, OnlyTheFirst199CharactersOfATitleAreRead) {
    // The mark's last character at position 199 counts, at 200 it does not;
    // the positions are characters, so two-byte letters before it weigh one.
    std::string within = std::string(189, 'x') + "Tremora - ";
    std::string beyond = std::string(190, 'x') + "Tremora - a.evt";
    setUtf8Title(window(root), beyond);
    EXPECT_FALSE(anyWindowTitleContains("Tremora - ", xvfb->name().c_str()));
    std::string accented;
    for (int i = 0; i < 189; ++i)
        accented += "\xC3\xBC";
    setUtf8Title(window(root), accented + "Tremora - ");
    EXPECT_TRUE(anyWindowTitleContains("Tremora - ", xvfb->name().c_str()));
    EXPECT_EQ(leadingCharacters(within, 199), within);
    EXPECT_EQ(leadingCharacters(beyond, 199), beyond.substr(0, 199));
    EXPECT_EQ(leadingCharacters(accented, 188), accented.substr(0, 376)) << "no cut letter";
    EXPECT_EQ(leadingCharacters("\xC3\xBC"
                                "b",
                                1),
              "\xC3\xBC");
}

TEST(WindowTitlesWithoutDisplay, NoDisplayMeansNoWindows) {
    ScopedEnvironment unset("DISPLAY", std::nullopt);
    EXPECT_TRUE(listTopLevelWindowTitles().empty());
    EXPECT_FALSE(anyWindowTitleContains("Tremora - "));
    EXPECT_TRUE(listTopLevelWindowTitles(":64999").empty());
}

}  // namespace
}  // namespace orvane
