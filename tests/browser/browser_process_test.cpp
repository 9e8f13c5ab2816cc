// OrvaneExplorer and its viewer hand-off on a private X display.

#include <glib.h>
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
#include "tests/platform/scoped_environment.h"
#include "tools/synthetic_event/synthetic_event.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/local_web_server.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/wait_until.h"
#include "tools/testkit/xvfb_display.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;
using testing::XWindowProbe;
using testkit::ChildProcess;
using testkit::programFolder;
using testkit::readFileText;
using testkit::runProgram;
using testkit::TempFolder;
using testkit::waitUntil;
using testkit::XvfbDisplay;

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

// What a member types after the program's name, as the address box takes it.
TEST_F(BrowserOnDisplay, TheCommandLineTakesFilesHomeFilesAndAddressesWithoutScheme) {
    std::ofstream(home / "page.html") << page("Local Page");
    std::ofstream(home / "start page.html") << page("Home File");
    workingFolder = home.path();
    auto relative = start("orvaneexplorer", {"page.html"});
    EXPECT_TRUE(titleShown("Local Page - Orvane Explorer"))
        << readFileText(home / "orvaneexplorer.err");
    relative->terminate();
    ASSERT_EQ(relative->waitForExit(kWaitMs), 0);
    // "~" as a quoted argument reaches the program unexpanded.
    auto inHome = start("orvaneexplorer", {"~/start page.html"});
    EXPECT_TRUE(titleShown("Home File - Orvane Explorer"))
        << readFileText(home / "orvaneexplorer.err");
    inHome->terminate();
    ASSERT_EQ(inHome->waitForExit(kWaitMs), 0);
    auto address =
        start("orvaneexplorer", {"127.0.0.1:" + std::to_string(web.port()) + "/second.html"});
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer"))
        << readFileText(home / "orvaneexplorer.err");
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
        startWindowManager();
    }
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

// From the build tree (build/bin) and from an installed tree (PREFIX/bin,
// the page in PREFIX/share/orvane, the icon theme in PREFIX/share/icons;
// run as Installed.*): the window carries the program's icon and the class
// the desktop entry names, and Help / Help on Orvane Explorer finds its page.
TEST_F(BrowserWithWindowManager, HelpFindsItsPageAndTheWindowShowsItsIcon) {
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto window = probe->findWindow("First Page - Orvane Explorer");
    ASSERT_TRUE(window);
    EXPECT_EQ(probe->windowClass(*window), "OrvaneExplorer");
    EXPECT_FALSE(probe->iconWidths(*window).empty()) << "the window has no icon";
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"alt+h", "h"}));
    EXPECT_TRUE(titleShown("Orvane Explorer Help - Orvane Explorer"))
        << readFileText(home / "orvaneexplorer.err");
}

// Ctrl+R reloads, Ctrl+Shift+R reloads past the cache (the server is asked
// with no-cache), F11 and Esc go in and out of full screen, Ctrl+L selects
// the address so that typing replaces it; Add to Favorites writes the page's
// shortcut, and the menu lists it at once.
TEST_F(BrowserWithWindowManager, TheBrowsersKeysAndAddToFavoritesWorkInTheRunningProgram) {
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame";
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto asked = [&] {
        auto all = web.requests();
        return std::count(all.begin(), all.end(), "/first.html");
    };
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"ctrl+r"}));
    ASSERT_TRUE(waitUntil([&] { return asked() == 2; }, kWaitMs)) << asked();
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"ctrl+shift+r"}));
    ASSERT_TRUE(waitUntil([&] { return asked() == 3; }, kWaitMs)) << asked();
    auto firstHeads = web.requestHeaders("/first.html");
    ASSERT_EQ(firstHeads.size(), 3u);
    EXPECT_EQ(firstHeads[1].find("no-cache"), std::string::npos) << firstHeads[1];
    EXPECT_NE(firstHeads[2].find("no-cache"), std::string::npos) << firstHeads[2];

    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"F11"}));
    EXPECT_TRUE(logged("window on the whole screen")) << frameLog();
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"Escape"}));
    EXPECT_TRUE(logged("window back from the whole screen")) << frameLog();

    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"ctrl+l"}));
    ASSERT_TRUE(typeText("First Page - Orvane Explorer", web.url("/second.html")));
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"Return"}));
    ASSERT_TRUE(titleShown("Second Page - Orvane Explorer")) << "the address was not replaced";

    ASSERT_TRUE(pressKeys("Second Page - Orvane Explorer", {"alt+a", "a"}));
    std::string shortcut = home / "data/orvane/Favorites/Second Page.url";
    ASSERT_TRUE(waitUntil([&] { return fs::exists(shortcut); }, kWaitMs)) << frameLog();
    EXPECT_EQ(readFileText(shortcut),
              "[InternetShortcut]\r\nURL=" + web.url("/second.html") + "\r\n");
    ASSERT_TRUE(pressKeys("Second Page - Orvane Explorer", {"alt+Left"}));
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    // The favourite is the menu's last item: Up from its first one.
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"alt+a", "Up", "Return"}));
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer")) << frameLog();
}

// A login's cookie outlives the run, kept with everything else WebKit
// stores under the program's own folders; Clear Browsing Data forgets it.
TEST_F(BrowserWithWindowManager, ACookieSetInOneRunIsSentInTheNextUntilBrowsingDataIsCleared) {
    web.addResponseHeader("/first.html", "Set-Cookie: session=member42; Max-Age=86400; Path=/");
    auto cookieSent = [&](const std::string& path) {
        auto headers = web.requestHeaders(path);
        return !headers.empty() &&
               headers.back().find("\r\nCookie: session=member42") != std::string::npos;
    };
    auto first = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto window = probe->findWindow("First Page - Orvane Explorer");
    ASSERT_TRUE(window);
    probe->close(*window);
    ASSERT_EQ(first->waitForExit(kWaitMs), 0) << readFileText(home / "orvaneexplorer.err");

    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame";
    auto second = start("orvaneexplorer", {web.url("/second.html")});
    ASSERT_TRUE(titleShown("Second Page - Orvane Explorer"));
    EXPECT_TRUE(cookieSent("/second.html")) << web.requestHeaders("/second.html").back();
    EXPECT_TRUE(fs::is_regular_file(home / "data/orvane/cookies.sqlite"));
    EXPECT_TRUE(fs::is_directory(home / "cache/orvane"));
    EXPECT_FALSE(fs::exists(home / "data/orvaneexplorer")) << "nothing under a second name";
    EXPECT_FALSE(fs::exists(home / "cache/orvaneexplorer"));

    ASSERT_TRUE(pressKeys("Second Page - Orvane Explorer", {"alt+v", "l"}));
    ASSERT_TRUE(logged("status \"Browsing data cleared\"")) << frameLog();
    ASSERT_EQ(sendOpen(web.url("/third.html")).exitStatus, 0);
    ASSERT_TRUE(titleShown("Third Page - Orvane Explorer"));
    ASSERT_FALSE(web.requestHeaders("/third.html").empty());
    EXPECT_FALSE(cookieSent("/third.html")) << web.requestHeaders("/third.html").back();
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

TEST_F(BrowserWithWindowManager, CommandsSentWhileTheStartUpMessageIsOpenWaitForTheFrame) {
    settings().writeString("Settings", "DownloadDir", home / "gone");
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    // The missing download directory's message comes before the frame.
    ASSERT_TRUE(titleShown("Orvane Explorer")) << readFileText(home / "orvaneexplorer.err");
    ASSERT_TRUE(
        waitUntil([&] { return fs::exists(home / "run/orvane-dde/orvaneexplorer"); }, kWaitMs));
    auto opened = sendOpen(web.url("/second.html"));
    EXPECT_EQ(opened.exitStatus, 0) << opened.standardError;
    EXPECT_EQ(opened.standardError, "") << "accepted, not refused";
    auto empty = sendCommand("");
    EXPECT_EQ(empty.exitStatus, 0) << empty.standardError;
    auto malformed = sendCommand("[open(" + web.url("/third.html") + ")]");
    EXPECT_NE(malformed.standardError.find("did not handle the command"), std::string::npos);
    EXPECT_TRUE(browser->running()) << "alive with the message still open";
    EXPECT_EQ(windowsContaining(" - Orvane Explorer"), 0) << "no frame yet";
    ASSERT_TRUE(pressKeys("Orvane Explorer", {"Return"}));
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer"))
        << readFileText(home / "orvaneexplorer.err");
    EXPECT_TRUE(waitUntil(
        [&] { return probe->activeWindowTitle() == "Second Page - Orvane Explorer"; }, kWaitMs));
    EXPECT_TRUE(browser->running());
    auto asked = web.requests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "/third.html"), 0);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "/first.html"), 0)
        << "the page asked for later replaces the command line's";
}

TEST_F(BrowserWithWindowManager, TheSameAddressListEntryChosenTwiceLoadsTwice) {
    // Every entry of the list points at this loopback server.
    testkit::LocalWebServer network{
        {{"/cgi-dos/event.exe", page("New Events")}, {"/quakes/", page("Archive")}}};
    std::string host = "127.0.0.1:" + std::to_string(network.port());
    for (const char* key : {"MainWebHost", "IrisHost"})
        settings().writeString("Endpoints", key, host);
    settings().writeString("Endpoints", "UsgsHomePage", network.url("/usgs.html"));
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame";
    auto browser = start("orvaneexplorer", {web.url("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer"));
    auto loads = [&] {
        auto asked = network.requests();
        return std::count(asked.begin(), asked.end(), "/cgi-dos/event.exe");
    };
    auto listShown = [&] {
        std::string log = readFileText(home / "orvaneexplorer.out");
        int count = 0;
        for (auto at = log.find("address list shown"); at != std::string::npos;
             at = log.find("address list shown", at + 1))
            ++count;
        return count;
    };
    for (int round = 1; round <= 2; ++round) {
        std::string caption =
            round == 1 ? "First Page - Orvane Explorer" : "New Events - Orvane Explorer";
        ASSERT_TRUE(titleShown(caption));
        ASSERT_TRUE(pressKeys(caption, {"F6", "alt+Down"}));
        ASSERT_TRUE(waitUntil([&] { return listShown() == round; }, kWaitMs));
        // The list has the keyboard: its first entry, then the one chosen
        // last, is the one marked.
        auto chosen =
            runProgram("/usr/bin/xdotool", {"key", "Return"}, {{"DISPLAY", xvfb->name()}}, kWaitMs);
        ASSERT_EQ(chosen.exitStatus, 0) << chosen.standardError;
        EXPECT_TRUE(waitUntil([&] { return loads() == round; }, kWaitMs))
            << "round " << round << ": " << loads() << " loads";
    }
    EXPECT_TRUE(titleShown("New Events - Orvane Explorer"));
}

// The hand-off of a saved file to the viewer, through the real desktop.
class HandOffOnDisplay : public BrowserOnDisplay {
  protected:
    void SetUp() override {
        BrowserOnDisplay::SetUp();
        if (HasFatalFailure())
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
    // OpenInViewer's result, the main loop run until it comes; -1 when it
    // does not.
    int opened(const std::string& path) {
        int result = -1;
        app->OpenInViewer(path, "trmvw32", [&](int delivered) { result = delivered; });
        waitUntil(
            [&] {
                g_main_context_iteration(nullptr, FALSE);
                return result != -1;
            },
            kWaitMs);
        return result;
    }

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
    EXPECT_EQ(opened(file), 1);
    EXPECT_TRUE(waitUntil([&] { return viewerLog() == file + "\n"; }, kWaitMs)) << viewerLog();
    EXPECT_TRUE(titleShown("Tremora - quake 1.evt"));
    EXPECT_EQ(windowsContaining("Tremora - "), 1);
}

TEST_F(HandOffOnDisplay, WithoutAViewerWindowTheViewerIsStartedWithThePathAsOneArgument) {
    std::string file = home / "My Events/quake; $(2) 'x'.evt";
    EXPECT_EQ(opened(file), 0);
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

// Where no Tremora is found, the quick-look beside the browser gets the
// file; a second download reaches the window already open.
TEST_F(HandOffOnDisplay, WithNoTremoraAnywhereTheQuicklookBesideTheBrowserShowsTheFiles) {
    startSessionBus();
    ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", extraEnvironment["DBUS_SESSION_BUS_ADDRESS"]);
    fs::create_symlink(programFolder() + "/orvane-quicklook", home / "orvane-quicklook");
    fs::create_directories(home / "My Events");
    std::string first = home / "My Events/quake 1.mseed", second = home / "My Events/0402.mseed";
    std::ofstream(first, std::ios::binary) << quicklook::eventRecords({});
    std::ofstream(second, std::ios::binary) << quicklook::eventRecords({.seed = 2});

    EXPECT_EQ(opened(first), 0);
    app->StartViewer(first);
    EXPECT_TRUE(titleShown("quake 1.mseed - Quick-look"));
    EXPECT_EQ(opened(second), 0);
    app->StartViewer(second);
    EXPECT_TRUE(titleShown("0402.mseed - Quick-look"));
    EXPECT_EQ(windowsContaining(" - Quick-look"), 1);
    EXPECT_TRUE(desktop.messages.empty());
    // A Tremora beside the browser is the viewer again.
    fs::create_symlink(programFolder() + "/trmvw32.exe", home / "trmvw32.exe");
    app->StartViewer(first);
    EXPECT_TRUE(titleShown("Tremora - quake 1.mseed"));
}

// The quick-look on its own: one window, whatever starts it again.
class QuicklookOnDisplay : public BrowserOnDisplay {
  protected:
    std::string writeEvent(const std::string& name, uint32_t seed) {
        std::ofstream(home / name, std::ios::binary) << quicklook::eventRecords({.seed = seed});
        return home / name;
    }
};

TEST_F(QuicklookOnDisplay, ASecondStartHandsItsFileToTheRunningWindowAndEnds) {
    startSessionBus();
    std::string first = writeEvent("0315.mseed", 1), second = writeEvent("0517.mseed", 2);
    auto window = start("orvane-quicklook", {first});
    ASSERT_TRUE(titleShown("0315.mseed - Quick-look"))
        << readFileText(home / "orvane-quicklook.err");
    auto again =
        runProgram(programFolder() + "/orvane-quicklook", {second}, environment(), kWaitMs);
    EXPECT_EQ(again.exitStatus, 0) << again.standardError;
    EXPECT_TRUE(titleShown("0517.mseed - Quick-look"));
    EXPECT_EQ(windowsContaining(" - Quick-look"), 1);
    EXPECT_TRUE(window->running());
    // A file of the network's own format opens too, and says what it is.
    std::ofstream(home / "0402.evt", std::ios::binary) << std::string(4000, '\x11');
    EXPECT_EQ(runProgram(programFolder() + "/orvane-quicklook", {home / "0402.evt"}, environment(),
                         kWaitMs)
                  .exitStatus,
              0);
    EXPECT_TRUE(titleShown("0402.evt - Quick-look"));
    screenshot("quicklook-evt", "0402.evt - Quick-look");
}

// The window's mouse and keys, seen through its debug log of each drawing
// (the time window shown) and of the status bar.
class QuicklookWithWindowManager : public BrowserWithWindowManager {
  protected:
    std::string log() const { return readFileText(home / "orvane-quicklook.out"); }
    bool logShows(const std::string& text) const {
        return waitUntil([&] { return log().find(text) != std::string::npos; }, kWaitMs);
    }
    // Forgets what the log said so far, so that the next check sees only what
    // follows.
    void forgetLog() { std::ofstream(home / "orvane-quicklook.out", std::ios::trunc); }
    bool mouse(const std::vector<std::string>& action) {
        return inWindow("0315.mseed - Quick-look", action);
    }
};

TEST_F(QuicklookWithWindowManager, WheelZoomsDragsPanAndZoomToARangeHomeShowsAllPointerInStatus) {
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneQuicklook";
    std::ofstream(home / "0315.mseed", std::ios::binary) << quicklook::eventRecords({});
    auto window = start("orvane-quicklook", {home / "0315.mseed"});
    ASSERT_TRUE(titleShown("0315.mseed - Quick-look"));
    ASSERT_TRUE(logShows("drawn: 3 traces"))
        << log() << readFileText(home / "orvane-quicklook.err") << "running: " << window->running();
    ASSERT_TRUE(logShows("from 2024-03-15 10:20:00.000 for 120.000 s")) << log();

    // Over the top band, the vertical: its channel and time in the status.
    ASSERT_TRUE(mouse({"mousemove", "--window", "%1", "300", "120"}));
    EXPECT_TRUE(logShows("UTC   OV.ORV..HHZ   ")) << log();
    forgetLog();
    ASSERT_TRUE(mouse({"click", "4"}));
    EXPECT_TRUE(logShows(" for 96.000 s")) << log();
    // Dragging pans: the same length from a later start (dragged leftwards).
    forgetLog();
    ASSERT_TRUE(
        mouse({"mousedown", "1", "mousemove", "--window", "%1", "100", "120", "mouseup", "1"}));
    EXPECT_TRUE(logShows(" for 96.000 s")) << log();
    EXPECT_EQ(log().find("from 2024-03-15 10:20:00.000"), std::string::npos) << log();
    // Home shows everything again, a range dragged with the right button
    // is zoomed to.
    forgetLog();
    ASSERT_TRUE(pressKeys("0315.mseed - Quick-look", {"Home"}));
    EXPECT_TRUE(logShows("from 2024-03-15 10:20:00.000 for 120.000 s")) << log();
    auto geometry = probe->geometry(*probe->findWindow("0315.mseed - Quick-look"));
    ASSERT_TRUE(geometry);
    forgetLog();
    ASSERT_TRUE(
        mouse({"mousemove", "--window", "%1", "0", "200", "mousedown", "3", "mousemove", "--window",
               "%1", std::to_string(geometry->width / 4), "200", "mouseup", "3"}));
    char range[64];
    std::snprintf(range, sizeof range, "from 2024-03-15 10:20:00.000 for %.3f s",
                  120.0 * (geometry->width / 4) / geometry->width);
    EXPECT_TRUE(logShows(range)) << log();
}

}  // namespace
}  // namespace orvane
