// The stand-in viewer trmvw32.exe as a process on a private X display.

#include <gtest/gtest.h>

// After gtest: the X headers define macros (None, Bool) that gtest uses as names.
#include <X11/Xlib.h>

#include <filesystem>
#include <memory>

#include "platform/window_titles.h"
#include "tests/platform/required_program.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/wait_until.h"
#include "tools/testkit/xvfb_display.h"

namespace orvane {
namespace {

using testkit::ChildProcess;
using testkit::programFolder;
using testkit::ProgramResult;
using testkit::readFileText;
using testkit::runProgram;
using testkit::TempFolder;
using testkit::waitUntil;
using testkit::XvfbDisplay;

constexpr int kWaitMs = 15000;

class StandinViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::programInstalled("Xvfb"));
        xvfb = std::make_unique<XvfbDisplay>();
        ASSERT_TRUE(xvfb->running());
    }

    std::map<std::string, std::string> environment() const {
        return {{"DISPLAY", xvfb->name()},
                {"XDG_RUNTIME_DIR", runtime.path()},
                {"TREMORA_STANDIN_LOG", log},
                {"NO_AT_BRIDGE", "1"}};
    }
    std::unique_ptr<ChildProcess> startViewer(const std::vector<std::string>& arguments) {
        auto viewer = std::make_unique<ChildProcess>(programFolder() + "/trmvw32.exe", arguments,
                                                     environment(), runtime / "viewer.err");
        EXPECT_TRUE(viewer->started());
        return viewer;
    }
    bool titleShown(const std::string& title) const {
        return waitUntil(
            [&] {
                auto titles = listTopLevelWindowTitles(xvfb->name().c_str());
                return std::find(titles.begin(), titles.end(), title) != titles.end();
            },
            kWaitMs);
    }
    bool serving() const {
        return waitUntil([&] { return std::filesystem::exists(runtime / "orvane-dde/trmvw32"); },
                         kWaitMs);
    }
    ProgramResult sendDde(const std::string& command) const {
        return runProgram(programFolder() + "/orvane-dde", {"trmvw32", "System", command},
                          environment(), kWaitMs);
    }
    std::string viewerErrors() const { return readFileText(runtime / "viewer.err"); }

    std::unique_ptr<XvfbDisplay> xvfb;
    TempFolder runtime;
    std::string log = runtime / "viewer.log";
};

TEST_F(StandinViewerTest, AFileOnTheCommandLineIsShownAndLoggedAsOneLine) {
    std::string file = runtime / "my events/quake 2002; `id`.evt";
    auto viewer = startViewer({file});
    EXPECT_TRUE(titleShown("Tremora - quake 2002; `id`.evt"));
    EXPECT_EQ(readFileText(log), file + "\n");
    viewer->terminate();
    EXPECT_EQ(viewer->waitForExit(kWaitMs), 0);
    EXPECT_FALSE(std::filesystem::exists(runtime / "orvane-dde/trmvw32"));
    EXPECT_EQ(viewerErrors(), "");
}

TEST_F(StandinViewerTest, EveryArgumentIsAFileOfItsOwn) {
    auto viewer = startViewer({"/data/quake", "2002.evt"});
    EXPECT_TRUE(titleShown("Tremora - 2002.evt")) << viewerErrors();
    EXPECT_EQ(readFileText(log), "/data/quake\n2002.evt\n");
}

TEST_F(StandinViewerTest, WithoutAFileTheTitleIsTheBareMark) {
    auto viewer = startViewer({});
    EXPECT_TRUE(titleShown("Tremora - ")) << viewerErrors();
    EXPECT_FALSE(std::filesystem::exists(log));
}

TEST_F(StandinViewerTest, ADdeOpenReachesTheViewerAndAMalformedOneIsRefused) {
    auto viewer = startViewer({});
    ASSERT_TRUE(serving()) << viewerErrors();
    ProgramResult opened = sendDde("[open(\"/srv/event files/b 17.evt\")]");
    EXPECT_EQ(opened.exitStatus, 0);
    EXPECT_EQ(opened.standardError, "");
    EXPECT_TRUE(titleShown("Tremora - b 17.evt")) << viewerErrors();
    for (const char* malformed : {"[open(/srv/c.evt)]", "[open(\"\")]", "[close(\"/srv/c.evt\")]",
                                  "[open(\"/srv/c.evt\")] extra", "open(\"/srv/c.evt\")"}) {
        ProgramResult refused = sendDde(malformed);
        EXPECT_EQ(refused.exitStatus, 0) << malformed;
        EXPECT_EQ(refused.standardError,
                  "orvane-dde: service \"trmvw32\" did not handle the command\n")
            << malformed;
    }
    EXPECT_EQ(readFileText(log), "/srv/event files/b 17.evt\n");
    EXPECT_TRUE(titleShown("Tremora - b 17.evt")) << viewerErrors();
}

TEST_F(StandinViewerTest, ALineBreakInAPathStillMakesOneLogLine) {
    auto viewer = startViewer({});
    ASSERT_TRUE(serving()) << viewerErrors();
    EXPECT_EQ(sendDde("[open(\"/srv/two\nlines.evt\")]").exitStatus, 0);
    EXPECT_EQ(readFileText(log), "/srv/two\\nlines.evt\n");
}

TEST_F(StandinViewerTest, ClosingTheWindowEndsTheViewer) {
    auto viewer = startViewer({"/srv/a.evt"});
    ASSERT_TRUE(titleShown("Tremora - a.evt")) << viewerErrors();
    Display* display = XOpenDisplay(xvfb->name().c_str());
    ASSERT_NE(display, nullptr);
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, root, &root, &parent, &children, &count);
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    for (unsigned i = 0; i < count; ++i) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = children[i];
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(deleteWindow);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, children[i], False, NoEventMask, &event);
    }
    XFree(children);
    XCloseDisplay(display);
    EXPECT_EQ(viewer->waitForExit(kWaitMs), 0);
}

TEST_F(StandinViewerTest, MaxSecondsEndsItAndASecondViewerHasNoService) {
    auto first = startViewer({});
    ASSERT_TRUE(serving()) << viewerErrors();
    ProgramResult second =
        runProgram(programFolder() + "/trmvw32.exe", {"--max-seconds", "1", "/srv/second.evt"},
                   environment(), kWaitMs);
    EXPECT_EQ(second.exitStatus, 0);
    EXPECT_EQ(second.standardError, "trmvw32.exe: no DDE service: another server already serves " +
                                        runtime.path() + "/orvane-dde/trmvw32\n");
    EXPECT_TRUE(first->running());
    EXPECT_EQ(readFileText(log), "/srv/second.evt\n");
    EXPECT_EQ(sendDde("[open(\"/srv/third.evt\")]").exitStatus, 0);
    EXPECT_EQ(readFileText(log), "/srv/second.evt\n/srv/third.evt\n");
}

TEST(StandinViewerProgram, WrongOptionsOrNoDisplayEndAtOnce) {
    TempFolder runtime;
    std::map<std::string, std::string> noDisplay{
        {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"XDG_RUNTIME_DIR", runtime.path()}};
    std::string viewer = programFolder() + "/trmvw32.exe";
    ProgramResult usage = runProgram(viewer, {"--max-seconds", "soon"}, noDisplay, kWaitMs);
    EXPECT_EQ(usage.exitStatus, 2);
    EXPECT_EQ(usage.standardError, "usage: trmvw32.exe [--max-seconds N] [--] [FILE...]\n");
    EXPECT_EQ(runProgram(viewer, {"--max-seconds"}, noDisplay, kWaitMs).exitStatus, 2);
    ProgramResult headless = runProgram(viewer, {"/srv/a.evt"}, noDisplay, kWaitMs);
    EXPECT_EQ(headless.exitStatus, 1);
    EXPECT_EQ(headless.standardError, "trmvw32.exe: cannot open the display\n");
}

}  // namespace
}  // namespace orvane
