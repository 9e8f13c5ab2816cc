// The whole road of an event file through the browser as a process: a link
// on a page served by nginx or vsftpd on loopback, the diversion, the status
// dialog, the saved file and the stand-in viewer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/profile_file.h"
#include "tests/browser/browser_on_display.h"
#include "tests/browser/loopback_servers.h"
#include "tests/browser/x_window_probe.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::readFileText;
using testing::waitUntil;

constexpr char kHttpTitle[] = "HTTP Transfer Status";

// A page whose script follows the link named after its "#", as a click would.
constexpr char kClickPage[] =
    "<html><head><title>Click</title><script>window.onload = function() {"
    " var a = document.createElement('a'); a.id = 'go'; a.textContent = 'event';"
    " a.href = decodeURIComponent(location.hash.substring(1)); document.body.appendChild(a);"
    " setTimeout(function() { a.click(); }, 300); };</script></head><body></body></html>";
// The same link inside a frame.
constexpr char kFramesPage[] =
    "<html><head><title>Frames</title><script>window.onload = function() {"
    " var f = document.createElement('iframe'); f.src = 'click.html' + location.hash;"
    " document.body.appendChild(f); };</script></head><body>frames</body></html>";

std::string page(const std::string& title) {
    return "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>";
}

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class DownloadOnDisplay : public testing::BrowserOnDisplayBase {
  protected:
    void SetUp() override {
        BrowserOnDisplayBase::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(testing::programInstalled("nginx"));
        ASSERT_TRUE(testing::programInstalled("vsftpd"));
        ASSERT_TRUE(testing::programInstalled("xdotool"));
        writeSite();
        web = std::make_unique<testing::RealServer>("nginx", site, home / "nginx");
        ftp = std::make_unique<testing::RealServer>("vsftpd", site, home / "vsftpd");
        ASSERT_TRUE(web->running()) << web->failure();
        ASSERT_TRUE(ftp->running()) << ftp->failure();
        fs::create_directories(downloads);
        configure(true);
    }
    void writeSite() {
        writeFile(site + "/click.html", kClickPage);
        writeFile(site + "/frames.html", kFramesPage);
        writeFile(site + "/first.html", page("First Page"));
        writeFile(site + "/second.html", page("Second Page"));
        writeFile(site + "/untitled.html", "<html><body>no title</body></html>");
        writeFile(site + "/quakes/2001/index.html", page("Quakes 2001"));
        writeFile(site + "/quakes/2001/0101.evt", eventBytes);
        writeFile(site + "/quakes/2001/0202.evt", smallEventBytes);
    }
    void configure(bool withDownloadDirectory) {
        ProfileFile settings(home / "cfg/orvane/ORVANEEXPLORER.INI");
        settings.writeString("Endpoints", "MainWebHost",
                             "127.0.0.1:" + std::to_string(web->port()));
        settings.writeString("Endpoints", "FtpHost", "127.0.0.1:" + std::to_string(ftp->port()));
        settings.writeString("Endpoints", "MirrorHost", "127.0.0.1:" + std::to_string(mirrorPort));
        settings.writeString("Endpoints", "IrisHost", "localhost:" + std::to_string(ftp->port()));
        settings.writeString("Endpoints", "HomePage", httpUrl("/first.html"));
        settings.writeString("Settings", "DownloadDir", withDownloadDirectory ? downloads : "");
    }
    std::string httpUrl(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(web->port()) + path;
    }
    std::string ftpUrl(const std::string& path) const {
        return "ftp://127.0.0.1:" + std::to_string(ftp->port()) + path;
    }
    std::string clickPage(const std::string& link) const { return httpUrl("/click.html#" + link); }
    std::string viewerLog() const { return readFileText(home / "viewer.log"); }
    bool viewerGot(const std::string& path) const {
        return waitUntil([&] { return viewerLog() == path + "\n"; }, kWaitMs);
    }
    std::vector<std::string> downloaded() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(downloads))
            names.push_back(entry.path().filename());
        return names;
    }
    std::string errors() const { return readFileText(home / "orvaneexplorer.err"); }
    // Presses keys in the window with that exact title (xdotool). A window
    // that is listed but not yet mapped cannot take the focus: try again. A
    // key that closes its window leaves no window for the key's release,
    // which xdotool reports as a failed X_SendEvent: the key did arrive.
    bool pressKeys(const std::string& title, const std::vector<std::string>& keys) const {
        std::vector<std::string> arguments{"search",      "--sync", "--name", "^" + title + "$",
                                           "windowfocus", "--sync", "key",    "--delay",
                                           "100"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        for (int attempt = 0; attempt < 10; ++attempt) {
            auto result = testing::runProgram("/usr/bin/xdotool", arguments,
                                              {{"DISPLAY", xvfb->name()}}, 5000);
            if (result.exitStatus == 0 ||
                result.standardError.find("X_SendEvent") != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return false;
    }

    std::string site = home / "site";
    std::string downloads = home / "My Events";
    std::string eventBytes = randomBytes(1 << 20, 1);
    std::string smallEventBytes = randomBytes(3000, 2);
    int mirrorPort = 9;  // the trickling server's, where a test starts one
    std::unique_ptr<testing::RealServer> web, ftp;
};

TEST_F(DownloadOnDisplay, AnHttpEventLinkIsDownloadedByteExactAndStartsTheViewer) {
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/QUAKES/2001/0101.EVT"))});
    ASSERT_TRUE(viewerGot(downloads + "/0101.evt")) << viewerLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/0101.evt"), eventBytes);
    EXPECT_EQ(downloaded(), std::vector<std::string>{"0101.evt"});
    EXPECT_TRUE(titleShown("Tremora - 0101.evt"));
    EXPECT_TRUE(titleShown("Click - Orvane Explorer")) << "the page stays where it was";
    screenshot("http-download-main-window", "Click - Orvane Explorer");
}

TEST_F(DownloadOnDisplay, AnFtpEventLinkReachesARunningViewerByDde) {
    auto viewer = start("trmvw32.exe", {"--max-seconds", "120"});
    ASSERT_TRUE(titleShown("Tremora - "));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(home / "run/orvane-dde/trmvw32"); }, kWaitMs));
    auto browser = start("orvaneexplorer", {clickPage(ftpUrl("/quakes/2001/0202.evt"))});
    ASSERT_TRUE(viewerGot(downloads + "/0202.evt")) << viewerLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/0202.evt"), smallEventBytes);
    EXPECT_TRUE(titleShown("Tremora - 0202.evt"));
    EXPECT_EQ(windowsContaining("Tremora - "), 1) << "no second viewer";
}

TEST_F(DownloadOnDisplay, AnEventLinkInsideAFrameIsDivertedToo) {
    auto browser =
        start("orvaneexplorer", {httpUrl("/frames.html#") + httpUrl("/quakes/2001/0202.evt")});
    ASSERT_TRUE(viewerGot(downloads + "/0202.evt")) << viewerLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/0202.evt"), smallEventBytes);
    EXPECT_TRUE(titleShown("Frames - Orvane Explorer"));
}

TEST_F(DownloadOnDisplay, AFolderUrlIsShownAndTheTitleFollowsThePage) {
    auto browser = start("orvaneexplorer", {httpUrl("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer")) << errors();
    ASSERT_EQ(sendOpen(httpUrl("/quakes/2001/")).exitStatus, 0);
    EXPECT_TRUE(titleShown("Quakes 2001 - Orvane Explorer"));
    ASSERT_EQ(sendOpen(httpUrl("/second.html")).exitStatus, 0);
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer"));
    // A page without a title is named by its address.
    ASSERT_EQ(sendOpen(httpUrl("/untitled.html")).exitStatus, 0);
    EXPECT_TRUE(titleShown(httpUrl("/untitled.html") + " - Orvane Explorer"));
    EXPECT_TRUE(downloaded().empty());
    EXPECT_EQ(windowsContaining("Transfer Status"), 0);
}

TEST_F(DownloadOnDisplay, AFailedDownloadShowsItsTextAndNeverReachesTheViewer) {
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneDialog";
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/missing.evt"))});
    ASSERT_TRUE(titleShown(kHttpTitle)) << errors();
    // The status line of the dialog (control 258) shows the failure; GLib
    // prints the dialog's debug log on standard output.
    auto shown = [&] { return readFileText(home / "orvaneexplorer.out"); };
    EXPECT_TRUE(waitUntil(
        [&] {
            return shown().find("OrvaneDialog-DEBUG: ") != std::string::npos &&
                   shown().find(": 258 File Not Found\n") != std::string::npos;
        },
        kWaitMs))
        << shown();
    EXPECT_TRUE(titleShown(kHttpTitle, 100)) << "the dialog waits for the user";
    screenshot("failed-download-status-dialog", kHttpTitle);
    EXPECT_TRUE(downloaded().empty());
    EXPECT_EQ(viewerLog(), "");
    EXPECT_EQ(windowsContaining("Tremora - "), 0);
}

TEST_F(DownloadOnDisplay, WithoutADownloadDirectoryTheSelectionMessageComesFirst) {
    configure(false);
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/0202.evt"))});
    ASSERT_TRUE(titleShown("Orvane Explorer")) << errors();
    screenshot("no-download-directory-message", "Orvane Explorer");
    EXPECT_EQ(windowsContaining("Download Directory"), 0) << "the message comes first";
    ASSERT_TRUE(pressKeys("Orvane Explorer", {"Return"}));
    ASSERT_TRUE(titleShown("Download Directory"));
    ASSERT_TRUE(pressKeys("Download Directory", {"Escape"}));
    EXPECT_TRUE(waitUntil([&] { return windowsContaining("Download Directory") == 0; }, kWaitMs));
    // A later command shown means the refused download has had its turn.
    ASSERT_EQ(sendOpen(httpUrl("/second.html")).exitStatus, 0);
    ASSERT_TRUE(titleShown("Second Page - Orvane Explorer"));
    EXPECT_EQ(windowsContaining("Transfer Status"), 0);
    EXPECT_EQ(viewerLog(), "");
    EXPECT_EQ(
        ProfileFile(home / "cfg/orvane/ORVANEEXPLORER.INI").readString("Settings", "DownloadDir"),
        "");
}

TEST_F(DownloadOnDisplay, TheAcceleratorKeysMoveThroughTheHistory) {
    auto browser = start("orvaneexplorer", {httpUrl("/first.html")});
    ASSERT_TRUE(titleShown("First Page - Orvane Explorer")) << errors();
    ASSERT_EQ(sendOpen(httpUrl("/second.html")).exitStatus, 0);
    ASSERT_TRUE(titleShown("Second Page - Orvane Explorer"));
    ASSERT_TRUE(pressKeys("Second Page - Orvane Explorer", {"alt+Left"}));
    EXPECT_TRUE(titleShown("First Page - Orvane Explorer"));
    ASSERT_TRUE(pressKeys("First Page - Orvane Explorer", {"alt+Right"}));
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer"));
}

// A download under way when the program is told to end.
class SlowDownloadOnDisplay : public DownloadOnDisplay {
  protected:
    void SetUp() override {
        trickle = std::make_unique<testing::TricklingWebServer>(2 << 20, 8192, 50);
        mirrorPort = trickle->port();
        DownloadOnDisplay::SetUp();
    }
    std::string slowLink() const {
        return "http://127.0.0.1:" + std::to_string(mirrorPort) + "/quakes/slow.evt";
    }
    std::unique_ptr<testing::TricklingWebServer> trickle;
};

TEST_F(SlowDownloadOnDisplay, EndingTheProgramDuringADownloadLeavesNoPartialFile) {
    std::ofstream(downloads + "/slow.evt") << "the user's earlier file";
    auto browser = start("orvaneexplorer", {clickPage(slowLink())});
    ASSERT_TRUE(titleShown(kHttpTitle)) << errors();
    ASSERT_TRUE(waitUntil([&] { return trickle->sent() > 200000; }, kWaitMs));
    screenshot("download-under-way-status-dialog", kHttpTitle);
    screenshot("download-under-way-display");
    browser->terminate();
    EXPECT_EQ(browser->waitForExit(kWaitMs), 0) << errors();
    EXPECT_EQ(downloaded(), std::vector<std::string>{"slow.evt"}) << "no partial or temporary file";
    EXPECT_EQ(readFileText(downloads + "/slow.evt"), "the user's earlier file");
    EXPECT_TRUE(waitUntil([&] { return trickle->clientLeftEarly(); }, kWaitMs));
    EXPECT_EQ(viewerLog(), "");
}

TEST_F(SlowDownloadOnDisplay, TheCloseBoxDuringADownloadCancelsItAndEndsTheProgram) {
    ASSERT_TRUE(testing::programInstalled("openbox"));
    auto windowManager = std::make_unique<testing::ChildProcess>(
        "/usr/bin/openbox", std::vector<std::string>{"--sm-disable"}, environment(),
        home / "openbox.err");
    testing::XWindowProbe probe(xvfb->name());
    ASSERT_TRUE(probe.connected());
    ASSERT_TRUE(waitUntil([&] { return probe.windowManagerReady(); }, kWaitMs));
    auto browser = start("orvaneexplorer", {clickPage(slowLink())});
    ASSERT_TRUE(titleShown(kHttpTitle)) << errors();
    ASSERT_TRUE(waitUntil([&] { return trickle->sent() > 100000; }, kWaitMs));
    screenshot("download-under-way-with-window-manager");
    auto frame = probe.findWindow("Click - Orvane Explorer");
    ASSERT_TRUE(frame);
    probe.close(*frame);
    EXPECT_EQ(browser->waitForExit(kWaitMs), 0) << errors();
    EXPECT_TRUE(fs::is_empty(downloads)) << "no partial or temporary file";
    EXPECT_TRUE(waitUntil([&] { return trickle->clientLeftEarly(); }, kWaitMs));
}

}  // namespace
}  // namespace orvane
