// Settings and Internet shortcut files that are damaged or are no regular
// files: they read as far as they can, never hang the reader, and a write
// still leaves a sound file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "platform/profile_file.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testkit::readFileText;
using testkit::TempFolder;

void writeRaw(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string shortcutUrl(const std::string& path) {
    return ProfileFile(path).readString("InternetShortcut", "URL");
}

TEST(ShortcutFileFaults, GarbageDuplicatesAndAMissingLineEndStillGiveTheFirstUrl) {
    TempFolder folder;
    std::string garbage;
    for (int i = 255; i >= 0; --i)
        garbage += static_cast<char>(i);
    const std::string shortcut = folder / "Garbled.url";
    writeRaw(shortcut, garbage + "\r\n[InternetShortcut]\r\n" + garbage +
                           "\r\nURL=http://first.example/\r\nURL=http://second.example/\r\n"
                           "[InternetShortcut]\r\nURL=http://third.example/");
    EXPECT_EQ(shortcutUrl(shortcut), "http://first.example/");

    const std::string unended = folder / "Unended.url";
    writeRaw(unended, "[InternetShortcut]\nURL=http://only.example/page.html");
    EXPECT_EQ(shortcutUrl(unended), "http://only.example/page.html");
}

TEST(ShortcutFileFaults, AnOverlongUrlLineIsReadWholeAndAUrlIsCutAtItsNul) {
    TempFolder folder;
    const std::string longUrl = "http://long.example/" + std::string(200000, 'a');
    const std::string shortcut = folder / "Long.url";
    writeRaw(shortcut, "[InternetShortcut]\nURL=" + longUrl + "\n");
    EXPECT_EQ(shortcutUrl(shortcut), longUrl);

    const std::string nul = folder / "Nul.url";
    const char withNul[] = "[InternetShortcut]\nURL=http://a.example/\0evil\n";
    writeRaw(nul, std::string(withNul, sizeof withNul - 1));
    EXPECT_EQ(shortcutUrl(nul), "http://a.example/");
}

TEST(ShortcutFileFaults, ABinaryFileWithoutTheSectionGivesNoUrl) {
    TempFolder folder;
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919 + 13) % 256);
    const std::string shortcut = folder / "Binary.url";
    writeRaw(shortcut, binary);
    EXPECT_EQ(shortcutUrl(shortcut), "");
    EXPECT_FALSE(ProfileFile(shortcut).find("InternetShortcut", "URL"));
}

// Reads the key on another thread; a reader stuck on the file is freed by
// opening the FIFO's other end, and the test fails instead of hanging.
std::optional<std::string> readWithin(const std::string& path, std::chrono::seconds limit) {
    auto reading = std::async(std::launch::async,
                              [path] { return ProfileFile(path).find("InternetShortcut", "URL"); });
    if (reading.wait_for(limit) == std::future_status::ready)
        return reading.get();
    ADD_FAILURE() << "reading " << path << " did not end within " << limit.count() << " s";
    int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
    reading.wait();
    return std::nullopt;
}

TEST(ShortcutFileFaults, AFifoInPlaceOfAFileReadsAsNoFileAtOnce) {
    TempFolder folder;
    const std::string fifo = folder / "Fifo.url";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readWithin(fifo, 5s), std::nullopt);
}

TEST(SettingsFileFaults, DamagedLinesReadAsFarAsTheyCanAndAWriteKeepsTheRest) {
    TempFolder folder;
    const std::string settings = folder / "ORVANEEXPLORER.INI";
    std::string garbage;
    for (int i = 1; i < 256; ++i)
        garbage += static_cast<char>(i == '\n' || i == '[' ? 'g' : i);
    const std::string longPath = "/opt/" + std::string(100000, 'v');
    writeRaw(settings, garbage + "\n[Settings]\nTremoraPath=" + longPath +
                           "\nDownloadDir=/first/\nDownloadDir=/second/\n" + garbage +
                           "\n[Endpoints]\nMainWebHost=127.0.0.1:8080");
    ProfileFile profile(settings);
    EXPECT_EQ(profile.readString("Settings", "DownloadDir"), "/first/");
    EXPECT_EQ(profile.readString("Settings", "TremoraPath"), longPath);
    EXPECT_EQ(profile.readString("Endpoints", "MainWebHost"), "127.0.0.1:8080");

    ASSERT_TRUE(profile.writeString("Settings", "FramePos", "1 2 3 4 5 6 7 8"));
    ProfileFile reread(settings);
    EXPECT_EQ(reread.readString("Settings", "FramePos"), "1 2 3 4 5 6 7 8");
    EXPECT_EQ(reread.readString("Settings", "DownloadDir"), "/first/");
    EXPECT_EQ(reread.readString("Settings", "TremoraPath"), longPath);
    EXPECT_EQ(reread.readString("Endpoints", "MainWebHost"), "127.0.0.1:8080");
}

TEST(SettingsFileFaults, AWriteLeavesEveryOtherLineByteForByte) {
    TempFolder folder;
    const std::string settings = folder / "ORVANEEXPLORER.INI";
    // Line ends of three kinds in one file, and stray carriage returns: they
    // are never part of a value, so a quoted value reads the same whether or
    // not a rewrite has given the last line its line end.
    const std::string before =
        "[Settings]\nQuoted=\"  /b/  \"\r\r\nCrLf=x\r\nTremoraDir=/opt/t/\n"
        "[Other]\nLast=\"y \"\r\r";
    writeRaw(settings, before);
    ProfileFile profile(settings);
    EXPECT_EQ(profile.readString("Settings", "Quoted"), "  /b/  ");
    EXPECT_EQ(profile.readString("Other", "Last"), "y ");
    ASSERT_TRUE(profile.writeString("Settings", "DownloadDir", "/data/"));
    EXPECT_EQ(readFileText(settings),
              "[Settings]\nQuoted=\"  /b/  \"\r\r\nCrLf=x\r\nTremoraDir=/opt/t/\n"
              "DownloadDir=/data/\n[Other]\nLast=\"y \"\r\n");
    EXPECT_EQ(ProfileFile(settings).readString("Settings", "Quoted"), "  /b/  ");
    EXPECT_EQ(ProfileFile(settings).readString("Other", "Last"), "y ");
    ASSERT_TRUE(profile.writeString("Settings", "CrLf", "z"));
    EXPECT_NE(readFileText(settings).find("CrLf=z\r\n"), std::string::npos);
}

TEST(SettingsFileFaults, AWriteOverAFifoReplacesItWithASoundFile) {
    TempFolder folder;
    const std::string settings = folder / "ORVANEEXPLORER.INI";
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    ProfileFile profile(settings);
    EXPECT_EQ(profile.readString("Settings", "DownloadDir", "none"), "none");
    EXPECT_TRUE(profile.writeString("Settings", "DownloadDir", "/data/"));
    EXPECT_TRUE(std::filesystem::is_regular_file(settings));
    EXPECT_EQ(readFileText(settings), "[Settings]\nDownloadDir=/data/\n");
}

}  // namespace
}  // namespace orvane
