#include "browser/app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "browser/directory_dialogs.h"
#include "browser/view.h"
#include "tests/browser/fake_desktop.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::FakeDesktop;
using testing::FakeDialogs;
using testing::FakeWorld;

constexpr char kProgramDir[] = "/opt/Orvane Explorer/bin/";
constexpr char kBrowserKey[] = "SOFTWARE\\Orvane Network\\OrvaneExplorer";

class AppTest : public ::testing::Test {
  protected:
    fs::path root = fs::temp_directory_path() / ("orvane-app-" + std::to_string(getpid()));
    FakeDesktop desktop;
    FakeWorld world;
    std::unique_ptr<CBrowserApp> app;
    std::string downloadFolder;  // the member's own download folder, if any

    void SetUp() override {
        fs::remove_all(root);
        fs::create_directories(root);
        app = makeApp();
    }
    void TearDown() override { fs::remove_all(root); }

    std::unique_ptr<CBrowserApp> makeApp() {
        auto made = std::make_unique<CBrowserApp>(
            desktop, world, ProfileFile((root / "ORVANEEXPLORER.INI").string()),
            RegistryStore(
                RegistryFiles{(root / "hklm.ini").string(), (root / "hkcu.ini").string()}));
        made->programDirectorySource = [] { return std::string(kProgramDir); };
        made->winePrefixSource = [this] { return (root / "wine").string(); };
        made->downloadFolderSource = [this] { return downloadFolder; };
        made->currentFolderSource = [this] { return (root / "here").string(); };
        made->homeFolderSource = [this] { return (root / "home").string(); };
        return made;
    }
    // A Wine prefix in the test folder: drive C: and the registry file.
    void writeWinePrefix(const std::string& systemReg) {
        fs::create_directories(root / "wine/dosdevices");
        fs::create_directories(root / "wine/drive_c/Program Files/Tremora");
        fs::create_symlink("../drive_c", root / "wine/dosdevices/c:");
        fs::create_symlink("/", root / "wine/dosdevices/z:");
        std::ofstream(root / "wine/system.reg") << systemReg;
    }
    // A file that begins as every Windows program does.
    static void writeWindowsProgram(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << "MZ\x90\0\3";
    }
    ProfileFile settings() { return ProfileFile((root / "ORVANEEXPLORER.INI").string()); }
    void setting(const char* key, const std::string& value) {
        settings().writeString("Settings", key, value);
    }
    void machineValue(const char* key, const std::string& value) {
        RegistryStore store(
            RegistryFiles{(root / "hklm.ini").string(), (root / "hkcu.ini").string()});
        store.createKey(RegistryRoot::LocalMachine, key)->setValue("Location", value);
    }
    std::optional<std::string> machineLocation(const char* key) {
        RegistryStore store(
            RegistryFiles{(root / "hklm.ini").string(), (root / "hkcu.ini").string()});
        auto opened = store.openKey(RegistryRoot::LocalMachine, key);
        return opened ? opened->queryValue("Location") : std::nullopt;
    }
};

TEST_F(AppTest, StartsWithNothingStoredAtTheHomePageAndDefaultPlacement) {
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szDownloadDir, "");
    EXPECT_EQ(app->m_szViewerPath, "");
    EXPECT_EQ(app->m_strInitialUrl, "");
    EXPECT_EQ(desktop.control.calls, std::vector<std::string>{"home"});
    EXPECT_TRUE(desktop.applied.empty());
    EXPECT_EQ(desktop.shown, 1);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(app->m_pBrowserView, desktop.view.get());
    EXPECT_EQ(world.servedTopic, "system");
}

TEST_F(AppTest, RegistersItsOwnRealPathAndRewritesAKeyDifferingInCase) {
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(machineLocation(kBrowserKey), "/opt/Orvane Explorer/bin/orvaneexplorer");
    EXPECT_EQ(app->IsBrowserRegistered(), 1);
    machineValue(kBrowserKey, "/opt/orvane explorer/bin/orvaneexplorer");
    EXPECT_EQ(app->IsBrowserRegistered(), 0);
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(machineLocation(kBrowserKey), "/opt/Orvane Explorer/bin/orvaneexplorer");
}

TEST_F(AppTest, AnUnwritableMachineStoreFailsQuietly) {
    // A store whose path runs through a regular file cannot be written by
    // anyone, root included.
    std::ofstream(root / "hklm.ini") << "not a folder";
    app = std::make_unique<CBrowserApp>(
        desktop, world, ProfileFile((root / "ORVANEEXPLORER.INI").string()),
        RegistryStore(
            RegistryFiles{(root / "hklm.ini" / "x.ini").string(), (root / "hkcu.ini").string()}));
    app->programDirectorySource = [] { return std::string(kProgramDir); };
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(app->IsBrowserRegistered(), 0) << "the registration was not stored";
    std::ifstream file(root / "hklm.ini");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "not a folder");
    EXPECT_FALSE(fs::exists(root / "hkcu.ini")) << "nothing went to the user store instead";
}

TEST_F(AppTest, DeletedDownloadDirectoryIsReportedAndForgotten) {
    setting("DownloadDir", "/data/Gone Events/");
    ASSERT_TRUE(app->InitInstance({}));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0],
              "Download directory /data/Gone Events/ can not be found. Please select a new "
              "directory\nusing the File / Download Directory menu items.");
    EXPECT_EQ(app->m_szDownloadDir, "");
    EXPECT_EQ(settings().find("Settings", "DownloadDir"), "");
}

TEST_F(AppTest, DownloadDirectoryKeepsItsCaseAndGetsAFinalSeparator) {
    fs::create_directories(root / "Events");
    setting("DownloadDir", (root / "Events").string());
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szDownloadDir, (root / "Events").string() + "/");
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(AppTest, ViewerPathComesFromRegistryThenWinePrefixThenTremoraPathThenTremoraDir) {
    setting("TremoraDir", "/opt/tremora");
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szViewerPath, "/opt/tremora/trmvw32.exe");

    setting("TremoraDir", "/opt/tremora/");
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szViewerPath, "/opt/tremora/trmvw32.exe");

    setting("TremoraPath", "/usr/local/bin/trmvw32.exe");
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szViewerPath, "/usr/local/bin/trmvw32.exe");

    // Tremora installed under Wine: its key in the prefix's registry, the
    // Windows path read through the prefix's drive letters (and the file's
    // own letter case).
    writeWinePrefix(
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
        "[Software\\\\Orvane Network\\\\Tremora] 1796677614\n#time=1dd868ee3659604\n"
        "\"Location\"=\"C:\\\\Program Files\\\\Tremora\\\\TRMVW32.EXE\"\n");
    writeWindowsProgram(root / "wine/drive_c/Program Files/Tremora/trmvw32.exe");
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szViewerPath,
              fs::canonical(root / "wine/drive_c/Program Files/Tremora/trmvw32.exe").string());

    machineValue("SOFTWARE\\Orvane Network\\Tremora", "/srv/Tremora/trmvw32.exe");
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->m_szViewerPath, "/srv/Tremora/trmvw32.exe");
}

TEST_F(AppTest, CommandLineGivesInitialUrlAndStartPage) {
    ASSERT_TRUE(app->InitInstance({"\"http://a.example/first,http://b.example/home\""}));
    EXPECT_EQ(app->m_strInitialUrl, "http://a.example/first");
    EXPECT_EQ(app->m_strStartPage, "http://b.example/home");
    EXPECT_EQ(desktop.control.calls, std::vector<std::string>{"navigate http://a.example/first"});
}

// Local files are named as in a shell, relative to where the program starts.
TEST_F(AppTest, CommandLineFilesBecomeAbsoluteFileUrlsForBothUrls) {
    fs::create_directories(root / "here");
    fs::create_directories(root / "home");
    std::ofstream(root / "here/page.html") << "x";
    std::ofstream(root / "home/start.html") << "x";
    ASSERT_TRUE(app->InitInstance({"page.html,~/start.html"}));
    EXPECT_EQ(app->m_strInitialUrl, "file://" + (root / "here/page.html").string());
    EXPECT_EQ(app->m_strStartPage, "file://" + (root / "home/start.html").string());
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({"127.0.0.1:8080/check"}));
    EXPECT_EQ(app->m_strInitialUrl, "http://127.0.0.1:8080/check");
    EXPECT_EQ(app->m_strStartPage, "http://127.0.0.1:8080/check");
}

TEST_F(AppTest, FramePlacementIsSavedAtCloseAndRestoredAsNormalWindow) {
    ASSERT_TRUE(app->InitInstance({}));
    desktop.current = FramePlacement{-1, -1, -8, -8, 100, 50, 900, 650};
    app->OnFrameClose();
    EXPECT_EQ(settings().find("Settings", "FramePos"), "-1 -1 -8 -8 100 50 900 650");
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    ASSERT_EQ(desktop.applied.size(), 1u);
    EXPECT_EQ(desktop.applied[0], desktop.current);
}

TEST_F(AppTest, DamagedFramePosIsIgnored) {
    for (const char* text : {"1 2 3", "a b c d e f g h", "0 0 0 0 10 10 10 10"}) {
        setting("FramePos", text);
        app = makeApp();
        desktop.applied.clear();
        ASSERT_TRUE(app->InitInstance({}));
        EXPECT_TRUE(desktop.applied.empty()) << text;
    }
}

TEST_F(AppTest, OpenCommandNavigatesAndBringsTheWindowForward) {
    ASSERT_TRUE(app->InitInstance({}));
    desktop.control.calls.clear();
    EXPECT_TRUE(world.served("[open(\"http://www.orvane.net/quakes/\")]"));
    EXPECT_EQ(desktop.control.calls,
              std::vector<std::string>{"navigate http://www.orvane.net/quakes/"});
    EXPECT_EQ(desktop.broughtToFront, 1);
    EXPECT_TRUE(app->HandleDdeCommand(""));
    EXPECT_EQ(desktop.broughtToFront, 2);
    EXPECT_FALSE(app->HandleDdeCommand("[open(http://x/)]"));
    EXPECT_FALSE(app->HandleDdeCommand("[open(\"http://x/"));
    EXPECT_EQ(desktop.broughtToFront, 2);
    EXPECT_EQ(desktop.control.calls.size(), 1u);
}

TEST_F(AppTest, CommandsSentDuringTheStartUpMessageWaitForTheFrame) {
    setting("DownloadDir", "/data/Gone Events/");
    std::vector<bool> verdicts;
    desktop.whileMessageShown = [&] {
        verdicts.push_back(world.served("[open(\"http://sent.example/\")]"));
        verdicts.push_back(world.served(""));
        verdicts.push_back(world.served("[open(http://malformed.example/)]"));
        EXPECT_FALSE(desktop.view) << "no frame yet";
        EXPECT_EQ(desktop.broughtToFront, 0);
    };
    ASSERT_TRUE(app->InitInstance({"http://initial.example/"}));
    EXPECT_EQ(verdicts, (std::vector<bool>{true, true, false}));
    // The page asked for last is the only one loaded.
    EXPECT_EQ(desktop.control.calls, std::vector<std::string>{"navigate http://sent.example/"});
    EXPECT_EQ(desktop.broughtToFront, 2);
    EXPECT_EQ(desktop.shown, 1);
}

TEST_F(AppTest, AboutShowsTheBox) {
    app->OnAppAbout();
    EXPECT_EQ(desktop.abouts, 1);
}

class HandOffTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(app->InitInstance({}));
    }
    // OpenInViewer's result once the programs it started have ended; -1
    // when it gave none.
    int opened(const std::string& path, const std::string& service) {
        int result = -1;
        app->OpenInViewer(path, service, [&](int delivered) { result = delivered; });
        world.finishRuns();
        return result;
    }
    // A Windows viewer with the Windows DDE client beside the browser, and a
    // viewer window whose server our own carrier does not reach.
    std::string useWineViewer() {
        world.windowTitles = {"Tremora - 0101.evt"};
        world.viewerAnswers = false;
        app->m_szProgramDir = root.string() + "/";
        writeWindowsProgram(root / "orvane-dde.exe");
        std::string viewer = (root / "wine/drive_c/Tremora/trmvw32.exe").string();
        writeWindowsProgram(viewer);
        app->m_szViewerPath = viewer;
        return viewer;
    }
};

TEST_F(HandOffTest, NoViewerWindowMeansNoConversation) {
    world.windowTitles = {"Tremora", "Tremora-x", "Terminal"};
    EXPECT_EQ(opened("/data/ev.dat", "trmvw32"), 0);
    EXPECT_TRUE(world.ddeSent.empty());
}

TEST_F(HandOffTest, AnyWindowWithTheMarkGetsTheOpenCommand) {
    world.windowTitles = {"Terminal", "Notes on Tremora - draft"};
    EXPECT_EQ(opened("/data/My Events/ev 1.dat", "trmvw32.exe"), 1);
    EXPECT_EQ(world.ddeSent,
              std::vector<std::string>{"trmvw32|System|[open(\"/data/My Events/ev 1.dat\")]"});
    world.viewerAcceptsCommand = false;
    EXPECT_EQ(opened("/data/b.dat", "trmvw32"), 1);
    world.viewerAnswers = false;
    EXPECT_EQ(opened("/data/c.dat", "trmvw32"), 0);
}

TEST_F(HandOffTest, ViewerStartsWithThePathAsItsOneArgument) {
    app->StartViewer("/data/My Events/a;b $(x).dat");
    ASSERT_EQ(world.started.size(), 1u);
    EXPECT_EQ(world.started[0], (std::vector<std::string>{"/opt/Orvane Explorer/bin/trmvw32.exe",
                                                          "/data/My Events/a;b $(x).dat"}));
    app->m_szViewerPath = "/srv/trmvw32.exe";
    app->StartViewer("/x.dat");
    EXPECT_EQ(world.started[1][0], "/srv/trmvw32.exe");
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(HandOffTest, AWindowsViewerStartsUnderWineWithTheFilesWindowsPath) {
    fs::create_directories(root / "wine/dosdevices");
    fs::create_symlink("../drive_c", root / "wine/dosdevices/c:");
    std::string viewer = (root / "wine/drive_c/Tremora/trmvw32.exe").string();
    writeWindowsProgram(viewer);
    app->m_szViewerPath = viewer;
    app->StartViewer("/data/My Events/a;b $(x).dat");
    ASSERT_EQ(world.started.size(), 1u);
    EXPECT_EQ(world.started[0],
              (std::vector<std::string>{"wine", viewer, "Z:\\data\\My Events\\a;b $(x).dat"}));
    EXPECT_EQ(world.startedWith[0], (EnvironmentChanges{{"WINEPREFIX", (root / "wine").string()}}));

    // Outside every drive_c the viewer runs in the default prefix; a file
    // on drive C: gets its C: path.
    std::string elsewhere = (root / "opt/trmvw32.exe").string();
    writeWindowsProgram(elsewhere);
    app->m_szViewerPath = elsewhere;
    app->StartViewer((root / "wine/drive_c/ev.dat").string());
    EXPECT_EQ(world.started[1], (std::vector<std::string>{"wine", elsewhere, "C:\\ev.dat"}));
    EXPECT_EQ(world.startedWith[1], (EnvironmentChanges{{"WINEPREFIX", (root / "wine").string()}}));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(HandOffTest, AWindowsViewerGetsTheCommandOverWineDdeWhenOurOwnCarrierFindsNoServer) {
    world.windowTitles = {"Tremora - 0101.evt"};
    world.viewerAnswers = false;
    app->m_szProgramDir = root.string() + "/";
    // A Linux viewer: only our own carrier is tried.
    app->m_szViewerPath = "/srv/trmvw32.exe";
    writeWindowsProgram(root / "orvane-dde.exe");
    EXPECT_EQ(opened("/data/a.dat", "trmvw32"), 0);
    EXPECT_TRUE(world.ran.empty());

    std::string viewer = (root / "wine/drive_c/Tremora/trmvw32.exe").string();
    writeWindowsProgram(viewer);
    app->m_szViewerPath = viewer;
    EXPECT_EQ(opened("/data/My Events/b 1.dat", "trmvw32.exe"), 1);
    ASSERT_EQ(world.ran.size(), 1u);
    EXPECT_EQ(world.ran[0],
              (std::vector<std::string>{"wine", (root / "orvane-dde.exe").string(), "trmvw32",
                                        "System", "[open(\"Z:\\data\\My Events\\b 1.dat\")]",
                                        "WINEPREFIX=" + (root / "wine").string()}));
    // No conversation under Wine either (or no end in time): the caller
    // falls back to starting the viewer.
    world.runStatus = 1;
    EXPECT_EQ(opened("/data/c.dat", "trmvw32"), 0);
    world.runStatus = std::nullopt;
    EXPECT_EQ(opened("/data/c.dat", "trmvw32"), 0);
    // Without the client beside the browser nothing is run.
    fs::remove(root / "orvane-dde.exe");
    EXPECT_EQ(opened("/data/c.dat", "trmvw32"), 0);
    EXPECT_EQ(world.ran.size(), 3u);
}

// The client under Wine may take seconds: the hand-off returns at once and
// ends when the client does, DDE first and the start only without a
// conversation; a window closed meanwhile ends the client and starts nothing.
TEST_F(HandOffTest, TheWindowsDdeClientIsWaitedForByTheLoopAndEndsWithTheWindow) {
    std::string viewer = useWineViewer();
    app->HandOffToViewer("/data/a.dat");
    ASSERT_EQ(world.ran.size(), 1u);
    EXPECT_EQ(app->handOffsWaiting(), 1u);
    EXPECT_TRUE(world.started.empty()) << "nothing started before the client has answered";
    world.finishRuns();
    EXPECT_EQ(app->handOffsWaiting(), 0u);
    EXPECT_TRUE(world.started.empty()) << "the conversation was made";

    world.runStatus = 1;
    app->HandOffToViewer("/data/b.dat");
    app->HandOffToViewer("/data/c.dat");
    EXPECT_EQ(app->handOffsWaiting(), 2u);
    world.finishRuns();
    ASSERT_EQ(world.started.size(), 2u);
    EXPECT_EQ(world.started[0], (std::vector<std::string>{"wine", viewer, "Z:\\data\\b.dat"}));
    EXPECT_EQ(world.started[1], (std::vector<std::string>{"wine", viewer, "Z:\\data\\c.dat"}));

    // A client that cannot be started: the viewer is started at once.
    world.runStarts = false;
    app->HandOffToViewer("/data/d.dat");
    EXPECT_EQ(world.started.size(), 3u);
    EXPECT_EQ(app->handOffsWaiting(), 0u);

    world.runStarts = true;
    app->HandOffToViewer("/data/e.dat");
    ASSERT_EQ(app->handOffsWaiting(), 1u);
    desktop.view->OnFrameClosing();
    app->OnFrameClose();
    EXPECT_EQ(world.runsEnded, 1) << "the waiting client is ended with the window";
    EXPECT_EQ(app->handOffsWaiting(), 0u);
    world.finishRuns();
    EXPECT_EQ(world.started.size(), 3u);
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(HandOffTest, WithNoTremoraFileTheQuicklookBesideTheBrowserGetsTheFile) {
    app->m_szProgramDir = root.string() + "/";
    std::ofstream(root / "orvane-quicklook") << "#!/bin/sh\n";
    app->StartViewer("/data/My Events/a b.mseed");
    ASSERT_EQ(world.started.size(), 1u);
    EXPECT_EQ(world.started[0], (std::vector<std::string>{(root / "orvane-quicklook").string(),
                                                          "/data/My Events/a b.mseed"}));
    // A viewer location that names no file is still Tremora's: its start
    // fails with the message.
    app->m_szViewerPath = "/srv/gone/trmvw32.exe";
    app->StartViewer("/x.dat");
    EXPECT_EQ(world.started[1][0], "/srv/gone/trmvw32.exe");
    // Tremora wherever it is there: chosen, or beside the browser.
    app->m_szViewerPath = (root / "Tremora/trmvw32.exe").string();
    fs::create_directories(root / "Tremora");
    std::ofstream(app->m_szViewerPath) << "viewer";
    app->StartViewer("/x.dat");
    EXPECT_EQ(world.started[2][0], app->m_szViewerPath);
    app->m_szViewerPath.clear();
    std::ofstream(root / "trmvw32.exe") << "viewer";
    app->StartViewer("/x.dat");
    EXPECT_EQ(world.started[3][0], (root / "trmvw32.exe").string());
    // A quick-look that does not start: the message, as for Tremora.
    fs::remove(root / "trmvw32.exe");
    world.startResult = 2;
    app->StartViewer("/x.dat");
    EXPECT_EQ(world.started.size(), 6u);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].rfind("Unable to start Tremora", 0), 0u);
}

TEST_F(HandOffTest, AFailedStartShowsTheJoinedMessage) {
    world.startResult = 2;
    app->StartViewer("/x.dat");
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0],
              "Unable to start Tremora. Please make sure that this program (OrvaneExplorer.exe)\n"
              "and trmvw32.exe are located in the same directory.You can also locate Tremora\n"
              "using the File / Locate Tremora menu items.");
}

// In a build tree the page sits beside the program; installed, the program
// is in PREFIX/bin and the page in PREFIX/share/orvane, the Windows DDE
// client in PREFIX/lib/orvane.
TEST_F(HandOffTest, HelpPageAndDdeClientAreBesideTheProgramOrInTheInstalledLayout) {
    EXPECT_EQ(app->HelpUrl(), "file:///opt/Orvane Explorer/share/orvane/help/OrvaneExplorer.html");
    fs::create_directories(root / "bin/help");
    std::ofstream(root / "bin/help/OrvaneExplorer.html") << "<title>Help</title>";
    app->m_szProgramDir = (root / "bin").string() + "/";
    EXPECT_EQ(app->HelpUrl(), "file://" + (root / "bin/help/OrvaneExplorer.html").string());

    world.windowTitles = {"Tremora - 0101.evt"};
    world.viewerAnswers = false;
    std::string viewer = (root / "wine/drive_c/Tremora/trmvw32.exe").string();
    writeWindowsProgram(viewer);
    app->m_szViewerPath = viewer;
    writeWindowsProgram(root / "lib/orvane/orvane-dde.exe");
    EXPECT_EQ(opened("/data/a.dat", "trmvw32"), 1);
    ASSERT_EQ(world.ran.size(), 1u);
    EXPECT_EQ(world.ran[0][1], (root / "lib/orvane/orvane-dde.exe").string());
}

class DialogTest : public HandOffTest {
  protected:
    FakeDialogs dialogs;
};

TEST_F(DialogTest, WithoutADirectoryTheChooserOpensInTheProgramFolder) {
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(dialogs.startFolders, std::vector<std::string>{"/opt/Orvane Explorer/bin"});
    EXPECT_EQ(app->m_szDownloadDir, "");
}

TEST_F(DialogTest, WithoutADirectoryTheChooserOpensInTheMembersDownloadFolder) {
    downloadFolder = (root / "Fetched").string();
    app = makeApp();
    ASSERT_TRUE(app->InitInstance({}));
    ChooseDownloadDirectory(*app, dialogs);
    app->m_szDownloadDir = (root / "Quakes").string() + "/";
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(dialogs.startFolders,
              (std::vector<std::string>{(root / "Fetched").string(), (root / "Quakes").string()}))
        << "a directory already chosen comes first";
}

TEST_F(DialogTest, ChosenFolderIsStoredWithFinalSeparatorInMemoryAndFile) {
    fs::create_directories(root / "Quakes");
    dialogs.directoryAnswer = DirectoryChoice{(root / "Quakes").string() + "/", ""};
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(app->m_szDownloadDir, (root / "Quakes").string() + "/");
    EXPECT_EQ(settings().find("Settings", "DownloadDir"), app->m_szDownloadDir);
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(dialogs.startFolders.back(), (root / "Quakes").string());
}

TEST_F(DialogTest, NewDirectoryIsCreatedOneLevelDeepOnly) {
    dialogs.directoryAnswer = DirectoryChoice{"/ignored/", (root / "New").string()};
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_TRUE(fs::is_directory(root / "New"));
    EXPECT_EQ(app->m_szDownloadDir, (root / "New").string() + "/");

    dialogs.directoryAnswer = DirectoryChoice{"/ignored/", (root / "a" / "b").string()};
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(desktop.messages, std::vector<std::string>{"Error Creating New Directory"});
    EXPECT_FALSE(fs::exists(root / "a"));
    EXPECT_EQ(app->m_szDownloadDir, (root / "New").string() + "/");

    dialogs.directoryAnswer = DirectoryChoice{"/ignored/", (root / "New").string()};
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(DialogTest, ADownloadDirectoryIsAskedForOnlyWhenNoneIsSet) {
    EXPECT_FALSE(EnsureDownloadDirectory(*app, dialogs));
    EXPECT_EQ(desktop.messages, std::vector<std::string>{kSelectDirectoryMessage});
    EXPECT_EQ(dialogs.startFolders.size(), 1u);

    fs::create_directories(root / "Quakes");
    dialogs.directoryAnswer = DirectoryChoice{(root / "Quakes").string(), ""};
    EXPECT_TRUE(EnsureDownloadDirectory(*app, dialogs));
    EXPECT_EQ(app->m_szDownloadDir, (root / "Quakes").string() + "/");
    EXPECT_TRUE(EnsureDownloadDirectory(*app, dialogs));
    EXPECT_EQ(desktop.messages.size(), 2u) << "no prompt once a directory is set";
    EXPECT_EQ(dialogs.startFolders.size(), 2u);
}

TEST_F(DialogTest, CancelChangesNothing) {
    app->m_szDownloadDir = "/keep/";
    ChooseDownloadDirectory(*app, dialogs);
    EXPECT_EQ(app->m_szDownloadDir, "/keep/");
    LocateViewer(*app, dialogs);
    EXPECT_EQ(app->m_szViewerPath, "");
}

TEST_F(DialogTest, LocatedViewerIsUsedForTheNextStartAndStored) {
    dialogs.locateAnswer = "/elsewhere/bin/trmvw32.exe";
    LocateViewer(*app, dialogs);
    EXPECT_EQ(settings().find("Settings", "TremoraPath"), "/elsewhere/bin/trmvw32.exe");
    app->StartViewer("/ev.dat");
    EXPECT_EQ(world.started.back()[0], "/elsewhere/bin/trmvw32.exe");
}

}  // namespace
}  // namespace orvane
