// The view's interception of event-file links, its download hand-off and
// its commands, around a recorded control, dialog and transfer.

#include "browser/view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "browser/app.h"
#include "browser/certificate_page.h"
#include "browser/directory_dialogs.h"
#include "browser/download_list.h"
#include "browser/html_text.h"
#include "browser/page_downloads.h"
#include "browser/status_line.h"
#include "resources/browser_resources.h"
#include "tests/browser/fake_desktop.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

using namespace resources;
using testing::FakeDesktop;
using testing::FakeWorld;
using Calls = std::vector<std::string>;

constexpr char kEvent[] = "http://www.orvane.net/quakes/2001/0101.evt";

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(folder / "dl");
        settings().writeString("Settings", "DownloadDir", folder / "dl");
        start({});
    }
    void start(const std::vector<std::string>& arguments) {
        app = std::make_unique<CBrowserApp>(desktop, world, settings(),
                                            RegistryStore({folder / "m.ini", folder / "u.ini"}));
        app->programDirectorySource = [this] { return folder.path() + "/bin/"; };
        app->downloadFolderSource = [] { return std::string(); };
        ASSERT_TRUE(app->InitInstance(arguments));
        control().calls.clear();
    }
    ProfileFile settings() { return ProfileFile(folder / "ORVANEEXPLORER.INI"); }
    CBrowserView& view() { return *desktop.view; }
    FakeDesktop::Control& control() { return desktop.control; }
    // Navigates as a link would; true when the view cancelled it.
    bool follow(const std::string& url) {
        bool cancel = false;
        view().OnBeforeNavigate2(url, cancel);
        return cancel;
    }
    // Hands the posted messages to the view, as the loop does afterwards.
    void deliverPosted() {
        while (!control().posted.empty()) {
            unsigned message = control().posted.front();
            control().posted.erase(control().posted.begin());
            EXPECT_EQ(view().OnMessage(message), 1);
        }
    }

    testkit::TempFolder folder;
    FakeDesktop desktop;
    FakeWorld world;
    std::unique_ptr<CBrowserApp> app;
};

// The rules run on the lower-cased URL; the link's own letters are asked
// first (scheme and host lower-cased), the lower-cased URL after a miss.
TEST_F(ViewTest, AnUpperCaseEventLinkIsFetchedWithItsLettersThenLowerCasedAfterTheEvent) {
    EXPECT_TRUE(follow("HTTP://WWW.Orvane.NET/QUAKES/2001/0101.EVT"));
    EXPECT_EQ(view().m_szPendingUrl, kEvent);
    EXPECT_EQ(control().posted, std::vector<unsigned>{WM_START_HTTP_DOWNLOAD});
    EXPECT_TRUE(control().transfers.empty()) << "no transfer inside the control's event";
    deliverPosted();
    EXPECT_EQ(control().transfers,
              Calls{std::string("http http://www.orvane.net/QUAKES/2001/0101.EVT then ") + kEvent});
    EXPECT_EQ(view().m_szPendingUrl, "");
}

TEST_F(ViewTest, PagesAndFolderListingsNavigateUntouched) {
    for (const char* url : {"http://ftp.orvane.net/quakes/2001/", "http://www.orvane.net/quakes",
                            "http://www.iris.edu/pub/farm/", "about:blank"}) {
        EXPECT_FALSE(follow(url)) << url;
    }
    EXPECT_TRUE(control().posted.empty());
    EXPECT_EQ(view().m_szPendingUrl, "");
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(ViewTest, FtpEventFilesAndSeedVolumesGoToTheFtpTransfer) {
    EXPECT_TRUE(follow("ftp://mirror.orvane.net/userdata/a.evt"));
    deliverPosted();
    EXPECT_TRUE(follow("http://www.iris.edu/pub/farm/2001/V.SEED"));
    EXPECT_EQ(control().posted, std::vector<unsigned>{WM_START_FTP_DOWNLOAD});
    deliverPosted();
    EXPECT_EQ(control().transfers, (Calls{"ftp ftp://mirror.orvane.net/userdata/a.evt",
                                          "ftp ftp://www.iris.edu/pub/farm/2001/V.SEED then "
                                          "ftp://www.iris.edu/pub/farm/2001/v.seed"}));
    EXPECT_EQ(world.ddeSent.size() + world.started.size(), 2u) << "both handed to the viewer";
}

// A folder (also under an event prefix) or another ftp:// URL is held and
// listed; the page replaces it. A file the page links to is downloaded
// without the viewer; Stop cancels a listing under way.
TEST_F(ViewTest, FtpFoldersAreListedAndTheirFilesDownloadedWithoutTheViewer) {
    EXPECT_FALSE(follow("ftp://mirror.orvane.net/userdata/"));
    EXPECT_EQ(control().calls, (Calls{"hold", "list ftp://mirror.orvane.net/userdata/"}));
    ASSERT_TRUE(control().listingDone);
    FtpListEntry folder{FtpListEntry::Kind::Folder, "2001", -1, "Jan 05 12:00"};
    FtpListEntry file{FtpListEntry::Kind::File, "Read Me.txt", 12, "Jan 05 12:00"};
    control().listingDone(FolderListing{false, "", {file, folder}});
    ASSERT_EQ(control().pages.size(), 1u);
    const std::string& page = control().pages[0];
    EXPECT_NE(page.find("<title>Index of ftp://mirror.orvane.net/userdata/</title>"),
              std::string::npos);
    EXPECT_NE(page.find("href=\"ftp://mirror.orvane.net/\""), std::string::npos) << "parent";
    EXPECT_LT(page.find("userdata/2001/"), page.find("Read%20Me.txt")) << "folders first";

    EXPECT_FALSE(follow("ftp://mirror.orvane.net/pub/"));
    control().listingDone(FolderListing{false, "", {file}});
    control().calls.clear();
    EXPECT_TRUE(follow("ftp://mirror.orvane.net/pub/Read%20Me.txt"));
    deliverPosted();
    EXPECT_EQ(control().transfers, Calls{"ftp ftp://mirror.orvane.net/pub/Read%20Me.txt"});
    EXPECT_TRUE(world.ddeSent.empty() && world.started.empty()) << "no viewer";

    EXPECT_FALSE(follow("ftp://somewhere.example/pub/file.bin"));  // not listed yet: a listing
    control().calls.clear();
    EXPECT_TRUE(view().OnCommand(ID_VIEW_STOP));
    EXPECT_EQ(control().calls, (Calls{"cancel listing", "drop", "stop"}));
    control().listingDone = [](const FolderListing&) {};

    EXPECT_FALSE(follow("ftp://somewhere.example/gone/"));
    control().listingDone(FolderListing{true, "Transfer failed: 550 No such folder.", {}});
    EXPECT_NE(control().pages.back().find("Transfer failed: 550 No such folder."),
              std::string::npos);
}

TEST_F(ViewTest, WithoutADownloadDirectoryTheUserIsAskedFirstAndCancelStopsEverything) {
    settings().writeString("Settings", "DownloadDir", "");
    start({});
    EXPECT_TRUE(follow(kEvent));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0],
              "Please select a download directory using the next dialog box.\nNote: You will only "
              "see this message if no download directory is selected.");
    EXPECT_EQ(desktop.dialogs.startFolders, Calls{folder.path() + "/bin"});
    EXPECT_TRUE(control().posted.empty());
    EXPECT_EQ(view().m_szPendingUrl, "");

    // Asked again at the next link; this time a folder is chosen.
    desktop.dialogs.directoryAnswer = DirectoryChoice{folder / "dl", {}};
    EXPECT_TRUE(follow(kEvent));
    EXPECT_EQ(desktop.messages.size(), 2u);
    EXPECT_EQ(app->m_szDownloadDir, folder / "dl/");
    EXPECT_EQ(settings().readString("Settings", "DownloadDir"), folder / "dl/");
    deliverPosted();
    EXPECT_EQ(control().transfers.size(), 1u);
}

TEST_F(ViewTest, UrlsLongerThan255CharactersAreNeverDiverted) {
    std::string base = "http://www.orvane.net/quakes/";
    std::string fits = base + std::string(255 - base.size() - 4, 'a') + ".evt";
    std::string tooLong = base + std::string(256 - base.size() - 4, 'a') + ".evt";
    ASSERT_EQ(fits.size(), 255u);
    EXPECT_FALSE(follow(tooLong));
    EXPECT_EQ(view().m_szPendingUrl, "");
    EXPECT_TRUE(follow(fits));
    EXPECT_EQ(view().m_szPendingUrl, fits);
}

TEST_F(ViewTest, AGoodDownloadReachesARunningViewerByDdeOnly) {
    world.windowTitles = {"Tremora - old.evt"};
    control().savedPath = "/data/my events/0101.evt";
    follow(kEvent);
    deliverPosted();
    EXPECT_EQ(world.ddeSent, Calls{"trmvw32|System|[open(\"/data/my events/0101.evt\")]"});
    EXPECT_TRUE(world.started.empty());
    ASSERT_EQ(app->downloads().entries().size(), 1u);
    EXPECT_EQ(DownloadList::LineOf(app->downloads().entries()[0]).state,
              "Done, handed to the viewer");
}

// Each event file has its line in the Downloads list: what the viewer did
// with it, why it failed, or that it was cancelled.
TEST_F(ViewTest, EventFilesAreListedWithWhatBecameOfThem) {
    world.startResult = 2;  // no viewer can be started
    std::ofstream(folder / "dl/0101.evt") << std::string(5000, 'e');
    control().outcomes = {{0, folder / "dl/0101.evt"},
                          {1, "", "File Not Found: " + std::string(kEvent), false},
                          {1, "", "Canceled", true}};
    for (int run = 0; run < 3; ++run) {
        follow(kEvent);
        deliverPosted();
    }
    Calls lines;
    for (const DownloadEntry& entry : app->downloads().entries()) {
        DownloadLine line = DownloadList::LineOf(entry);
        lines.push_back(line.name + " | " + line.size + " | " + line.state);
        EXPECT_TRUE(entry.eventFile);
    }
    EXPECT_EQ(lines, (Calls{"0101.evt |  | Cancelled",
                            "0101.evt |  | Failed: File Not Found: " + std::string(kEvent),
                            "0101.evt | 5.0 kB | Done, not taken by the viewer"}));
    // While the dialog runs, the list's Cancel is the dialog's.
    control().duringTransfer = [&] {
        EXPECT_EQ(DownloadList::LineOf(app->downloads().entries().front()).state, "Downloading");
        app->downloads().Cancel(app->downloads().entries().front().id);
    };
    follow(kEvent);
    deliverPosted();
    EXPECT_EQ(control().calls.back(), "cancel transfer");
}

TEST_F(ViewTest, WithoutAViewerWindowTheViewerIsStartedWithTheFile) {
    follow(kEvent);
    deliverPosted();
    EXPECT_TRUE(world.ddeSent.empty());
    ASSERT_EQ(world.started.size(), 1u);
    EXPECT_EQ(world.started[0],
              (Calls{folder.path() + "/bin/trmvw32.exe", "/downloads/event.evt"}));
}

TEST_F(ViewTest, AFailedDownloadNeverReachesTheViewer) {
    world.windowTitles = {"Tremora - "};
    control().outcomes = {{1, folder / "dl/0101.evt"}};
    follow(kEvent);
    deliverPosted();
    EXPECT_TRUE(world.ddeSent.empty());
    EXPECT_TRUE(world.started.empty());
    EXPECT_EQ(view().m_szPendingUrl, "");
}

TEST_F(ViewTest, ALaterDecisionReplacesTheParkedUrlAndTheSpareMessageDoesNothing) {
    EXPECT_EQ(view().OnMessage(WM_START_HTTP_DOWNLOAD), 1);
    EXPECT_TRUE(control().transfers.empty());
    follow(kEvent);
    follow("ftp://ftp.orvane.net/quakes/b.evt");
    deliverPosted();
    EXPECT_EQ(control().transfers, Calls{"ftp ftp://ftp.orvane.net/quakes/b.evt"});
}

TEST_F(ViewTest, ADownloadDecidedWhileOneRunsWaitsForItInsteadOfNesting) {
    int nested = 0;
    control().duringTransfer = [&] {
        control().duringTransfer = nullptr;
        follow("ftp://ftp.orvane.net/quakes/second.evt");
        ++nested;
        deliverPosted();  // the dialog's own loop hands the message over
    };
    follow(kEvent);
    deliverPosted();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(control().transfers,
              (Calls{std::string("http ") + kEvent, "ftp ftp://ftp.orvane.net/quakes/second.evt"}));
    EXPECT_EQ(view().m_szPendingUrl, "");
}

TEST_F(ViewTest, ADecisionWhoseMessageIsStillQueuedKeepsItsUrl) {
    control().duringTransfer = [&] {
        control().duringTransfer = nullptr;
        follow("ftp://ftp.orvane.net/quakes/second.evt");  // posted, not yet handed over
    };
    follow(kEvent);
    unsigned first = control().posted.front();
    control().posted.erase(control().posted.begin());
    view().OnMessage(first);
    EXPECT_EQ(view().m_szPendingUrl, "ftp://ftp.orvane.net/quakes/second.evt");
    deliverPosted();
    EXPECT_EQ(control().transfers.size(), 2u);
}

TEST_F(ViewTest, ClosingTheFrameCancelsTheRunningDownloadAndStartsNothingMore) {
    world.windowTitles = {"Tremora - "};
    control().duringTransfer = [&] {
        follow("ftp://ftp.orvane.net/quakes/second.evt");
        view().OnFrameClosing();
        EXPECT_TRUE(view().downloadRunning());
    };
    control().outcomes = {{0, "/dl/done.evt"}};
    follow(kEvent);
    deliverPosted();
    EXPECT_EQ(control().calls, Calls{"cancel transfer"});
    EXPECT_EQ(control().transfers.size(), 1u);
    EXPECT_TRUE(world.ddeSent.empty());
    EXPECT_FALSE(follow(kEvent)) << "nothing is diverted once the frame closes";
}

TEST_F(ViewTest, NavigationCommandsReachTheControl) {
    for (int id : {ID_GO_BACK, ID_GO_FORWARD, ID_VIEW_STOP, ID_VIEW_REFRESH, ID_FILE_PRINT})
        EXPECT_TRUE(view().OnCommand(id));
    EXPECT_EQ(control().calls, (Calls{"back", "forward", "stop", "refresh", "print"}));
    EXPECT_FALSE(view().OnCommand(ID_APP_ABOUT));
}

TEST_F(ViewTest, GoCommandsOpenTheNetworksPages) {
    for (int id : {ID_GO_START_PAGE, ID_GO_NEW_EVENTS, ID_GO_EVENT_ARCHIVES, ID_GO_SEED_ARCHIVES})
        view().OnCommand(id);
    EXPECT_EQ(control().calls, (Calls{"home", "navigate http://www.orvane.net/cgi-dos/event.exe",
                                      "navigate http://www.orvane.net/quakes/",
                                      "navigate http://www.iris.edu/pub/farm/"}));
    start({"http://a.example/first,http://a.example/start"});
    view().OnCommand(ID_GO_START_PAGE);
    EXPECT_EQ(control().calls, Calls{"navigate http://a.example/start"});
}

TEST_F(ViewTest, DirectoryAndViewerCommandsRunTheirDialogs) {
    desktop.dialogs.locateAnswer = "/opt/tremora/trmvw32.exe";
    view().OnCommand(ID_FILE_LOCATE_TREMORA);
    EXPECT_EQ(app->m_szViewerPath, "/opt/tremora/trmvw32.exe");
    view().OnCommand(ID_FILE_DOWNLOAD_DIRECTORY);
    EXPECT_EQ(desktop.dialogs.startFolders, Calls{folder / "dl"});
}

// The status texts that downloads of files the page cannot show report.
struct DownloadStatusLog final : PageActivity {
    void OnLinkHover(const std::string&) override {}
    void OnLoadStarted(const std::string&) override {}
    void OnLoadProgress(int) override {}
    void OnLoadFinished() override {}
    void OnHistoryChanged(bool, bool) override {}
    void OnDownloadStatus(const std::string& text) override { texts.push_back(text); }
    Calls texts;
};

TEST_F(ViewTest, FilesThePageCannotShowGetFreeNamesInTheDownloadDirectory) {
    std::ofstream(folder / "dl/data.zip") << "the user's own";
    std::ofstream(folder / "dl/data (1).zip") << "another";
    DownloadStatusLog status;
    PageDownloads downloads(*app, desktop.dialogs, status);
    EXPECT_EQ(downloads.DecideDestination("data.zip"), folder / "dl/data (2).zip");
    EXPECT_EQ(downloads.DecideDestination("data.zip"), folder / "dl/data (3).zip")
        << "a name taken by a download under way is not given twice";
    EXPECT_EQ(downloads.DecideDestination("../../.profile"), folder / "dl/profile");
    EXPECT_EQ(downloads.DecideDestination(""), folder / "dl/download");
    EXPECT_EQ(FreeFileName(folder / "dl", "README"), "README");
    downloads.OnProgress(folder / "dl/data (2).zip", 3 << 20, 4 << 20);
    downloads.OnProgress(folder / "dl/data (2).zip", 512 * 1024, 0);
    std::ofstream(folder / "dl/data (2).zip") << std::string(3000, 'z');
    downloads.OnFinished(folder / "dl/data (2).zip");
    downloads.OnFailed(folder / "dl/data (3).zip", "Connection terminated unexpectedly");
    downloads.OnCancelled(folder / "dl/profile");
    EXPECT_EQ(status.texts,
              (Calls{"Downloading data (2).zip ... 75% of 4.2 MB",
                     "Downloading data (2).zip ... 524.3 kB",
                     "Download complete: " + folder / "dl/data (2).zip",
                     "Download failed: data (3).zip", "Download cancelled: profile"}));
    EXPECT_TRUE(desktop.messages.empty()) << "no box takes the focus";
    // The Downloads list, newest first; the one still running can be
    // cancelled, the ended ones not.
    Calls lines;
    for (const DownloadEntry& entry : app->downloads().entries()) {
        DownloadLine line = DownloadList::LineOf(entry);
        lines.push_back(line.name + " | " + line.size + " | " + line.state);
    }
    EXPECT_EQ(lines, (Calls{"download | 0 bytes | Downloading", "profile |  | Cancelled",
                            "data (3).zip |  | Failed: Connection terminated unexpectedly",
                            "data (2).zip | 3.0 kB | Done"}));
    int cancels = 0;
    auto id = app->downloads().Add("x.pdf", folder / "dl/x.pdf", false, [&] { ++cancels; });
    app->downloads().Progress(id, 100, 400);
    EXPECT_EQ(DownloadList::LineOf(app->downloads().entries().front()).state, "Downloading, 25%");
    EXPECT_EQ(DownloadList::LineOf(app->downloads().entries().front()).size, "100 of 400 bytes");
    app->downloads().Cancel(id);
    app->downloads().MarkCancelled(id);
    app->downloads().Cancel(id);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(readFile(folder / "dl/data.zip"), "the user's own");
}

TEST_F(ViewTest, AFileToSaveAsksForADownloadDirectoryFirst) {
    settings().writeString("Settings", "DownloadDir", "");
    start({});
    DownloadStatusLog status;
    PageDownloads downloads(*app, desktop.dialogs, status);
    EXPECT_EQ(downloads.DecideDestination("a.pdf"), std::nullopt);
    EXPECT_EQ(desktop.messages, Calls{kSelectDirectoryMessage});
    desktop.dialogs.directoryAnswer = DirectoryChoice{folder / "dl", {}};
    EXPECT_EQ(downloads.DecideDestination("a.pdf"), folder / "dl/a.pdf");
    EXPECT_EQ(desktop.dialogs.startFolders.size(), 2u);
}

TEST(DownloadList, TellsItsWindowOfEachChangeWhileTheWindowLives) {
    DownloadList list;
    int changes = 0;
    auto watcher = std::make_shared<std::function<void()>>([&] { ++changes; });
    list.SetObserver(watcher);
    int id = list.Add("a.zip", "/dl/a.zip", false, {});
    list.Progress(id, 10, 20);
    list.Finish(id, "/dl/a (1).zip", 20);
    list.Finish(id, "/dl/other.zip", 30);
    list.Fail(id, "late");
    EXPECT_EQ(changes, 3) << "an ended download stays as it ended";
    EXPECT_EQ(list.entries().front().name, "a (1).zip");
    watcher.reset();
    list.Add("b.zip", "/dl/b.zip", false, {});
    EXPECT_EQ(changes, 3);
}

TEST(HtmlText, EscapesWhatWouldEndAnElementOrAQuotedAttribute) {
    EXPECT_EQ(HtmlEscaped("<a href=\"x\">Tom's & Co</a>"),
              "&lt;a href=&quot;x&quot;&gt;Tom&#39;s &amp; Co&lt;/a&gt;");
    EXPECT_EQ(HtmlEscaped("&amp;"), "&amp;amp;") << "an escape already written is escaped again";
    EXPECT_EQ(HtmlEscaped("\xC3\xA9v\xE9nt 1/2"), "\xC3\xA9v\xE9nt 1/2");
}

TEST(CertificatePage, NamesEveryProblemTheHostSubjectAndIssuerAndOffersNoWayOn) {
    std::string page = CertificateErrorPage(
        "https://127.0.0.1:8443/a?b<c", kCertificateUnknownIssuer | kCertificateHostMismatch,
        "CN=orvane-test.invalid,O=Orvane & Co", "CN=orvane-test.invalid,O=Orvane & Co");
    for (const char* part : {"<title>Certificate Error</title>", "<b>127.0.0.1:8443</b>",
                             "unknown authority", "issued for another host name",
                             "Issued to (subject)</td><td>CN=orvane-test.invalid,"
                             "O=Orvane &amp; Co",
                             "https://127.0.0.1:8443/a?b&lt;c"})
        EXPECT_NE(page.find(part), std::string::npos) << part;
    EXPECT_EQ(page.find("expired"), std::string::npos);
    EXPECT_EQ(page.find("<a "), std::string::npos) << "no link onwards";
    EXPECT_EQ(page.find("<button"), std::string::npos);
    EXPECT_EQ(CertificateProblemTexts(kCertificateExpired | kCertificateNotYetValid),
              (Calls{"The certificate is not valid yet.", "The certificate has expired."}));
    EXPECT_EQ(CertificateProblemTexts(0), Calls{"The certificate could not be checked."});
}

TEST_F(ViewTest, TitleAndFinishedLoadsGoToTheFrame) {
    view().OnTitleChange("Events");
    view().OnDocumentComplete("http://www.orvane.net/");
    EXPECT_EQ(control().calls, (Calls{"title Events", "address http://www.orvane.net/"}));
}

}  // namespace
}  // namespace orvane
