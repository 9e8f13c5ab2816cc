#include "browser/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace orvane {
namespace {

TEST(ProgramDirectory, KeepsEverythingUpToTheLastSeparator) {
    EXPECT_EQ(ProgramDirectoryOf("/opt/orvane/bin/orvaneexplorer"), "/opt/orvane/bin/");
    EXPECT_EQ(ProgramDirectoryOf("/Mixed Case/Dir/prog"), "/Mixed Case/Dir/");
    EXPECT_EQ(ProgramDirectoryOf("/prog"), "");
    EXPECT_EQ(ProgramDirectoryOf("prog"), "");
    EXPECT_EQ(ProgramDirectoryOf("/"), "");
    EXPECT_EQ(ProgramDirectoryOf(""), "");
}

TEST(ProgramDirectory, TheRunningExecutablesFolderEndsInASeparator) {
    std::string dir = GetProgramDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(dir + "browser_core_tests"));
}

TEST(Separators, AppendAndStripLeaveShortPathsAlone) {
    EXPECT_EQ(AppendSeparator("/data/events"), "/data/events/");
    EXPECT_EQ(AppendSeparator("/data/events/"), "/data/events/");
    EXPECT_EQ(AppendSeparator("C:\\Tremora\\"), "C:\\Tremora\\");
    EXPECT_EQ(AppendSeparator("a"), "a");
    EXPECT_EQ(AppendSeparator(""), "");
    EXPECT_EQ(StripSeparator("/data/events/"), "/data/events");
    EXPECT_EQ(StripSeparator("/data/events\\"), "/data/events");
    EXPECT_EQ(StripSeparator("/"), "/");
    EXPECT_EQ(StripSeparator("/data"), "/data");
}

TEST(Separators, DirectoryExistsWithOrWithoutFinalSeparator) {
    std::string tmp = std::filesystem::temp_directory_path().string();
    EXPECT_TRUE(DirectoryExists(tmp));
    EXPECT_TRUE(DirectoryExists(AppendSeparator(tmp)));
    EXPECT_FALSE(DirectoryExists(tmp + "/orvane-missing-" + std::to_string(getpid())));
    EXPECT_FALSE(DirectoryExists("/proc/self/exe"));
}

}  // namespace
}  // namespace orvane
