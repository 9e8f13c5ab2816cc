// The main frame's logic: the Favorites menu from a real folder tree, the
// address box, the prompts, the bars, command routing and the close.

#include "browser/main_frame.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "browser/app.h"
#include "browser/favorite_shortcuts.h"
#include "tests/browser/fake_desktop.h"
#include "tests/platform/scoped_environment.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace resources;
using testing::FakeDesktop;
using testing::FakeWorld;
using Calls = std::vector<std::string>;

class RecordingWindow final : public FrameWindow {
  public:
    void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
    void SetAddressText(const std::string& text) override { calls.push_back("address " + text); }
    void AppendAddressEntry(const std::string& text) override { calls.push_back("append " + text); }
    void SetStatusText(const std::string& text) override { calls.push_back("status " + text); }
    void ShowBar(int id, bool visible) override {
        calls.push_back("bar " + std::to_string(id) + (visible ? " shown" : " hidden"));
    }
    void DestroyWindow() override { calls.push_back("destroy"); }
    void EnableCommand(int id, bool enabled) override {
        calls.push_back("command " + std::to_string(id) + (enabled ? " enabled" : " greyed"));
    }
    void ShowFindBar(bool visible) override {
        calls.push_back(visible ? "find bar" : "no find bar");
    }
    void FocusFindText() override { calls.push_back("focus find"); }
    std::string FindText() const override { return findText; }
    void SetFindResult(const std::string& text) override { calls.push_back("found " + text); }
    void FocusPage() override { calls.push_back("focus page"); }
    void SetFullScreen(bool on) override { calls.push_back(on ? "full screen" : "no full screen"); }
    void SetFavoritesMenu(const std::vector<MenuItem>& items) override {
        calls.push_back("favorites menu");
        favorites = items;
    }
    void OpenFolder(const std::string& folder) override { calls.push_back("open " + folder); }
    Calls calls;
    std::vector<MenuItem> favorites;
    std::string findText;
};

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(favorites);
        favoritesSetting(favorites);
        app = std::make_unique<CBrowserApp>(desktop, world, ProfileFile(folder / "settings.ini"),
                                            RegistryStore({folder / "m.ini", folder / "u.ini"}));
        app->programDirectorySource = [] { return std::string("/opt/orvane/"); };
        ASSERT_TRUE(app->InitInstance({}));
        desktop.control.calls.clear();
    }
    void favoritesSetting(const std::string& value) {
        RegistryStore({folder / "m.ini", folder / "u.ini"})
            .createKey(RegistryRoot::CurrentUser, kUserShellFoldersKey)
            ->setValue("Favorites", value);
    }
    void shortcut(const std::string& path, const std::string& url) {
        fs::create_directories(fs::path(favorites + "/" + path).parent_path());
        std::ofstream(favorites + "/" + path) << "[InternetShortcut]\r\nURL=" << url << "\r\n";
    }
    // The frame as created at start-up, with its window attached.
    CMainFrame& created() {
        frame = std::make_unique<CMainFrame>(*app);
        EXPECT_EQ(frame->OnCreate(), 0);
        frame->AttachWindow(window);
        return *frame;
    }
    // The favourites of the Favorites menu, after its own two commands
    // and the separator before them.
    std::vector<MenuItem> favoritesMenu() {
        auto menu = frame->menu()[kFavoritesMenuIndex].popup;
        EXPECT_GE(menu.size(), 2u);
        EXPECT_EQ(std::vector<MenuItem>(menu.begin(), menu.begin() + 2), FavoritesMenuCommands());
        menu.erase(menu.begin(), menu.begin() + std::min<std::size_t>(2, menu.size()));
        if (!menu.empty()) {
            EXPECT_TRUE(menu.front().isSeparator());
            menu.erase(menu.begin());
        }
        return menu;
    }

    testkit::TempFolder folder;
    std::string favorites = folder / "Favorites";
    FakeDesktop desktop;
    FakeWorld world;
    std::unique_ptr<CBrowserApp> app;
    std::unique_ptr<CMainFrame> frame;
    RecordingWindow window;
};

MenuItem command(const std::string& text, int id) {
    return MenuItem::Command(text, id);
}

TEST_F(MainFrameTest, ShortcutsAreSortedIgnoringCaseAndOnlyExactDotUrlCounts) {
    shortcut("b.url", "http://b.example/");
    shortcut("A.url", "http://a.example/");
    shortcut("c.URL", "http://c.example/");
    shortcut(".hidden.url", "http://hidden.example/");
    shortcut("notes.txt", "http://text.example/");
    fs::create_directories(favorites + "/folder.url");
    created();
    EXPECT_EQ(favoritesMenu(), (std::vector<MenuItem>{command("A", 3584), command("b", 3585)}));
    EXPECT_EQ(frame->m_favoriteUrls, (Calls{"http://a.example/", "http://b.example/"}));
}

TEST_F(MainFrameTest, SubFoldersComeFirstSortedAndEmptyOnesGetNoMenu) {
    shortcut("top.url", "http://top.example/");
    shortcut("zeta/z1.url", "http://z1.example/");
    shortcut("Alpha/a2.url", "http://a2.example/");
    shortcut("Alpha/A1.url", "http://a1.example/");
    shortcut("Alpha/a3.url", "http://a3.example/");
    shortcut("beta/deep/d.url", "http://d.example/");
    fs::create_directories(favorites + "/empty");
    fs::create_directories(favorites + "/onlyEmpty/nothing/here");
    std::ofstream(favorites + "/texts.dir") << "x";
    fs::create_directories(favorites + "/other");
    std::ofstream(favorites + "/other/readme.txt") << "x";
    created();
    auto menu = favoritesMenu();
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_EQ(menu[0].text, "Alpha");
    EXPECT_EQ(menu[1].text, "beta");
    EXPECT_EQ(menu[2].text, "zeta");
    EXPECT_EQ(menu[3], command("top", 3584));
    EXPECT_EQ(menu[0].popup, (std::vector<MenuItem>{command("A1", 3585), command("a2", 3586),
                                                    command("a3", 3587)}));
    ASSERT_EQ(menu[1].popup.size(), 1u);
    EXPECT_EQ(menu[1].popup[0].text, "deep");
    EXPECT_EQ(menu[1].popup[0].popup, std::vector<MenuItem>{command("d", 3588)});
    EXPECT_EQ(menu[2].popup, std::vector<MenuItem>{command("z1", 3589)});

    // The third favourite of the first sub-folder.
    frame->OnCommand(menu[0].popup[2].id);
    EXPECT_EQ(desktop.control.calls, Calls{"navigate http://a3.example/"});
}

TEST_F(MainFrameTest, AShortcutWithoutUrlNavigatesToAnEmptyAddress) {
    fs::create_directories(favorites);
    std::ofstream(favorites + "/blank.url") << "[InternetShortcut]\r\nIconIndex=0\r\n";
    created();
    EXPECT_EQ(favoritesMenu(), std::vector<MenuItem>{command("blank", 3584)});
    frame->OnCommand(3584);
    EXPECT_EQ(desktop.control.calls, Calls{"navigate "});
}

TEST_F(MainFrameTest, Only512FavouritesGetCommandIds) {
    for (int i = 0; i < 600; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%03d.url", i);
        shortcut(name, "http://f.example/" + std::to_string(i));
    }
    shortcut("sub/late.url", "http://late.example/");
    created();
    auto menu = favoritesMenu();
    ASSERT_EQ(menu.size(), 512u) << "the full menu has no room for the sub-folder either";
    EXPECT_EQ(menu.front(), command("s000", ID_FAVORITE_FIRST));
    EXPECT_EQ(menu.back(), command("s511", ID_FAVORITE_LAST));
    EXPECT_EQ(frame->m_favoriteUrls.size(), 512u);
    frame->OnCommand(ID_FAVORITE_LAST);
    frame->OnCommand(ID_FAVORITE_LAST + 1);
    EXPECT_EQ(desktop.control.calls, Calls{"navigate http://f.example/511"});
}

TEST_F(MainFrameTest, AFolderLinkedBackIntoTheTreeEndsTheWalk) {
    shortcut("a.url", "http://a.example/");
    shortcut("inner/b.url", "http://b.example/");
    fs::create_directory_symlink(favorites, favorites + "/inner/back");
    fs::create_directory_symlink(favorites + "/inner", favorites + "/inner/self");
    created();
    auto menu = favoritesMenu();
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].text, "inner");
    EXPECT_EQ(menu[0].popup, std::vector<MenuItem>{command("b", 3585)});
    EXPECT_EQ(menu[1], command("a", 3584));
}

TEST_F(MainFrameTest, TheFolderComesFromTheRegistryWithEnvironmentExpanded) {
    shortcut("x/e.url", "http://e.example/");
    testing::ScopedEnvironment variable("ORVANE_FAVORITES_TEST", favorites);
    favoritesSetting("%ORVANE_FAVORITES_TEST%/x");
    created();
    EXPECT_EQ(favoritesMenu(), std::vector<MenuItem>{command("e", 3584)});

    favoritesSetting(folder / "missing");
    created();
    EXPECT_TRUE(favoritesMenu().empty());
    EXPECT_EQ(frame->menu().size(), 5u);
}

// The page shown becomes a shortcut in the folder, which the reader takes
// back: the menu lists it at once and choosing it opens the page.
TEST_F(MainFrameTest, AddToFavoritesWritesAShortcutNamedAfterTheTitleThatTheMenuListsAtOnce) {
    fs::remove_all(favorites);
    created();
    frame->OnCommand(ID_FAVORITES_ADD);
    EXPECT_FALSE(fs::exists(favorites)) << "no page shown yet, nothing to add";
    std::string url = "http://www.orvane.net/quakes/?year=2024;month=03#top";
    frame->SetDocumentTitle("Events: 2024/03 <new>?");
    frame->ShowAddress(url);
    window.calls.clear();
    frame->OnCommand(ID_FAVORITES_ADD);
    std::string file = favorites + "/Events_ 2024_03 _new__.url";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(testkit::readFileText(file), "[InternetShortcut]\r\nURL=" + url + "\r\n");
    EXPECT_EQ(window.calls, Calls{"favorites menu"});
    EXPECT_EQ(window.favorites, frame->menu()[kFavoritesMenuIndex].popup);
    EXPECT_EQ(favoritesMenu(), std::vector<MenuItem>{command("Events_ 2024_03 _new__", 3584)});
    desktop.control.calls.clear();
    frame->OnCommand(3584);
    EXPECT_EQ(desktop.control.calls, Calls{"navigate " + url});

    // The same title again gets a number; a title that would make a hidden
    // file loses its dots; a page without a title is named after its host.
    frame->OnCommand(ID_FAVORITES_ADD);
    frame->SetDocumentTitle("..profile. ");
    frame->OnCommand(ID_FAVORITES_ADD);
    frame->SetDocumentTitle("");
    frame->ShowAddress("http://user@127.0.0.1:8080/check");
    frame->OnCommand(ID_FAVORITES_ADD);
    EXPECT_EQ(favoritesMenu(),
              (std::vector<MenuItem>{
                  command("127.0.0.1_8080", 3584), command("Events_ 2024_03 _new__", 3585),
                  command("Events_ 2024_03 _new__ (2)", 3586), command("profile", 3587)}));
    EXPECT_EQ(frame->m_favoriteUrls[2], url);
    EXPECT_TRUE(desktop.messages.empty());

    // A folder that cannot be written: the message, and the menu as it was.
    fs::permissions(favorites, fs::perms::owner_read | fs::perms::owner_exec);
    bool readOnly = ::access(favorites.c_str(), W_OK) != 0;  // root writes anyway
    frame->SetDocumentTitle("Other");
    frame->OnCommand(ID_FAVORITES_ADD);
    fs::permissions(favorites, fs::perms::owner_all);
    if (readOnly) {
        ASSERT_EQ(desktop.messages.size(), 1u);
        EXPECT_EQ(desktop.messages[0].rfind("Unable to add the page to your Favorites: ", 0), 0u);
        EXPECT_EQ(favoritesMenu().size(), 4u);
    }
}

TEST(FavoriteName, CleansTheTitleIntoAFileNameOfBoundedLength) {
    EXPECT_EQ(FavoriteName("a\\b/c:d*e?f\"g<h>i|j\tk\x7fl", ""), "a_b_c_d_e_f_g_h_i_j_k_l");
    EXPECT_EQ(FavoriteName(" . Seismic . ", ""), "Seismic");
    EXPECT_EQ(FavoriteName("...", "ftp://ftp.orvane.net/pub/"), "ftp.orvane.net");
    EXPECT_EQ(FavoriteName("", "about:blank"), "Untitled");
    // 199 ASCII bytes and then a two-byte character: cut before it.
    std::string title = std::string(199, 'x') + "\xc3\xa9" + "tail";
    EXPECT_EQ(FavoriteName(title, ""), std::string(199, 'x'));
    EXPECT_EQ(FavoriteName(std::string(300, 'y'), "").size(), 200u);
}

TEST_F(MainFrameTest, OrganizeFavoritesOpensTheFolderMadeWhenMissing) {
    fs::remove_all(favorites);
    created();
    frame->OnCommand(ID_FAVORITES_ORGANIZE);
    EXPECT_TRUE(fs::is_directory(favorites));
    EXPECT_EQ(window.calls, Calls{"open " + favorites});
}

// F11 goes in and out of full screen; Esc leaves it only while no page is
// loading (then it is Stop's), and does nothing outside full screen.
TEST_F(MainFrameTest, FullScreenTogglesAndEscLeavesItWhenNoLoadNeedsTheKey) {
    created();
    EXPECT_FALSE(frame->OnEscape());
    frame->OnCommand(ID_VIEW_FULL_SCREEN);
    EXPECT_TRUE(frame->fullScreen());
    frame->OnLoadStarted("http://www.orvane.net/");
    EXPECT_FALSE(frame->OnEscape());
    frame->OnLoadFinished();
    EXPECT_TRUE(frame->OnEscape());
    EXPECT_FALSE(frame->fullScreen());
    EXPECT_FALSE(frame->OnEscape());
    frame->OnCommand(ID_VIEW_FULL_SCREEN);
    frame->OnCommand(ID_VIEW_FULL_SCREEN);
    // Left through the window manager: the next F11 goes in again.
    frame->OnCommand(ID_VIEW_FULL_SCREEN);
    frame->OnFullScreenChanged(false);
    frame->OnCommand(ID_VIEW_FULL_SCREEN);
    Calls screens;
    for (const auto& call : window.calls)
        if (call.find("full screen") != std::string::npos)
            screens.push_back(call);
    EXPECT_EQ(screens, (Calls{"full screen", "no full screen", "full screen", "no full screen",
                              "full screen", "full screen"}));
    desktop.control.calls.clear();
    EXPECT_TRUE(frame->OnCommand(ID_VIEW_RELOAD_BYPASS));
    EXPECT_TRUE(frame->OnCommand(ID_VIEW_REFRESH));
    EXPECT_EQ(desktop.control.calls, (Calls{"refresh past the cache", "refresh"}));
}

TEST_F(MainFrameTest, AddressBoxStartsWithSixEntriesAndGrowsWithEveryEnter) {
    created();
    EXPECT_EQ(frame->addressEntries(),
              (Calls{"http://www.orvane.net/cgi-dos/event.exe", "http://www.orvane.net/quakes/",
                     "http://www.iris.edu/pub/farm/", "http://www.orvane.net/bbrequest.html",
                     "http://www.orvane.net/request.html", "http://www.usgs.gov/"}));
    frame->OnAddressEntered("http://typed.example/");
    frame->OnAddressEntered("http://typed.example/");
    EXPECT_EQ(frame->addressEntries().size(), 8u);
    EXPECT_EQ(frame->addressEntries()[7], "http://typed.example/");
    EXPECT_EQ(window.calls, (Calls{"focus page", "append http://typed.example/", "focus page",
                                   "append http://typed.example/"}));
    frame->OnAddressChosen(1);
    frame->OnAddressChosen(1);
    frame->OnAddressChosen(8);
    EXPECT_EQ(desktop.control.calls,
              (Calls{"navigate http://typed.example/", "navigate http://typed.example/",
                     "navigate http://www.orvane.net/quakes/",
                     "navigate http://www.orvane.net/quakes/"}));
    EXPECT_EQ(frame->addressEntries().size(), 8u);
}

TEST_F(MainFrameTest, TypedAddressesWithoutASchemeAreWebAddresses) {
    created();
    for (const char* typed : {" www.example.org ", "localhost:8080/a?b", "ftp://127.0.0.1/x/",
                              "about:blank", "/tmp/help page.html", "HTTPS://host/"})
        frame->OnAddressEntered(typed);
    EXPECT_EQ(desktop.control.calls,
              (Calls{"navigate http://www.example.org/", "navigate http://localhost:8080/a?b",
                     "navigate ftp://127.0.0.1/x/", "navigate about:blank",
                     "navigate file:///tmp/help page.html", "navigate HTTPS://host/"}));
    EXPECT_EQ(frame->addressEntries()[6], " www.example.org ") << "the list keeps what was typed";
}

TEST_F(MainFrameTest, StatusBarShowsPromptThenLinkThenLoadingThenDownloadThenReady) {
    created();
    frame->OnLoadStarted("http://a.example/");
    frame->OnLoadProgress(40);
    frame->OnLinkHover("http://link.example/");
    frame->OnMenuSelect(ID_VIEW_REFRESH);
    frame->OnMenuDeselect();
    frame->OnLinkHover("");
    frame->OnDownloadStatus("Downloading data.zip ... 10% of 2.0 MB");
    frame->OnLoadFinished();
    frame->OnDownloadStatus("");
    EXPECT_EQ(window.calls,
              (Calls{"status Opening page http://a.example/ ... 0%",
                     "status Opening page http://a.example/ ... 40%", "status http://link.example/",
                     "status Refreshes the contents of the current page.",
                     "status http://link.example/", "status Opening page http://a.example/ ... 40%",
                     "status Opening page http://a.example/ ... 40%",
                     "status Downloading data.zip ... 10% of 2.0 MB", "status Ready"}));
    window.calls.clear();
    frame->OnHistoryChanged(false, true);
    EXPECT_EQ(window.calls, (Calls{"command 32787 greyed", "command 32788 enabled"}));
}

// The page's search and zoom, recorded.
struct RecordingPageTools final : PageTools {
    void SearchText(const std::string& text, bool backwards) override {
        calls.push_back((backwards ? "search back " : "search ") + text);
    }
    void EndSearch() override { calls.push_back("end search"); }
    double ZoomLevel() const override { return level; }
    void SetZoomLevel(double zoom) override { level = zoom; }
    void ClearBrowsingData(std::function<void()> done) override {
        calls.push_back("clear data");
        cleared = std::move(done);
    }
    Calls calls;
    std::function<void()> cleared;
    double level = 1.0;
};

TEST_F(MainFrameTest, FindBarAndZoomRunFromTheirCommands) {
    created();
    RecordingPageTools tools;
    frame->AttachPageTools(tools);
    frame->OnCommand(ID_VIEW_FIND_NEXT);  // nothing to look for yet: asks for it
    window.findText = "quake";
    frame->OnCommand(ID_VIEW_FIND_NEXT);
    frame->OnCommand(ID_VIEW_FIND_PREVIOUS);
    frame->findInPage().OnSearchResult(0);
    frame->findInPage().OnSearchResult(1);
    frame->findInPage().OnSearchResult(3);
    frame->findInPage().Close();
    EXPECT_EQ(window.calls,
              (Calls{"find bar", "focus find", "found ", "found ", "found Not found",
                     "found 1 match", "found 3 matches", "found ", "no find bar", "focus page"}));
    EXPECT_EQ(tools.calls, (Calls{"search quake", "search back quake", "end search"}));
    std::vector<double> levels;
    for (int id : {ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_RESET, ID_VIEW_ZOOM_OUT}) {
        EXPECT_TRUE(frame->OnCommand(id));
        levels.push_back(tools.level);
    }
    EXPECT_EQ(levels, (std::vector<double>{1.1, 1.2, 1.0, 0.9}));
    for (int i = 0; i < 20; ++i)
        frame->OnCommand(ID_VIEW_ZOOM_OUT);
    EXPECT_EQ(tools.level, 0.3);
    tools.level = 1.25;  // between two steps
    frame->OnCommand(ID_VIEW_ZOOM_IN);
    EXPECT_EQ(tools.level, 1.33);
}

struct RecordingDownloadsWindow final : DownloadsWindow {
    void Present() override { ++presented; }
    int presented = 0;
};

// View / Downloads shows the window; Clear Browsing Data says so in the
// status bar only once the data is gone.
TEST_F(MainFrameTest, DownloadsAndClearBrowsingDataRunFromTheViewMenu) {
    created();
    RecordingPageTools tools;
    RecordingDownloadsWindow downloads;
    frame->AttachPageTools(tools);
    frame->AttachDownloads(downloads);
    EXPECT_TRUE(frame->OnCommand(ID_VIEW_DOWNLOADS));
    EXPECT_EQ(downloads.presented, 1);
    EXPECT_TRUE(frame->OnCommand(ID_VIEW_CLEAR_BROWSING_DATA));
    EXPECT_EQ(tools.calls, Calls{"clear data"});
    EXPECT_TRUE(window.calls.empty()) << "nothing said before it is done";
    ASSERT_TRUE(tools.cleared);
    tools.cleared();
    EXPECT_EQ(window.calls, Calls{std::string("status ") + kBrowsingDataClearedText});
    auto menu = MainMenu()[1].popup;
    EXPECT_EQ(menu.back(), MenuItem::Command("C&lear Browsing Data", ID_VIEW_CLEAR_BROWSING_DATA));
    EXPECT_EQ(PromptFor(ID_VIEW_DOWNLOADS, {}).toolTip, "Downloads");
}

TEST_F(MainFrameTest, PromptsShowInTheStatusBarAndReadyComesBack) {
    created();
    frame->OnMenuSelect(ID_GO_NEW_EVENTS);
    frame->OnMenuSelect(ID_GO_SEED_ARCHIVES);
    frame->OnMenuSelect(ID_VIEW_REFRESH);
    frame->OnMenuSelect(ID_FAVORITE_FIRST);
    frame->OnMenuDeselect();
    EXPECT_EQ(window.calls, (Calls{"status Opens the new event page at www.orvane.net.",
                                   "status Opens http://www.iris.edu/pub/farm/",
                                   "status Refreshes the contents of the current page.", "status ",
                                   "status Ready"}));
    EXPECT_EQ(PromptFor(ID_GO_NEW_EVENTS, app->endpoints().ForPrompts()).toolTip, "New Events");
    EXPECT_EQ(PromptFor(ID_APP_ABOUT, app->endpoints().ForPrompts()).toolTip, "About");
    EXPECT_EQ(PromptFor(ID_APP_EXIT, app->endpoints().ForPrompts()).toolTip, "");
}

TEST_F(MainFrameTest, BarsToggleWithTheirCheckState) {
    created();
    EXPECT_TRUE(frame->IsBarVisible(ID_VIEW_TOOLBAR));
    frame->OnCommand(ID_VIEW_TOOLBAR);
    frame->OnCommand(ID_VIEW_STATUS_BAR);
    frame->OnCommand(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(frame->IsBarVisible(ID_VIEW_TOOLBAR));
    EXPECT_FALSE(frame->IsBarVisible(ID_VIEW_STATUS_BAR));
    EXPECT_EQ(window.calls, (Calls{"bar 59392 hidden", "bar 59393 hidden", "bar 59392 shown"}));
}

TEST_F(MainFrameTest, CommandsAreRoutedByIdToTheFrameTheAppOrTheView) {
    created();
    EXPECT_TRUE(frame->OnCommand(ID_HELP_FINDER));
    EXPECT_TRUE(frame->OnCommand(ID_APP_ABOUT));
    EXPECT_TRUE(frame->OnCommand(ID_VIEW_STOP));
    EXPECT_FALSE(frame->OnCommand(12345));
    EXPECT_EQ(desktop.abouts, 1);
    EXPECT_EQ(desktop.control.calls,
              (Calls{"navigate file:///opt/share/orvane/help/OrvaneExplorer.html", "stop"}));
    frame->SetDocumentTitle("Events");
    frame->ShowAddress("http://www.orvane.net/");
    EXPECT_EQ(window.calls,
              (Calls{"caption Events - Orvane Explorer", "address http://www.orvane.net/"}));
}

TEST_F(MainFrameTest, CloseSavesThePlacementCancelsADownloadAndEndsOnce) {
    created();
    desktop.current = {-1, -1, -1, -1, 10, 20, 810, 620};
    desktop.control.duringTransfer = [&] { frame->OnCommand(ID_APP_EXIT); };
    desktop.control.outcomes = {{1, ""}};
    bool cancel = false;
    app->m_szDownloadDir = folder / "";
    desktop.view->OnBeforeNavigate2("http://www.orvane.net/quakes/a.evt", cancel);
    desktop.view->OnMessage(desktop.control.posted.back());
    frame->OnClose();
    EXPECT_EQ(desktop.control.calls, Calls{"cancel transfer"});
    EXPECT_EQ(window.calls, Calls{"destroy"});
    EXPECT_EQ(ProfileFile(folder / "settings.ini").readString("Settings", "FramePos"),
              "-1 -1 -1 -1 10 20 810 620");
    EXPECT_EQ(app->m_pBrowserView, nullptr);
}

}  // namespace
}  // namespace orvane
