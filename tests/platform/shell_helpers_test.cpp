#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "platform/directory_listing.h"
#include "platform/environment_expansion.h"
#include "platform/program_start.h"
#include "tests/platform/scoped_environment.h"
#include "tools/testkit/child_process.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/wait_until.h"

namespace orvane {
namespace {

using testing::ScopedEnvironment;
using testkit::readFileText;
using testkit::TempFolder;

std::string expandWith(const std::string& text, std::map<std::string, std::string> variables) {
    return expandEnvironmentStrings(text,
                                    [&](const std::string& name) -> std::optional<std::string> {
                                        auto found = variables.find(name);
                                        if (found == variables.end())
                                            return std::nullopt;
                                        return found->second;
                                    });
}

TEST(EnvironmentExpansion, SetNamesAreReplacedEverythingElseStaysAsWritten) {
    std::map<std::string, std::string> vars{
        {"HOME", "/home/ana"}, {"A", "x%B%y"}, {"B", "b"}, {"EMPTY", ""}};
    EXPECT_EQ(expandWith("%HOME%/Favorites", vars), "/home/ana/Favorites");
    EXPECT_EQ(expandWith("%HOME%%B%", vars), "/home/anab");
    EXPECT_EQ(expandWith("[%EMPTY%]", vars), "[]");
    EXPECT_EQ(expandWith("%A%", vars), "x%B%y");  // values are not expanded again
    EXPECT_EQ(expandWith("%NOPE%/x", vars), "%NOPE%/x");
    EXPECT_EQ(expandWith("%home%", vars), "%home%");  // names are case-sensitive here
    EXPECT_EQ(expandWith("100%", vars), "100%");
    EXPECT_EQ(expandWith("50% of %HOME%", vars), "50% of %HOME%");
    EXPECT_EQ(expandWith("%%", vars), "%%");
    EXPECT_EQ(expandWith("%%HOME%", vars), "%%HOME%");
    EXPECT_EQ(expandWith("%NOPE%HOME%", vars), "%NOPE%HOME%");
    EXPECT_EQ(expandWith("%NOPE%%HOME%", vars), "%NOPE%/home/ana");
    EXPECT_EQ(expandWith("", vars), "");
}

TEST(EnvironmentExpansion, TheProcessEnvironmentIsUsedByDefault) {
    ScopedEnvironment set("ORVANE_TEST_FOLDER", "/srv/events");
    ScopedEnvironment unset("ORVANE_TEST_UNSET", std::nullopt);
    EXPECT_EQ(expandEnvironmentStrings("%ORVANE_TEST_FOLDER%/%ORVANE_TEST_UNSET%"),
              "/srv/events/%ORVANE_TEST_UNSET%");
}

TEST(DirectoryListing, EntriesComeSortedWithFoldersAndHiddenNamesFlagged) {
    TempFolder folder;
    for (const char* name : {"b.url", "A.url", "c.URL", ".hidden.url", "a.url"})
        std::ofstream(folder / name) << "";
    std::filesystem::create_directory(folder / "News");
    std::filesystem::create_directory(folder / ".config");
    std::filesystem::create_directory_symlink(folder / "News", folder / "linked");
    std::filesystem::create_symlink(folder / "gone", folder / "broken");
    auto entries = listDirectory(folder.path() + "/");
    ASSERT_TRUE(entries);
    std::vector<std::string> described;
    for (const auto& entry : *entries)
        described.push_back(entry.name + (entry.isDirectory ? "/" : "") +
                            (entry.isHidden ? " h" : ""));
    EXPECT_EQ(described,
              (std::vector<std::string>{".config/ h", ".hidden.url h", "A.url", "a.url", "b.url",
                                        "broken", "c.URL", "linked/", "News/"}));
}

TEST(DirectoryListing, AFolderThatCannotBeListedGivesNothing) {
    TempFolder folder;
    std::ofstream(folder / "file") << "";
    EXPECT_FALSE(listDirectory(folder / "missing"));
    EXPECT_FALSE(listDirectory(folder / "file"));
    std::filesystem::create_directory(folder / "empty");
    auto empty = listDirectory(folder / "empty");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

// A program that writes its argument count and arguments, one per line, to
// the file named by its first argument.
std::string writeArgumentRecorder(const TempFolder& folder) {
    std::string script = folder / "record args";
    std::ofstream(script) << "#!/bin/sh\nout=\"$1\"; shift\n"
                             "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
                             "> \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";
    ::chmod(script.c_str(), 0755);
    return script;
}

std::string waitForFile(const std::string& path) {
    testkit::waitUntil([&] { return std::filesystem::exists(path); }, 5000);
    return readFileText(path);
}

TEST(ProgramStart, APathWithBlanksAndShellCharactersArrivesAsOneArgument) {
    TempFolder folder;
    std::string recorder = writeArgumentRecorder(folder);
    std::string path = folder / "my events/quake 2002; rm -rf $HOME `id` \"q\" 'x' *.dat";
    int result = startProgram(recorder, {folder / "out", path});
    EXPECT_TRUE(programStartSucceeded(result));
    EXPECT_GE(result, 32);
    EXPECT_EQ(waitForFile(folder / "out"), "1\n" + path + "\n");
}

TEST(ProgramStart, FailuresAreReportedBelowThirtyTwo) {
    TempFolder folder;
    std::ofstream(folder / "plain.txt") << "not a program";
    std::ofstream(folder / "garbage.exe") << "\x01\x02 no format at all";
    ::chmod((folder / "garbage.exe").c_str(), 0755);
    EXPECT_EQ(startProgram(folder / "trmvw32.exe", {"/x"}), kStartFileNotFound);
    EXPECT_EQ(startProgram("", {}), kStartFileNotFound);
    EXPECT_EQ(startProgram(folder.path(), {"/x"}), kStartAccessDenied);
    EXPECT_EQ(startProgram(folder / "plain.txt/inside", {}), kStartPathNotFound);
    EXPECT_LT(startProgram(folder / "garbage.exe", {}), 32);
}

// The search goes on past a folder of $PATH whose copy of the name may not be
// run (as a folder the user cannot enter does), as execvp's does; only when
// no later folder has a program is the start refused as not allowed.
TEST(ProgramStart, TheSearchOfPathGoesOnPastAFileThatMayNotBeRun) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "blocked");
    std::filesystem::create_directories(folder / "good");
    std::ofstream(folder / "blocked/recorder") << "#!/bin/sh\nexit 0\n";
    ::chmod((folder / "blocked/recorder").c_str(), 0644);
    std::filesystem::copy_file(writeArgumentRecorder(folder), folder / "good/recorder");
    std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (folder / "blocked:" + folder / "good:" + saved).c_str(), 1);
    int found = startProgram("recorder", {folder / "out", "x"});
    ::setenv("PATH", (folder / "blocked").c_str(), 1);
    int refused = startProgram("recorder", {folder / "out2"});
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_GE(found, 32);
    EXPECT_EQ(waitForFile(folder / "out"), "1\nx\n");
    EXPECT_EQ(refused, kStartAccessDenied);
}

TEST(ProgramStart, AFileWithoutTheRightToRunItIsAccessDenied) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may run a file whatever its mode says";
    TempFolder folder;
    std::ofstream(folder / "plain.txt") << "not a program";
    ::chmod((folder / "plain.txt").c_str(), 0644);
    EXPECT_EQ(startProgram(folder / "plain.txt", {}), kStartAccessDenied);
}

}  // namespace
}  // namespace orvane
