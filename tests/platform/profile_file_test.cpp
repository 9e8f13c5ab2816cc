#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/user_folders.h"
#include "tests/platform/scoped_environment.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

using testing::ScopedEnvironment;
using testkit::readFileText;
using testkit::TempFolder;

class ProfileFileTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::string path = folder / "ORVANEEXPLORER.INI";
    ProfileFile profile{path};

    void writeRaw(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string raw() const { return readFileText(path); }
};

TEST_F(ProfileFileTest, WrittenValuesReadBackAndTheFileLooksLikeAnIniFile) {
    EXPECT_TRUE(profile.writeString("Settings", "DownloadDir", "/home/ana/Events/"));
    EXPECT_TRUE(profile.writeString("Settings", "TremoraPath", "/opt/tremora/trmvw32.exe"));
    EXPECT_TRUE(profile.writeString("Endpoints", "MainWebHost", "www.example.org:8080"));
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "/home/ana/Events/");
    EXPECT_EQ(profile.readString("Endpoints", "MainWebHost"), "www.example.org:8080");
    EXPECT_EQ(raw(),
              "[Settings]\nDownloadDir=/home/ana/Events/\nTremoraPath=/opt/tremora/trmvw32.exe\n"
              "\n[Endpoints]\nMainWebHost=www.example.org:8080\n");
}

TEST_F(ProfileFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(profile.readString("Settings", "DownloadDir", "none"), "none");
    EXPECT_FALSE(profile.find("Settings", "DownloadDir"));
    writeRaw("[Settings]\nFramePos=1 2 3 4 5 6 7 8\n");
    EXPECT_EQ(profile.readString("Other", "FramePos", "d"), "d");
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "");
    EXPECT_EQ(profile.readString("Settings", "FramePos"), "1 2 3 4 5 6 7 8");
    EXPECT_FALSE(ProfileFile(folder.path()).find("Settings", "FramePos"));
}

TEST_F(ProfileFileTest, SectionsAndKeysIgnoreCaseAndKeepTheirSpelling) {
    writeRaw("[SETTINGS]\ndownloaddir=/data/\n");
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "/data/");
    EXPECT_TRUE(profile.writeString("settings", "DOWNLOADDIR", "/other/"));
    EXPECT_TRUE(profile.writeString("sEtTiNgS", "TremoraDir", "/opt/t"));
    EXPECT_EQ(raw(), "[SETTINGS]\ndownloaddir=/other/\nTremoraDir=/opt/t\n");
    EXPECT_TRUE(profile.hasSection("settings"));
}

TEST_F(ProfileFileTest, WritingOneKeyKeepsEveryOtherLineAndTheOrder) {
    std::string before =
        "; written by hand\n[Settings]\n  DownloadDir = /old/  \nnot a key line\n\n"
        "[Endpoints]\nFtpHost=ftp.example.org\n# hash lines are garbage here\n";
    writeRaw(before);
    EXPECT_TRUE(profile.writeString("Settings", "DownloadDir", "/new/"));
    EXPECT_TRUE(profile.writeString("Settings", "TremoraPath", "/t/trmvw32.exe"));
    EXPECT_TRUE(profile.writeString("Endpoints", "IrisHost", "iris.example.org"));
    EXPECT_EQ(raw(),
              "; written by hand\n[Settings]\n  DownloadDir =/new/\n"
              "TremoraPath=/t/trmvw32.exe\nnot a key line\n\n"
              "[Endpoints]\nFtpHost=ftp.example.org\nIrisHost=iris.example.org\n"
              "# hash lines are garbage here\n");
}

TEST_F(ProfileFileTest, LenientLinesAreReadAsWindowsReadsThem) {
    writeRaw(
        "\xEF\xBB\xBFTopKey=ignored, before any section\n"
        "   [ Settings ]   trailing text\n"
        "\t  DownloadDir\t=\t/padded/  \n"
        "NoEqualsSign\n"
        "=value without key\n"
        "Quoted=\"  /with blanks/  \"\n"
        "Single='x'\n"
        "HalfQuoted=\"abc\n"
        "Empty=\n"
        "[Unclosed\n"
        "AfterUnclosed=still Settings\n"
        "; Commented=no\n"
        "Last=no final line feed");
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "/padded/");
    EXPECT_EQ(profile.readString("Settings", "Quoted"), "  /with blanks/  ");
    EXPECT_EQ(profile.readString("Settings", "Single"), "x");
    EXPECT_EQ(profile.readString("Settings", "HalfQuoted"), "\"abc");
    EXPECT_EQ(profile.find("Settings", "Empty"), "");
    EXPECT_EQ(profile.readString("Settings", "AfterUnclosed"), "still Settings");
    EXPECT_EQ(profile.readString("Settings", "Last"), "no final line feed");
    EXPECT_FALSE(profile.find("Settings", "NoEqualsSign"));
    EXPECT_FALSE(profile.find("Settings", "; Commented"));
    EXPECT_FALSE(profile.find("Settings", "TopKey"));
    EXPECT_FALSE(profile.hasSection("Unclosed"));
}

TEST_F(ProfileFileTest, TheFirstOfDuplicateKeysCountsForReadingAndWriting) {
    writeRaw("[Settings]\nKey=first\nKey=second\n[settings]\nKey=third\nOther=later\n");
    EXPECT_EQ(profile.readString("Settings", "Key"), "first");
    EXPECT_EQ(profile.readString("Settings", "Other"), "later");
    EXPECT_TRUE(profile.writeString("Settings", "KEY", "changed"));
    EXPECT_EQ(raw(), "[Settings]\nKey=changed\nKey=second\n[settings]\nKey=third\nOther=later\n");
}

TEST_F(ProfileFileTest, BinaryGarbageAndOverlongLinesAreSurvivedAndKept) {
    std::string garbage;
    for (int i = 0; i < 256; ++i)
        garbage += static_cast<char>(i);
    std::string longValue(300000, 'v');
    std::string text = garbage + "\n[Settings]\n" + garbage + "\nLong=" + longValue +
                       std::string("\nNul=before\0after\n", 18) + std::string(100000, '[') +
                       "\nKey=ok";
    writeRaw(text);
    EXPECT_EQ(profile.readString("Settings", "Long"), longValue);
    EXPECT_EQ(profile.readString("Settings", "Nul"), "before");
    EXPECT_EQ(profile.readString("Settings", "Key"), "ok");
    EXPECT_TRUE(profile.writeString("Settings", "Key", "new"));
    std::string expected = text.substr(0, text.size() - 2) + "new\n";
    EXPECT_EQ(raw(), expected);
}

TEST_F(ProfileFileTest, AValueNeverPutsALineBreakIntoTheFile) {
    EXPECT_TRUE(profile.writeString("Settings", "DownloadDir", "/data/\n[Evil]\nKey=injected"));
    EXPECT_TRUE(profile.writeString("Settings", "TremoraPath", "/t/x.exe\r\nMore=1"));
    EXPECT_TRUE(profile.writeString("Settings", "Nul", std::string("a\0b", 3)));
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "/data/");
    EXPECT_EQ(profile.readString("Settings", "TremoraPath"), "/t/x.exe");
    EXPECT_FALSE(profile.hasSection("Evil"));
    EXPECT_FALSE(profile.find("Settings", "More"));
    EXPECT_EQ(raw(), "[Settings]\nDownloadDir=/data/\nTremoraPath=/t/x.exe\nNul=a\n");
    EXPECT_EQ(singleLineValue("one\rtwo"), "one");
}

TEST_F(ProfileFileTest, NamesThatCouldNotBeReadBackAreRefused) {
    EXPECT_FALSE(profile.writeString("Set]tings", "Key", "v"));
    EXPECT_FALSE(profile.writeString("Settings\n", "Key", "v"));
    EXPECT_FALSE(profile.writeString("", "Key", "v"));
    EXPECT_FALSE(profile.writeString("Settings", "Key=1", "v"));
    EXPECT_FALSE(profile.writeString("Settings", "", "v"));
    EXPECT_FALSE(profile.writeString("Settings", "[Key", "v"));
    EXPECT_FALSE(profile.writeString("Settings", ";Key", "v"));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(profile.writeString(" Settings ", " Key ", "v"));
    EXPECT_EQ(raw(), "[Settings]\nKey=v\n");
}

TEST_F(ProfileFileTest, CarriageReturnLineEndsStayAsTheyWere) {
    writeRaw("[Settings]\r\nDownloadDir=/a/\r\n");
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "/a/");
    EXPECT_TRUE(profile.writeString("Settings", "TremoraDir", "/t"));
    EXPECT_EQ(raw(), "[Settings]\r\nDownloadDir=/a/\r\nTremoraDir=/t\r\n");
}

TEST_F(ProfileFileTest, WritesCreateFoldersKeepModesAndLeaveNoTemporaryFiles) {
    ProfileFile nested(folder / "a/b/settings.ini");
    EXPECT_TRUE(nested.writeString("S", "K", "1"));
    EXPECT_EQ(nested.readString("S", "K"), "1");
    writeRaw("[S]\nK=0\n");
    ::chmod(path.c_str(), 0600);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(profile.writeString("S", "K", std::to_string(i)));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2);  // the file and the folder "a"
}

TEST_F(ProfileFileTest, AWriteThatCannotBeDoneFailsAndLeavesTheOldFileWhole) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "cannot be checked as root, whom permissions do not bind";
    writeRaw("[S]\nK=old\n");
    ::chmod(folder.path().c_str(), 0500);
    EXPECT_FALSE(profile.writeString("S", "K", "new"));
    ::chmod(folder.path().c_str(), 0700);
    EXPECT_EQ(raw(), "[S]\nK=old\n");
}

TEST_F(ProfileFileTest, AFolderInTheWayFailsTheWriteWithoutDamage) {
    ProfileFile blocked(folder / "file/under/file.ini");
    std::ofstream(folder / "file") << "I am a file";
    EXPECT_FALSE(blocked.writeString("S", "K", "v"));
    EXPECT_EQ(readFileText(folder / "file"), "I am a file");
}

TEST_F(ProfileFileTest, WritingThroughASymbolicLinkReplacesItsTarget) {
    std::string target = folder / "real.ini";
    std::ofstream(target) << "[S]\nK=1\n";
    std::filesystem::create_symlink(target, path);
    EXPECT_TRUE(profile.writeString("S", "K", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(readFileText(target), "[S]\nK=2\n");
}

TEST_F(ProfileFileTest, InternetShortcutsReadTheirUrl) {
    std::string shortcut = folder / "Network news.url";
    std::ofstream(shortcut, std::ios::binary)
        << "[DEFAULT]\r\nBASEURL=http://ignored/\r\n[InternetShortcut]\r\n"
           "URL=http://www.example.org/news.html\r\nIconIndex=0\r\n";
    EXPECT_EQ(ProfileFile(shortcut).readString("InternetShortcut", "URL"),
              "http://www.example.org/news.html");
}

TEST(UserFolders, SettingsAndFavouritesFollowTheXdgVariables) {
    ScopedEnvironment config("XDG_CONFIG_HOME", "/cfg/home");
    ScopedEnvironment data("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(windowsDirectory(), "/cfg/home/orvane");
    EXPECT_EQ(browserSettingsPath(), "/cfg/home/orvane/ORVANEEXPLORER.INI");
    EXPECT_EQ(defaultFavoritesFolder(), "/data/home/orvane/Favorites");
}

TEST(UserFolders, WithoutXdgVariablesTheHomeFolderDecides) {
    ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnvironment data("XDG_DATA_HOME", "relative/is/ignored");
    ScopedEnvironment home("HOME", "/home/ana");
    EXPECT_EQ(browserSettingsPath(), "/home/ana/.config/orvane/ORVANEEXPLORER.INI");
    EXPECT_EQ(defaultFavoritesFolder(), "/home/ana/.local/share/orvane/Favorites");
}

}  // namespace
}  // namespace orvane
