// OrvaneExplorer and its viewer hand-off on a private X display.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "browser/app.h"
#include "browser/platform_world.h"
#include "platform/profile_file.h"
#include "platform/window_titles.h"
#include "tests/browser/browser_on_display.h"
#include "tests/browser/fake_desktop.h"
#include "tests/browser/x_window_probe.h"
#include "tests/platform/child_process.h"
#include "tests/platform/scoped_environment.h"
#include "tests/platform/temp_folder.h"
#include "tests/platform/xvfb_display.h"
#include "tools/testkit/local_web_server.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::programFolder;
using testing::readFileText;
using testing::runProgram;
using testing::ScopedEnvironment;
using testing::TempFolder;
using testing::waitUntil;
using testing::XvfbDisplay;
using testing::XWindowProbe;

std::string page(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>";
}

class BrowserOnDisplay : public testing::BrowserOnDisplayBase {
  protected:
    ProfileFile settings() const { return ProfileFile(home / "cfg/orvane/ORVANEEXPLORER.INI"); }

    testkit::LocalWebServer web{{{"/first.html", page("First Page")},
                                 {"/second.html", page("Second Page")},
                                 {"/third.html", page("Third Page")}}};
};

TEST_F(BrowserOnDisplay, StartsWithNoSettingsAtAllAndRegistersItsLocation) {
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"))
        << readFileText(home / "orvaneexplorer.err");
    EXPECT_EQ(windowsContaining("Download directory"), 0);
    RegistryStore store(RegistryFiles{home / "hklm.ini", home / "hkcu.ini"});
    auto key =
        store.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\Orvane Network\\OrvaneExplorer");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->queryValue("Location"),
              fs::canonical(programFolder()).string() + "/orvaneexplorer");
}

TEST_F(BrowserOnDisplay, OpenCommandNavigatesAndMalformedOneIsRefused) {
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    ASSERT_TRUE(
        waitUntil([&] { return fs::exists(home / "run/orvane-dde/orvaneexplorer"); }, kWaitMs));

    auto sent = sendOpen(web.url("/second.html"));
    EXPECT_EQ(sent.exitStatus, 0) << sent.standardError;
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer"));

    auto refused = sendCommand("[open(" + web.url("/third.html") + ")]");
    EXPECT_EQ(refused.exitStatus, 0);
    EXPECT_NE(refused.standardError.find("did not handle the command"), std::string::npos)
        << refused.standardError;
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer"));
    // Commands are handled in order: once a later good one has been shown,
    // the refused one has had its turn.
    ASSERT_EQ(sendOpen(web.url("/first.html")).exitStatus, 0);
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto asked = web.requests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "/third.html"), 0);
}

// A window manager is needed to maximise, activate and decorate windows.
class BrowserWithWindowManager : public BrowserOnDisplay {
  protected:
    void SetUp() override {
        BrowserOnDisplay::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(testing::programInstalled("openbox"));
        windowManager = std::make_unique<ChildProcess>("/usr/bin/openbox",
                                                       std::vector<std::string>{"--sm-disable"},
                                                       environment(), home / "openbox.err");
        probe = std::make_unique<XWindowProbe>(xvfb->name());
        ASSERT_TRUE(probe->connected());
        ASSERT_TRUE(waitUntil([&] { return probe->windowManagerReady(); }, kWaitMs))
            << readFileText(home / "openbox.err");
    }
    std::unique_ptr<ChildProcess> windowManager;
    std::unique_ptr<XWindowProbe> probe;
};

TEST_F(BrowserWithWindowManager, OpenCommandBringsTheBrowserForward) {
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto viewer = start("trmvw32.exe", {"--max-seconds", "60"});
    ASSERT_TRUE(waitUntil([&] { return probe->activeWindowTitle() == "Tremora - "; }, kWaitMs))
        << probe->activeWindowTitle();
    ASSERT_EQ(sendOpen(web.url("/second.html")).exitStatus, 0);
    EXPECT_TRUE(waitUntil(
        [&] { return probe->activeWindowTitle() == "Second Page - Orvane Explorer"; }, kWaitMs))
        << probe->activeWindowTitle();
}

TEST_F(BrowserWithWindowManager, AMaximisedWindowComesBackNormalAtItsSavedRectangle) {
    settings().writeString("Settings", "FramePos", "-1 -1 -1 -1 120 90 920 690");
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto window = probe->findWindow("First Page - Orvane Explorer");
    ASSERT_TRUE(window);
    auto normal = probe->geometry(*window);
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->width, 800);
    EXPECT_EQ(normal->height, 600);
    probe->maximize(*window);
    ASSERT_TRUE(waitUntil([&] { return probe->isMaximized(*window); }, kWaitMs));
    probe->close(*window);
    ASSERT_EQ(browser->waitForExit(kWaitMs), 0);
    EXPECT_EQ(settings().readString("Settings", "FramePos"), "-1 -1 -1 -1 120 90 920 690");

    auto again = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto reopened = probe->findWindow("First Page - Orvane Explorer");
    ASSERT_TRUE(reopened);
    ASSERT_TRUE(waitUntil([&] { return probe->managed(*reopened); }, kWaitMs));
    EXPECT_FALSE(probe->isMaximized(*reopened));
    auto restored = probe->geometry(*reopened);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->width, 800);
    EXPECT_EQ(restored->height, 600);
    EXPECT_EQ(restored->x, normal->x);
    EXPECT_EQ(restored->y, normal->y);
}

// The hand-off of a saved file to the viewer, through the real desktop.
class HandOffOnDisplay : public BrowserOnDisplay {
  protected:
    void SetUp() override {
        BrowserOnDisplay::SetUp();
        if (IsSkipped())
            return;
        display = std::make_unique<ScopedEnvironment>("DISPLAY", xvfb->name());
        runtime = std::make_unique<ScopedEnvironment>("XDG_RUNTIME_DIR", home / "run");
        viewerLogFile =
            std::make_unique<ScopedEnvironment>("TREMORA_STANDIN_LOG", home / "viewer.log");
        app = std::make_unique<CBrowserApp>(
            desktop, world, ProfileFile(home / "settings.ini"),
            RegistryStore(RegistryFiles{home / "m.ini", home / "u.ini"}));
        app->m_szProgramDir = home.path() + "/";
    }
    std::string viewerLog() const { return readFileText(home / "viewer.log"); }

    std::unique_ptr<ScopedEnvironment> display, runtime, viewerLogFile;
    testing::FakeDesktop desktop;
    PlatformWorld world;
    std::unique_ptr<CBrowserApp> app;
};

TEST_F(HandOffOnDisplay, ARunningViewerGetsTheFileByDdeAndNoSecondOneStarts) {
    auto viewer = start("trmvw32.exe", {"--max-seconds", "60"});
    ASSERT_TRUE(titleShown("Tremora - "));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(home / "run/orvane-dde/trmvw32"); }, kWaitMs));
    std::string file = home / "My Events/quake 1.evt";
    EXPECT_EQ(app->OpenInViewer(file, "trmvw32"), 1);
    EXPECT_TRUE(waitUntil([&] { return viewerLog() == file + "\n"; }, kWaitMs)) << viewerLog();
    EXPECT_TRUE(titleShown("Tremora - quake 1.evt"));
    EXPECT_EQ(windowsContaining("Tremora - "), 1);
}

TEST_F(HandOffOnDisplay, WithoutAViewerWindowTheViewerIsStartedWithThePathAsOneArgument) {
    std::string file = home / "My Events/quake; $(2) 'x'.evt";
    EXPECT_EQ(app->OpenInViewer(file, "trmvw32"), 0);
    app->m_szViewerPath = programFolder() + "/trmvw32.exe";
    app->StartViewer(file);
    EXPECT_TRUE(waitUntil([&] { return viewerLog() == file + "\n"; }, kWaitMs)) << viewerLog();
    EXPECT_TRUE(titleShown("Tremora - quake; $(2) 'x'.evt"));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(HandOffOnDisplay, WithNoViewerAnywhereTheMessageIsShown) {
    app->StartViewer(home / "a.evt");
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0],
              "Unable to start Tremora. Please make sure that this program (OrvaneExplorer.exe)\n"
              "and trmvw32.exe are located in the same directory.You can also locate Tremora\n"
              "using the File / Locate Tremora menu items.");
}

}  // namespace
}  // namespace orvane
