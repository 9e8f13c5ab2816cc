// The whole road of an event file through the browser as a process: a link
// on a page served by nginx or vsftpd on loopback, the diversion, the status
// dialog, the saved file and the stand-in viewer.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/orvane_version.h"
#include "platform/profile_file.h"
#include "tests/browser/browser_on_display.h"
#include "tests/browser/loopback_servers.h"
#include "tests/browser/x_window_probe.h"
#include "tests/platform/wine_test_prefix.h"
#include "tools/testkit/wait_until.h"
#include "tools/testkit/wine.h"
#include "tools/transfer_peers/recording_proxy.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testkit::readFileText;
using testkit::waitUntil;

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

// A text field with the focus; the title follows what it holds. A button
// after it takes the focus on Tab.
constexpr char kFormPage[] =
    "<html><head><title>Form</title></head><body><input id='f' autofocus><button>b</button>"
    "<script>var f = document.getElementById('f'); f.focus();"
    " f.oninput = function() { document.title = 'Typed ' + f.value; };</script></body></html>";
// A page taller than the window: its title says when it has been scrolled,
// and its width in CSS pixels (which the zoom changes).
constexpr char kLongPage[] =
    "<html><head><title>Long</title></head><body><div style='height:5000px'>seismic needle,"
    " another needle</div><script>var scrolled = false;"
    " function show() { document.title = (scrolled ? 'Scrolled ' : 'Width ') + innerWidth; }"
    " onscroll = function() { scrolled = true; show(); }; onresize = show; show();"
    "</script></body></html>";
// One link that fills the page.
constexpr char kLinkPage[] =
    "<html><head><title>Links</title></head><body style='margin:0'><a href='second.html'"
    " style='display:block;height:3000px'>second</a></body></html>";

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
        writeFile(site + "/quakes/2001/Tohoku_2011.EVT", mixedCaseBytes);
        writeFile(site + "/quakes/2001/deep/readme.txt", "deep");
        writeFile(site + "/form.html", kFormPage);
        writeFile(site + "/long.html", kLongPage);
        writeFile(site + "/links.html", kLinkPage);
        writeFile(site + "/files/data.zip", zipBytes);
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
    std::string site = home / "site";
    std::string downloads = home / "My Events";
    std::string eventBytes = randomBytes(1 << 20, 1);
    std::string smallEventBytes = randomBytes(3000, 2);
    std::string zipBytes = randomBytes(700000, 3);
    std::string mixedCaseBytes = randomBytes(5000, 4);
    int mirrorPort = 9;  // the trickling server's, where a test starts one
    std::unique_ptr<testing::RealServer> web, ftp;
};

// The link in capitals finds no file on the case-sensitive nginx; the
// lower-cased URL asked after the 404 does.
TEST_F(DownloadOnDisplay, AnHttpEventLinkIsDownloadedByteExactAndStartsTheViewer) {
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/QUAKES/2001/0101.EVT"))});
    ASSERT_TRUE(viewerGot(downloads + "/0101.evt")) << viewerLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/0101.evt"), eventBytes);
    EXPECT_EQ(downloaded(), std::vector<std::string>{"0101.evt"});
    EXPECT_TRUE(titleShown("Tremora - 0101.evt"));
    EXPECT_TRUE(titleShown("Click - Orvane Explorer")) << "the page stays where it was";
    screenshot("http-download-main-window", "Click - Orvane Explorer");
}

// nginx knows its files by their own letters: a file named in mixed case is
// asked for as the link writes it, and kept under the lower-cased name.
TEST_F(DownloadOnDisplay, AMixedCaseFileIsFetchedByTheLinksOwnLetters) {
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/Tohoku_2011.EVT"))});
    ASSERT_TRUE(viewerGot(downloads + "/tohoku_2011.evt")) << viewerLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/tohoku_2011.evt"), mixedCaseBytes);
    EXPECT_EQ(downloaded(), std::vector<std::string>{"tohoku_2011.evt"});
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

// A viewer window whose DDE our own carrier cannot reach, a Windows viewer
// named in the settings, and a "wine" that never ends: the hand-off waits
// for the DDE client, and the window goes on answering meanwhile. Closing
// the window ends the client and starts no viewer after it.
TEST_F(DownloadOnDisplay, AHangingWineDdeClientLeavesTheWindowAnsweringAndEndsWithIt) {
    ASSERT_TRUE(fs::exists(testkit::programFolder() + "/orvane-dde.exe"));
    writeFile(home / "bin/wine", "#!/bin/sh\necho $$ >> \"$HOME/wine.pids\"\nexec sleep 60\n");
    fs::permissions(home / "bin/wine", fs::perms::owner_all);
    extraEnvironment["PATH"] = home / "bin:" + std::string(std::getenv("PATH"));
    writeFile(home / "Tremora/trmvw32.exe", std::string("MZ\x90\0\3", 5));
    ProfileFile(home / "cfg/orvane/ORVANEEXPLORER.INI")
        .writeString("Settings", "TremoraPath", home / "Tremora/trmvw32.exe");
    ::mkdir((home / "elsewhere").c_str(), 0700);
    auto variables = environment();
    variables["XDG_RUNTIME_DIR"] = home / "elsewhere";
    testkit::ChildProcess viewer(testkit::programFolder() + "/trmvw32.exe", {"--max-seconds", "60"},
                                 variables, home / "viewer.err");
    ASSERT_TRUE(titleShown("Tremora - "));

    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/0202.evt"))});
    ASSERT_TRUE(waitUntil([&] { return fs::exists(home / "wine.pids"); }, kWaitMs)) << errors();
    EXPECT_EQ(readFileText(downloads + "/0202.evt"), smallEventBytes);
    auto opened = sendCommand("[open(\"" + httpUrl("/second.html") + "\")]");
    EXPECT_EQ(opened.exitStatus, 0) << opened.standardError;
    EXPECT_TRUE(titleShown("Second Page - Orvane Explorer", 5000))
        << "the window did not answer while the DDE client ran";
    ASSERT_TRUE(pressKeys("Second Page - Orvane Explorer", {"alt+f", "c"}));
    EXPECT_EQ(browser->waitForExit(kWaitMs), 0) << errors();
    pid_t client = std::atoi(readFileText(home / "wine.pids").c_str());
    ASSERT_GT(client, 0);
    EXPECT_TRUE(waitUntil([&] { return ::kill(client, 0) != 0; }, kWaitMs))
        << "the DDE client outlived the window";
    std::string runs = readFileText(home / "wine.pids");
    EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), 1)
        << "a viewer was started under Wine after the window had closed";
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
                   shown().find(": 258 File Not Found: " + httpUrl("/quakes/2001/missing.evt") +
                                "\n") != std::string::npos;
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
    // Without the desktop's folder, ~/Downloads is where the chooser opens.
    fs::create_directories(home / "Downloads");
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame";
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/0202.evt"))});
    ASSERT_TRUE(titleShown("Orvane Explorer")) << errors();
    screenshot("no-download-directory-message", "Orvane Explorer");
    EXPECT_EQ(windowsContaining("Download Directory"), 0) << "the message comes first";
    ASSERT_TRUE(pressKeys("Orvane Explorer", {"Return"}));
    ASSERT_TRUE(titleShown("Download Directory"));
    EXPECT_TRUE(logged("Download Directory opened at " + home / "Downloads")) << frameLog();
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

// WebKit has no FTP: an ftp:// folder is listed by the browser and shown as
// a page under its own URL. Keys follow its links: a subfolder, Back, and
// an event file, which is downloaded and handed to the viewer.
TEST_F(DownloadOnDisplay, AnFtpFolderIsShownAsAListingPageWhoseLinksWork) {
    std::string folder = ftpUrl("/quakes/2001/");
    std::string title = "Index of " + folder + " - Orvane Explorer";
    auto browser = start("orvaneexplorer", {folder});
    ASSERT_TRUE(titleShown(title)) << errors();
    screenshot("ftp-listing-page", title);
    // Tab: the parent link, then the folder "deep/" (folders come first).
    ASSERT_TRUE(pressKeys(title, {"Tab", "Tab", "Return"}));
    std::string deep = "Index of " + ftpUrl("/quakes/2001/deep/") + " - Orvane Explorer";
    ASSERT_TRUE(titleShown(deep)) << errors();
    ASSERT_TRUE(pressKeys(deep, {"alt+Left"}));
    ASSERT_TRUE(titleShown(title)) << errors();
    // The third link is the first file, 0101.evt.
    ASSERT_TRUE(pressKeys(title, {"Tab", "Tab", "Tab", "Return"}));
    ASSERT_TRUE(viewerGot(downloads + "/0101.evt")) << viewerLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/0101.evt"), eventBytes);
}

// The browser as people use it every day, with a window manager: what it
// shows in the frame and its dialogs is read from its debug log.
class EverydayBrowsing : public DownloadOnDisplay {
  protected:
    void SetUp() override {
        DownloadOnDisplay::SetUp();
        if (HasFatalFailure())
            return;
        startWindowManager();
        extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame OrvaneDialog";
    }
    // The frame's caption for a page title.
    static std::string framed(const std::string& title) { return title + " - Orvane Explorer"; }
    // The caption of the frame, whatever page it shows.
    std::string frameTitle() const {
        for (const auto& title : titles())
            if (title.size() > 18 && title.ends_with(" - Orvane Explorer"))
                return title;
        return {};
    }
    // The page's width in CSS pixels, from the long page's title.
    int pageWidth() const {
        std::string title = frameTitle();
        return title.starts_with("Width ") ? std::atoi(title.c_str() + 6) : -1;
    }
    // The last thing the frame logged about a command: "greyed" or "enabled".
    std::string commandState(int id) const {
        std::string log = frameLog(), mark = "command " + std::to_string(id) + " ";
        auto at = log.rfind(mark);
        return at == std::string::npos
                   ? ""
                   : log.substr(at + mark.size(), log.find('\n', at) - at - mark.size());
    }
    int timesLogged(const std::string& text) const {
        std::string log = frameLog();
        int count = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }
    // The status bar once a file from a page is saved.
    std::string savedStatus(const std::string& path) const {
        return "status \"Download complete: " + path + "\"";
    }
    // The Downloads window's rows as it logs them, from the newest.
    std::string downloadRow(int index, const std::string& text) const {
        return "download row " + std::to_string(index) + " \"" + text + "\"";
    }
};

// No box takes the focus when a file is saved; the status bar names it and
// the Downloads window lists it with the event files.
TEST_F(EverydayBrowsing, AFileThePageCannotShowIsSavedAndListedWithoutAnyBox) {
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/files/data.zip"))});
    ASSERT_TRUE(logged(savedStatus(downloads + "/data.zip"))) << frameLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/data.zip"), zipBytes);
    EXPECT_TRUE(titleShown(framed("Click"))) << "the page stays";
    EXPECT_EQ(frameLog().find("message \""), std::string::npos) << frameLog();
    ASSERT_EQ(sendOpen(httpUrl("/files/data.zip")).exitStatus, 0);
    ASSERT_TRUE(logged(savedStatus(downloads + "/data (1).zip"))) << frameLog();
    EXPECT_EQ(readFileText(downloads + "/data (1).zip"), zipBytes);
    auto names = downloaded();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"data (1).zip", "data.zip"}));
    EXPECT_EQ(viewerLog(), "") << "only event files go to the viewer";
    EXPECT_EQ(windowsContaining("Transfer Status"), 0);
    // An event file keeps its status dialog and goes to the viewer.
    ASSERT_EQ(sendOpen(httpUrl("/click.html?event#" + httpUrl("/quakes/2001/0202.evt"))).exitStatus,
              0);
    ASSERT_TRUE(viewerGot(downloads + "/0202.evt")) << viewerLog() << errors();
    EXPECT_EQ(frameLog().find("message \""), std::string::npos) << frameLog();
    ASSERT_TRUE(titleShown(framed("Click")));
    ASSERT_TRUE(pressKeys(framed("Click"), {"ctrl+shift+y"}));
    ASSERT_TRUE(titleShown("Downloads"));
    EXPECT_TRUE(logged(downloadRow(0, "0202.evt | 3.0 kB | Done, handed to the viewer")))
        << frameLog();
    EXPECT_TRUE(logged(downloadRow(1, "data (1).zip | 700.0 kB | Done"))) << frameLog();
    EXPECT_TRUE(logged(downloadRow(2, "data.zip | 700.0 kB | Done"))) << frameLog();
    screenshot("downloads-window", "Downloads");
}

TEST_F(EverydayBrowsing, AFileToSaveWithoutADownloadDirectoryAsksForOneAndNewDirectoryFitsAPath) {
    configure(false);
    // The desktop's own download folder, where the chooser opens.
    fs::create_directories(home / "Fetched");
    writeFile(home / "cfg/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/files/data.zip"))});
    ASSERT_TRUE(titleShown("Orvane Explorer")) << errors();
    ASSERT_TRUE(pressKeys("Orvane Explorer", {"Return"}));
    ASSERT_TRUE(titleShown("Download Directory"));
    EXPECT_TRUE(logged("Download Directory opened at " + home / "Fetched")) << frameLog();
    ASSERT_TRUE(pressKeys("Download Directory", {"alt+n"}));
    ASSERT_TRUE(titleShown("New Directory"));
    auto dialog = probe->findWindow("New Directory");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(waitUntil([&] { return probe->managed(*dialog); }, kWaitMs));
    auto size = probe->geometry(*dialog);
    ASSERT_TRUE(size);
    EXPECT_GE(size->width, 400) << "the title and a full path fit";
    screenshot("new-directory-dialog", "New Directory");
    std::string created = downloads + "/Saved Files";
    ASSERT_TRUE(typeText("New Directory", created));
    ASSERT_TRUE(pressKeys("New Directory", {"Return"}));
    ASSERT_TRUE(logged(savedStatus(created + "/data.zip"))) << frameLog();
    EXPECT_EQ(readFileText(created + "/data.zip"), zipBytes);
}

TEST_F(EverydayBrowsing, HomeTypedInAFormFieldStaysInTheFieldAndWorksElsewhere) {
    auto browser = start("orvaneexplorer", {httpUrl("/form.html") + "," + httpUrl("/second.html")});
    ASSERT_TRUE(titleShown(framed("Form"))) << errors();
    ASSERT_TRUE(logged("page focus in a text field"));
    ASSERT_TRUE(typeText(framed("Form"), "abc"));
    ASSERT_TRUE(titleShown(framed("Typed abc")));
    ASSERT_TRUE(pressKeys(framed("Typed abc"), {"Home", "X", "End", "BackSpace"}));
    EXPECT_TRUE(titleShown(framed("Typed Xab"))) << frameTitle();
    EXPECT_EQ(windowsContaining("Second Page"), 0) << "Home did not open the start page";
    // On the button the key is the frame's again: Start Page.
    int leftBefore = timesLogged("page focus not in a text field");
    ASSERT_TRUE(pressKeys(framed("Typed Xab"), {"Tab"}));
    ASSERT_TRUE(waitUntil(
        [&] { return timesLogged("page focus not in a text field") > leftBefore; }, kWaitMs));
    ASSERT_TRUE(pressKeys(framed("Typed Xab"), {"Home"}));
    EXPECT_TRUE(titleShown(framed("Second Page"))) << frameTitle();
}

TEST_F(EverydayBrowsing, ThePageHasTheFocusAfterStartAndAfterAnAddressWithoutScheme) {
    auto browser = start("orvaneexplorer", {httpUrl("/long.html")});
    ASSERT_TRUE(waitUntil([&] { return pageWidth() > 0; }, kWaitMs)) << frameTitle() << errors();
    std::string first = frameTitle();
    ASSERT_TRUE(pressKeys(first, {"Next"}));
    EXPECT_TRUE(waitUntil([&] { return frameTitle().starts_with("Scrolled "); }, kWaitMs))
        << "Page Down scrolled the page: " << frameTitle();
    // Alt+D, then an address typed without http://.
    ASSERT_TRUE(pressKeys(frameTitle(), {"alt+d"}));
    ASSERT_TRUE(
        typeText(frameTitle(), "127.0.0.1:" + std::to_string(web->port()) + "/long.html?again"));
    ASSERT_TRUE(pressKeys(frameTitle(), {"Return"}));
    ASSERT_TRUE(logged("Opening page " + httpUrl("/long.html?again")));
    ASSERT_TRUE(waitUntil([&] { return pageWidth() > 0; }, kWaitMs)) << frameTitle();
    ASSERT_TRUE(pressKeys(frameTitle(), {"Next"}));
    EXPECT_TRUE(waitUntil([&] { return frameTitle().starts_with("Scrolled "); }, kWaitMs))
        << frameTitle();
}

TEST_F(EverydayBrowsing, ZoomAndFindInPageByKeys) {
    auto browser = start("orvaneexplorer", {httpUrl("/long.html")});
    ASSERT_TRUE(waitUntil([&] { return pageWidth() > 0; }, kWaitMs)) << frameTitle() << errors();
    int normal = pageWidth();
    ASSERT_TRUE(pressKeys(frameTitle(), {"ctrl+plus"}));
    EXPECT_TRUE(waitUntil([&] { return pageWidth() > 0 && pageWidth() < normal; }, kWaitMs));
    ASSERT_TRUE(pressKeys(frameTitle(), {"ctrl+0"}));
    EXPECT_TRUE(waitUntil([&] { return pageWidth() == normal; }, kWaitMs)) << frameTitle();
    ASSERT_TRUE(pressKeys(frameTitle(), {"ctrl+minus"}));
    EXPECT_TRUE(waitUntil([&] { return pageWidth() > normal; }, kWaitMs)) << frameTitle();

    ASSERT_TRUE(pressKeys(frameTitle(), {"ctrl+f"}));
    ASSERT_TRUE(typeText(frameTitle(), "NEEDLE"));
    ASSERT_TRUE(pressKeys(frameTitle(), {"Return", "F3", "shift+F3"}));
    EXPECT_TRUE(logged("find result \"2 matches\"")) << frameLog();
    ASSERT_TRUE(pressKeys(frameTitle(), {"ctrl+f"}));
    ASSERT_TRUE(typeText(frameTitle(), "haystack"));
    ASSERT_TRUE(pressKeys(frameTitle(), {"Return"}));
    EXPECT_TRUE(logged("find result \"Not found\"")) << frameLog();
    // Esc closes the bar and gives the page the keys again.
    ASSERT_TRUE(pressKeys(frameTitle(), {"Escape", "Next"}));
    EXPECT_TRUE(waitUntil([&] { return frameTitle().starts_with("Scrolled "); }, kWaitMs))
        << frameTitle();
}

TEST_F(EverydayBrowsing, BackIsGreyedOnTheFirstPageAndTheStatusBarFollowsLoadsAndLinks) {
    auto browser = start("orvaneexplorer", {httpUrl("/links.html")});
    ASSERT_TRUE(titleShown(framed("Links"))) << errors();
    EXPECT_TRUE(logged("status \"Opening page " + httpUrl("/links.html") + " ... "));
    EXPECT_TRUE(logged("status \"Ready\""));
    EXPECT_EQ(commandState(32787), "greyed");
    EXPECT_EQ(commandState(32788), "greyed");
    ASSERT_TRUE(pressKeys(framed("Links"), {"alt+Left"}));
    // The link under the pointer shows its address.
    auto frame = probe->findWindow(framed("Links"));
    ASSERT_TRUE(frame);
    auto area = probe->geometry(*frame);
    ASSERT_TRUE(area);
    auto moved = testkit::runProgram("/usr/bin/xdotool",
                                     {"mousemove", std::to_string(area->x + area->width / 2),
                                      std::to_string(area->y + area->height / 2)},
                                     {{"DISPLAY", xvfb->name()}}, kWaitMs);
    ASSERT_EQ(moved.exitStatus, 0) << moved.standardError;
    EXPECT_TRUE(logged("status \"" + httpUrl("/second.html") + "\"")) << frameLog();
    EXPECT_TRUE(titleShown(framed("Links"))) << "Back did nothing on the first page";
    ASSERT_EQ(sendOpen(httpUrl("/second.html")).exitStatus, 0);
    ASSERT_TRUE(titleShown(framed("Second Page")));
    EXPECT_TRUE(waitUntil([&] { return commandState(32787) == "enabled"; }, kWaitMs));
    EXPECT_EQ(commandState(32788), "greyed");
    screenshot("back-enabled-forward-greyed", framed("Second Page"));
}

TEST_F(EverydayBrowsing, ASelfSignedCertificateShowsTheCertificatePageAndNotThePage) {
    ASSERT_TRUE(testing::programInstalled("openssl"));
    std::string work = home / "tls";
    fs::create_directories(work);
    auto made = testkit::runProgram("/usr/bin/openssl",
                                    {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                     "-keyout", work + "/server.key", "-out", work + "/server.crt",
                                     "-subj", "/CN=orvane-test.invalid/O=Orvane Test"},
                                    {}, kWaitMs);
    ASSERT_EQ(made.exitStatus, 0) << made.standardError;
    testing::RealServer secure("nginx-https", site, work);
    ASSERT_TRUE(secure.running()) << secure.failure();
    std::string url = "https://127.0.0.1:" + std::to_string(secure.port()) + "/first.html";
    auto browser = start("orvaneexplorer", {url});
    EXPECT_TRUE(titleShown(framed("Certificate Error"))) << errors();
    screenshot("certificate-error-page", framed("Certificate Error"));
    EXPECT_EQ(windowsContaining("First Page"), 0);
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
    startWindowManager();
    if (HasFatalFailure())
        return;
    auto browser = start("orvaneexplorer", {clickPage(slowLink())});
    ASSERT_TRUE(titleShown(kHttpTitle)) << errors();
    ASSERT_TRUE(waitUntil([&] { return trickle->sent() > 100000; }, kWaitMs));
    screenshot("download-under-way-with-window-manager");
    auto frame = probe->findWindow("Click - Orvane Explorer");
    ASSERT_TRUE(frame);
    probe->close(*frame);
    EXPECT_EQ(browser->waitForExit(kWaitMs), 0) << errors();
    EXPECT_TRUE(fs::is_empty(downloads)) << "no partial or temporary file";
    EXPECT_TRUE(waitUntil([&] { return trickle->clientLeftEarly(); }, kWaitMs));
}

// A file from a page under way: its row in the Downloads window follows it,
// and the row's Cancel stops it without leaving a partial file.
TEST_F(SlowDownloadOnDisplay, TheDownloadsWindowFollowsAFileUnderWayAndItsCancelStopsIt) {
    startWindowManager();
    if (HasFatalFailure())
        return;
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame";
    std::string link = "http://127.0.0.1:" + std::to_string(mirrorPort) + "/files/slow.bin";
    auto browser = start("orvaneexplorer", {clickPage(link)});
    ASSERT_TRUE(logged("status \"Downloading slow.bin ... ")) << frameLog() << errors();
    ASSERT_TRUE(titleShown("Click - Orvane Explorer"));
    ASSERT_TRUE(pressKeys("Click - Orvane Explorer", {"ctrl+shift+y"}));
    ASSERT_TRUE(titleShown("Downloads"));
    EXPECT_TRUE(logged("download row 0 \"slow.bin | ")) << frameLog();
    EXPECT_TRUE(logged(" of 2.1 MB | Downloading, ")) << frameLog();
    // Cancel is the last button of the row, at the window's right edge.
    auto window = probe->findWindow("Downloads");
    ASSERT_TRUE(window);
    auto area = probe->geometry(*window);
    ASSERT_TRUE(area);
    ASSERT_TRUE(inWindow("Downloads", {"mousemove", "--window", "%1",
                                       std::to_string(area->width - 45), "40", "click", "1"}));
    EXPECT_TRUE(logged("download row 0 \"slow.bin |  | Cancelled\"")) << frameLog();
    EXPECT_TRUE(logged("status \"Download cancelled: slow.bin\"")) << frameLog();
    EXPECT_TRUE(waitUntil([&] { return trickle->clientLeftEarly(); }, kWaitMs));
    EXPECT_TRUE(waitUntil([&] { return fs::is_empty(downloads); }, kWaitMs))
        << "no partial file: " << downloaded().size();
    EXPECT_EQ(frameLog().find("message \""), std::string::npos) << frameLog();
    EXPECT_TRUE(browser->running());
}

// Behind a proxy named by http_proxy, as a member's network may demand: the
// page and the event file both go through it, each request names the
// browser, and the dialog names the proxy while the file comes.
TEST_F(SlowDownloadOnDisplay, ThroughTheProxyTheStatusNamesItAndEveryRequestNamesTheBrowser) {
    peers::RecordingProxy proxy("", "", 60, 16);
    extraEnvironment["http_proxy"] = proxy.url();
    extraEnvironment["no_proxy"] = "";
    extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneDialog";
    auto browser = start("orvaneexplorer", {clickPage(slowLink())});
    ASSERT_TRUE(titleShown(kHttpTitle)) << errors();
    std::string status =
        ": 258 Receiving data through proxy 127.0.0.1:" + std::to_string(proxy.port()) + "...\n";
    auto shown = [&] { return readFileText(home / "orvaneexplorer.out"); };
    EXPECT_TRUE(waitUntil([&] { return shown().find(status) != std::string::npos; }, kWaitMs))
        << shown();
    ASSERT_TRUE(waitUntil([&] { return trickle->sent() > 100000; }, kWaitMs));
    std::string browserName = std::string("OrvaneExplorer/") + kOrvaneVersion;
    std::string pageRequest, fileRequest;
    for (const std::string& request : proxy.requests()) {
        if (request.starts_with("GET " + httpUrl("/click.html") + " "))
            pageRequest = request;
        if (request.starts_with("GET " + slowLink() + " HTTP/1.1\r\n"))
            fileRequest = request;
    }
    EXPECT_NE(fileRequest.find("\r\nUser-Agent: " + browserName + "\r\n"), std::string::npos)
        << fileRequest;
    // WebKit's own user agent, with the browser's name and version added.
    std::size_t agent = pageRequest.find("\r\nUser-Agent: ");
    ASSERT_NE(agent, std::string::npos) << pageRequest;
    std::string agentLine =
        pageRequest.substr(agent + 2, pageRequest.find("\r\n", agent + 2) - agent - 2);
    EXPECT_NE(agentLine.find("AppleWebKit/"), std::string::npos) << agentLine;
    EXPECT_NE(agentLine.find(" " + browserName), std::string::npos) << agentLine;
    browser->terminate();
    EXPECT_EQ(browser->waitForExit(kWaitMs), 0) << errors();
}

// The viewer as the Windows program it is, run under Wine in a throw-away
// prefix of the test's own: the Windows stand-in, its DDE server reached
// through orvane-dde.exe, its window on the same display.
class WineViewerOnDisplay : public DownloadOnDisplay {
  protected:
    static constexpr int kWineWaitMs = 90000;  // Wine starts slowly on a loaded machine
    static constexpr char kViewerLocation[] = "C:\\Program Files\\Tremora Viewer\\trmvw32.exe";

    void SetUp() override {
        DownloadOnDisplay::SetUp();
        if (HasFatalFailure())
            return;
        for (const char* program : {"wine", "wineboot", "wineserver"})
            ASSERT_TRUE(testing::programInstalled(program));
        ASSERT_TRUE(fs::exists(testkit::programFolder() + "/windows/trmvw32.exe"));
        ASSERT_TRUE(fs::exists(testkit::programFolder() + "/orvane-dde.exe"));
        prefix = std::make_unique<testing::WineTestPrefix>(home / "wine prefix");
        ASSERT_TRUE(prefix->ready()) << prefix->failure();
        for (const auto& [name, value] : prefix->environment())
            extraEnvironment[name] = value;
        extraEnvironment["TREMORA_STANDIN_MAX_SECONDS"] = "180";
        extraEnvironment["G_MESSAGES_DEBUG"] = "OrvaneFrame";
    }
    // Tremora's key in the prefix's registry, as its installer leaves it;
    // the registry file is complete once the prefix's server has ended.
    void registerViewer() {
        auto added = prefix->wine({"reg", "add", "HKLM\\Software\\Orvane Network\\Tremora", "/v",
                                   "Location", "/d", kViewerLocation, "/f"});
        ASSERT_EQ(added.exitStatus, 0) << added.standardError;
        ASSERT_TRUE(prefix->waitForServerEnd());
    }
    void installViewer() {
        std::string folder = prefix->path() + "/drive_c/Program Files/Tremora Viewer";
        fs::create_directories(folder);
        fs::copy_file(testkit::programFolder() + "/windows/trmvw32.exe", folder + "/trmvw32.exe");
        registerViewer();
    }
    bool viewerLogIs(const std::string& text) const {
        return waitUntil([&] { return viewerLog() == text; }, kWineWaitMs);
    }

    std::unique_ptr<testing::WineTestPrefix> prefix;
};

TEST_F(WineViewerOnDisplay, TheInstalledViewerIsStartedUnderWineThenTheNextFileGoesByDde) {
    installViewer();
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/0101.evt"))});
    // Found through the prefix's registry at start-up (the Linux stand-in
    // beside the browser would have logged the Linux path), started under
    // Wine with the Windows path, blank included.
    std::string first = testkit::WindowsPath(downloads + "/0101.evt");
    ASSERT_TRUE(viewerLogIs(first + "\n")) << viewerLog() << frameLog() << errors();
    // The window of a program under Wine is seen by the running-viewer check.
    ASSERT_TRUE(titleShown("Tremora - 0101.evt", kWineWaitMs));
    EXPECT_TRUE(anyWindowTitleContains("Tremora - ", xvfb->name().c_str()));

    // Another page (the query), so that it loads and clicks again.
    ASSERT_EQ(sendOpen(httpUrl("/click.html?again#" + ftpUrl("/quakes/2001/0202.evt"))).exitStatus,
              0);
    std::string second = testkit::WindowsPath(downloads + "/0202.evt");
    ASSERT_TRUE(viewerLogIs(first + "\n" + second + "\n")) << viewerLog() << errors();
    EXPECT_TRUE(titleShown("Tremora - 0202.evt", kWineWaitMs));
    EXPECT_EQ(windowsContaining("Tremora - "), 1) << "no second viewer";
    EXPECT_EQ(readFileText(downloads + "/0202.evt"), smallEventBytes);
}

TEST_F(WineViewerOnDisplay, OrvaneDdeExeTellsByItsExitStatusWhetherAConversationWasMade) {
    installViewer();
    std::string client = testkit::programFolder() + "/orvane-dde.exe";
    std::map<std::string, std::string> display{{"DISPLAY", xvfb->name()},
                                               {"TREMORA_STANDIN_LOG", home / "viewer.log"}};
    // Wine's own errors shown here, so that a start that fails inside Wine
    // says why instead of passing for a missing conversation.
    auto shownErrors = display;
    shownErrors["WINEDEBUG"] = "-all,err+all";
    auto none = prefix->wine({client, "trmvw32", "System", "[open(\"C:\\a.evt\")]"}, shownErrors);
    EXPECT_EQ(none.exitStatus, 1) << none.standardError;
    EXPECT_NE(none.standardError.find("no conversation"), std::string::npos) << none.standardError;
    testkit::ChildProcess viewer(
        "/usr/bin/wine",
        {prefix->path() + "/drive_c/Program Files/Tremora Viewer/trmvw32.exe", "--max-seconds",
         "120"},
        [&] {
            auto all = prefix->environment();
            all.insert(display.begin(), display.end());
            return all;
        }(),
        home / "viewer.err");
    ASSERT_TRUE(titleShown("Tremora - ", kWineWaitMs));
    auto sent = prefix->wine({client, "TRMVW32", "system", "[open(\"C:\\ev ent.evt\")]"}, display);
    EXPECT_EQ(sent.exitStatus, 0) << sent.standardError;
    EXPECT_TRUE(viewerLogIs("C:\\ev ent.evt\n")) << viewerLog();
    EXPECT_TRUE(titleShown("Tremora - ev ent.evt", kWineWaitMs));
    // A command the server refuses still made a conversation.
    auto refused = prefix->wine({client, "trmvw32", "System", "[close()]"}, display);
    EXPECT_EQ(refused.exitStatus, 0);
    EXPECT_NE(refused.standardError.find("did not handle"), std::string::npos);
    EXPECT_EQ(prefix->wine({client, "trmvw32", "Other", "[open(\"C:\\x\")]"}, display).exitStatus,
              1);
    EXPECT_EQ(prefix->wine({client, "trmvw32"}, display).exitStatus, 2);
    EXPECT_EQ(viewerLog(), "C:\\ev ent.evt\n");
}

TEST_F(WineViewerOnDisplay, APrefixWithoutTheViewerLeadsToTheMessage) {
    // The key is left, the program is not there.
    registerViewer();
    auto browser = start("orvaneexplorer", {clickPage(httpUrl("/quakes/2001/0202.evt"))});
    ASSERT_TRUE(logged("message \"Unable to start Tremora.", kWineWaitMs))
        << frameLog() << errors();
    EXPECT_EQ(readFileText(downloads + "/0202.evt"), smallEventBytes) << "the file stays";
    EXPECT_EQ(viewerLog(), "");
    EXPECT_EQ(windowsContaining("Tremora - "), 0);
}

}  // namespace
}  // namespace orvane
