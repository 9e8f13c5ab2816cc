#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/platform/scoped_environment.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

using testing::ScopedEnvironment;
using testkit::readFileText;
using testkit::TempFolder;

constexpr const char* kBrowserKey = "SOFTWARE\\Orvane Network\\OrvaneExplorer";
constexpr const char* kViewerKey = "SOFTWARE\\Orvane Network\\Tremora";

class RegistryTest : public ::testing::Test {
  protected:
    TempFolder folder;
    RegistryStore store{RegistryFiles{folder / "machine/hklm.ini", folder / "user/hkcu.ini"}};
};

TEST_F(RegistryTest, AValueWrittenUnderAKeyReadsBackThroughAnyCaseOfItsPath) {
    auto key = store.createKey(RegistryRoot::LocalMachine, kBrowserKey);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->setValue("Location", "/opt/orvane/bin/orvaneexplorer.exe"));
    auto again =
        store.openKey(RegistryRoot::LocalMachine, "software\\ORVANE NETWORK\\orvaneexplorer");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->queryValue("LOCATION"), "/opt/orvane/bin/orvaneexplorer.exe");
    EXPECT_FALSE(again->queryValue("Missing"));
    EXPECT_EQ(readFileText(folder / "machine/hklm.ini"),
              "[SOFTWARE\\Orvane Network\\OrvaneExplorer]\n"
              "Location=/opt/orvane/bin/orvaneexplorer.exe\n");
}

TEST_F(RegistryTest, OpeningAMissingKeyFailsAndCreatesNothing) {
    EXPECT_FALSE(store.openKey(RegistryRoot::LocalMachine, kViewerKey));
    EXPECT_FALSE(std::filesystem::exists(folder / "machine/hklm.ini"));
    ASSERT_TRUE(store.createKey(RegistryRoot::LocalMachine, kBrowserKey));
    EXPECT_FALSE(store.openKey(RegistryRoot::LocalMachine, kViewerKey));
    EXPECT_FALSE(store.openKey(RegistryRoot::CurrentUser, kBrowserKey));
    EXPECT_FALSE(store.openKey(RegistryRoot::LocalMachine, ""));
}

TEST_F(RegistryTest, AKeyExistsWhenAKeyBelowItWasCreated) {
    ASSERT_TRUE(store.createKey(RegistryRoot::LocalMachine, kViewerKey));
    EXPECT_TRUE(store.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\Orvane Network"));
    EXPECT_TRUE(store.openKey(RegistryRoot::LocalMachine, "\\software\\"));
    EXPECT_FALSE(store.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\Orvane"));
}

TEST_F(RegistryTest, RootsAreSeparateFiles) {
    ASSERT_TRUE(store.createKey(RegistryRoot::CurrentUser, kViewerKey)->setValue("Location", "u"));
    ASSERT_TRUE(store.createKey(RegistryRoot::LocalMachine, kViewerKey)->setValue("Location", "m"));
    EXPECT_EQ(store.openKey(RegistryRoot::CurrentUser, kViewerKey)->queryValue("Location"), "u");
    EXPECT_EQ(store.openKey(RegistryRoot::LocalMachine, kViewerKey)->queryValue("Location"), "m");
}

TEST_F(RegistryTest, AnUnwritableMachineStoreFailsQuietly) {
    std::filesystem::create_directories(folder / "machine");
    std::ofstream(folder / "machine/hklm.ini") << "[SOFTWARE\\Orvane Network\\OrvaneExplorer]\n"
                                                  "Location=/old/orvaneexplorer.exe\n";
    ::chmod((folder / "machine").c_str(), 0500);
    if (::access((folder / "machine").c_str(), W_OK) == 0) {
        // Root writes anywhere; a file in the way of the folder stops even root.
        ::chmod((folder / "machine").c_str(), 0700);
        store = RegistryStore(RegistryFiles{folder / "machine/hklm.ini/inside", folder / "u.ini"});
    }
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(store.createKey(RegistryRoot::LocalMachine, kBrowserKey));
    EXPECT_FALSE(store.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\New"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ::chmod((folder / "machine").c_str(), 0700);
    EXPECT_EQ(readFileText(folder / "machine/hklm.ini"),
              "[SOFTWARE\\Orvane Network\\OrvaneExplorer]\nLocation=/old/orvaneexplorer.exe\n");
}

TEST_F(RegistryTest, AValueWithALineBreakIsStoredUpToIt) {
    auto key = store.createKey(RegistryRoot::LocalMachine, kBrowserKey);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->setValue("Location", "/a/orvaneexplorer.exe\n[SOFTWARE\\Evil]"));
    EXPECT_EQ(key->queryValue("Location"), "/a/orvaneexplorer.exe");
    EXPECT_FALSE(store.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\Evil"));
    EXPECT_FALSE(store.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\Bad]Name"));
}

TEST_F(RegistryTest, TheUserAlwaysHasAFavouritesFolderUnlessTheStoreNamesAnother) {
    ScopedEnvironment data("XDG_DATA_HOME", "/data/ana");
    auto folders = store.openKey(RegistryRoot::CurrentUser, kUserShellFoldersKey);
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->queryValue("Favorites"), "/data/ana/orvane/Favorites");
    EXPECT_FALSE(folders->queryValue("Personal"));
    EXPECT_FALSE(store.openKey(RegistryRoot::LocalMachine, kUserShellFoldersKey));
    ASSERT_TRUE(store.createKey(RegistryRoot::CurrentUser, kUserShellFoldersKey)
                    ->setValue("Favorites", "%HOME%/Bookmarks"));
    EXPECT_EQ(
        store.openKey(RegistryRoot::CurrentUser, kUserShellFoldersKey)->queryValue("favorites"),
        "%HOME%/Bookmarks");
}

TEST(RegistryFilesTest, EnvironmentVariablesNameTheFileOrItsFolder) {
    TempFolder folder;
    {
        ScopedEnvironment machine("ORVANE_HKLM", folder / "machine.ini");
        ScopedEnvironment user("ORVANE_HKCU", folder.path());
        RegistryFiles files = RegistryFiles::fromEnvironment();
        EXPECT_EQ(files.localMachine, folder / "machine.ini");
        EXPECT_EQ(files.currentUser, folder / "hkcu.ini");
    }
    {
        ScopedEnvironment machine("ORVANE_HKLM", "/not/yet/there/");
        ScopedEnvironment user("ORVANE_HKCU", std::nullopt);
        ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg");
        RegistryFiles files = RegistryFiles::fromEnvironment();
        EXPECT_EQ(files.localMachine, "/not/yet/there/hklm.ini");
        EXPECT_EQ(files.currentUser, "/cfg/orvane/hkcu.ini");
    }
    ScopedEnvironment machine("ORVANE_HKLM", std::nullopt);
    EXPECT_EQ(RegistryFiles::fromEnvironment().localMachine, "/var/lib/orvane/hklm.ini");
}

// The Debian package's maintainer scripts keep the same store as the
// browser: postinst registers the installed browser (once, whatever was
// there, and in any case of the key's name), the browser reads it back, and
// postrm takes out only that key: a store with nothing else goes, with its
// folder; another program's key stays.
class PackageScripts : public RegistryTest {
  protected:
    // Where the package puts the browser (split so that no one takes it
    // for a program the tests start).
    static constexpr char kPackagedBrowser[] =
        "/usr"
        "/bin/orvaneexplorer";
    int runScript(const char* script, const char* action) {
        std::string path = std::string(ORVANE_PACKAGING_DIR) + "/" + script;
        return testkit::runProgram("/bin/sh", {path, action}, {{"ORVANE_HKLM", folder / "lib/"}},
                                   10000)
            .exitStatus;
    }
    std::string storeFile() const { return folder / "lib/hklm.ini"; }
    std::optional<std::string> location(const char* keyPath) const {
        RegistryStore installed(RegistryFiles{storeFile(), folder / "user/hkcu.ini"});
        auto key = installed.openKey(RegistryRoot::LocalMachine, keyPath);
        return key ? key->queryValue("Location") : std::nullopt;
    }
};

TEST_F(PackageScripts, PostinstRegistersTheBrowserOnceAndPostrmTakesItOutAgain) {
    ASSERT_EQ(runScript("postinst", "configure"), 0);
    EXPECT_EQ(location(kBrowserKey), kPackagedBrowser);
    ASSERT_EQ(runScript("postrm", "remove"), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "lib"));

    std::filesystem::create_directories(folder / "lib");
    std::ofstream(storeFile())
        << ("[SOFTWARE\\Orvane Network\\Tremora]\nLocation=/opt/tremora/trmvw32.exe\n"
            "[software\\orvane network\\ORVANEEXPLORER]\nLocation=/old/orvaneexplorer\n");
    ASSERT_EQ(runScript("postinst", "configure"), 0);
    ASSERT_EQ(runScript("postinst", "configure"), 0);
    EXPECT_EQ(location(kBrowserKey), kPackagedBrowser);
    EXPECT_EQ(location(kViewerKey), "/opt/tremora/trmvw32.exe");
    std::string text = readFileText(storeFile());
    EXPECT_EQ(text.find("OrvaneExplorer]"), text.rfind("OrvaneExplorer]")) << text;
    EXPECT_EQ(text.find("/old/"), std::string::npos) << text;

    ASSERT_EQ(runScript("postrm", "upgrade"), 0);
    EXPECT_EQ(location(kBrowserKey), kPackagedBrowser);
    ASSERT_EQ(runScript("postrm", "purge"), 0);
    EXPECT_FALSE(location(kBrowserKey));
    EXPECT_EQ(location(kViewerKey), "/opt/tremora/trmvw32.exe");
}

}  // namespace
}  // namespace orvane
