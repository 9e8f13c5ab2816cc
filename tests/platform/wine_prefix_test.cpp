// Wine prefixes as Wine leaves them: registry files in Wine's text format
// (lines as wineserver writes them), drive links, program files.

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "platform/program_watch.h"
#include "platform/wine_prefix.h"
#include "platform/wine_registry.h"
#include "tests/platform/scoped_environment.h"
#include "tools/testkit/temp_folder.h"
#include "tools/testkit/wait_until.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;
using testkit::TempFolder;

// A 64-bit prefix's system.reg: header, keys with their #time lines, and
// values of each kind the format has. The Tremora keys were written with
// `wine reg add` (64-bit view, then /reg:32); the others are Wine's own.
constexpr char kSystemReg64[] = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Classes\\.evt] 1796677598
#time=1dd868edbcb0a14
@="Tremora.Event"

[Software\\Classes\\MIME\\Database\\Charset\\x-ansi] 1796677598
#time=1dd868edbcb0a14
"AliasForCharset"="windows-1252"

[Software\\Microsoft\\Cryptography\\OID\\EncodingType 0\\CryptDllFindOIDInfo] 1796677598
"Dll"=str(7):"cryptnet.dll\0"

[Software\\Orvane Network\\Tremora\\Plugins] 1796677614
#time=1dd868ee3659604
"Location"="C:\\Wrong\\plugin.dll"

[Software\\Orvane Network\\Tremora] 1796677614
#time=1dd868ee3659604
"Location"="C:\\Program Files\\Tremora \"x\"\\trmvw32.exe"
"Other"=str(2):"C:\\\xe9\\%x%"
"Size"=dword:0000000a
"Binary"=hex:4d,5a,90,00
"Wide"=hex(2):43,00,3a,00,5c,00,54,00,72,00,65,00,6d,00,6f,00,72,00,61,00,33,00,32,00,\
  5c,00,74,00,72,00,6d,00,76,00,77,00,33,00,32,00,2e,00,65,00,78,00,65,00,00,00
"Damaged"="C:\\never ends
"Tab\tName"="octal \101\1010 and \x41\x263A\xd83d\xde00 and \q"

[Software\\Orvane Network\\Tremora \[test\]] 1796677614
"Location"="D:\\Bracket\\trmvw32.exe"

[Software\\Wow6432Node\\Orvane Network\\Tremora] 1796677614
#time=1dd868ee3157c5a
"Location"="C:\\Tremora32\\trmvw32.exe"
)";

std::optional<std::string> value64(std::string_view key, std::string_view name) {
    return findWineRegistryString(kSystemReg64, key, name);
}

TEST(WineRegistry, StringValuesOfEveryKindAreReadWithTheirEscapesUndone) {
    EXPECT_EQ(value64("Software\\Orvane Network\\Tremora", "Location"),
              "C:\\Program Files\\Tremora \"x\"\\trmvw32.exe");
    // Keys and value names compare without regard to case; outer "\" do not count.
    EXPECT_EQ(value64("\\SOFTWARE\\orvane network\\TREMORA\\", "LOCATION"),
              "C:\\Program Files\\Tremora \"x\"\\trmvw32.exe");
    EXPECT_EQ(value64("Software\\Orvane Network\\Tremora", "Other"), "C:\\\u00e9\\%x%");
    EXPECT_EQ(value64("Software\\Orvane Network\\Tremora", "Wide"), "C:\\Tremora32\\trmvw32.exe");
    EXPECT_EQ(value64("Software\\Orvane Network\\Tremora", "Tab\tName"),
              "octal AA0 and A\u263a\U0001F600 and q");
    EXPECT_EQ(value64("Software\\Classes\\.evt", ""), "Tremora.Event");
    EXPECT_EQ(value64("Software\\Microsoft\\Cryptography\\OID\\EncodingType 0\\CryptDllFindOIDInfo",
                      "Dll"),
              "cryptnet.dll");
    EXPECT_EQ(value64("Software\\Classes\\MIME\\Database\\Charset\\x-ansi", "AliasForCharset"),
              "windows-1252");
    EXPECT_EQ(value64("Software\\Orvane Network\\Tremora [test]", "Location"),
              "D:\\Bracket\\trmvw32.exe");
}

TEST(WineRegistry, WhatHoldsNoTextOrIsNotThereReadsAsMissing) {
    for (const char* name : {"Size", "Binary", "Damaged", "Missing"})
        EXPECT_EQ(value64("Software\\Orvane Network\\Tremora", name), std::nullopt) << name;
    // A value of the same name under a key below, or above, is another value.
    EXPECT_EQ(value64("Software\\Orvane Network", "Location"), std::nullopt);
    EXPECT_EQ(findWineRegistryString("", "Software", "Location"), std::nullopt);
    EXPECT_EQ(findWineRegistryString("[Software\\\\Cut", "Software\\Cut", "x"), std::nullopt);
    // CR LF line ends, as after an edit on Windows.
    EXPECT_EQ(findWineRegistryString("[A\\\\B] 1\r\n\"V\"=\"x\"\r\n", "A\\B", "V"), "x");
    EXPECT_EQ(unescapeWineRegistryText("ends in \\"), std::nullopt);
    EXPECT_EQ(unescapeWineRegistryText("\\xdc00 lone"), "\ufffd lone");
}

TEST(WineRegistry, TheArchitectureComesFromTheHeaderOnly) {
    EXPECT_EQ(wineRegistryArchitecture(kSystemReg64), "win64");
    EXPECT_EQ(wineRegistryArchitecture("WINE REGISTRY Version 2\n#arch=win32\n\n[A] 1\n"), "win32");
    EXPECT_EQ(wineRegistryArchitecture("WINE REGISTRY Version 2\n\n[A] 1\n#arch=win64\n"), "");
}

// A prefix folder with the drive links Wine makes, and more.
class WinePrefixTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(prefix() + "/dosdevices");
        fs::create_directories(prefix() + "/drive_c/Program Files/Tremora");
        fs::create_directories(folder / "data/Events");
        link("../drive_c", "c:");
        link(folder / "data", "d:");
        link(folder / "gone", "e:");  // a drive whose folder has gone
        link("/", "z:");
        link("/dev/ttyS0", "com1");
        link("/dev/sda1", "c::");
    }
    std::string prefix() const { return folder / "pfx"; }
    void link(const std::string& target, const std::string& name) const {
        fs::create_symlink(target, prefix() + "/dosdevices/" + name);
    }
    void write(const std::string& path, const std::string& text) const {
        std::ofstream(path, std::ios::binary) << text;
    }

    TempFolder folder;
};

TEST_F(WinePrefixTest, WindowsPathsLeadToLinuxFilesThroughTheDriveLinks) {
    write(prefix() + "/drive_c/Program Files/Tremora/trmvw32.exe", "MZ");
    WineDrives drives(prefix());
    std::string driveC = fs::canonical(prefix() + "/drive_c").string();
    std::string viewer = driveC + "/Program Files/Tremora/trmvw32.exe";
    EXPECT_EQ(drives.linuxPath("C:\\Program Files\\Tremora\\trmvw32.exe"), viewer);
    EXPECT_EQ(drives.linuxPath("c:\\PROGRAM FILES\\tremora\\TRMVW32.EXE"), viewer);
    EXPECT_EQ(drives.linuxPath("\"C:/Program Files/Tremora/trmvw32.exe\""), viewer);
    EXPECT_EQ(drives.linuxPath("\\\\?\\C:\\Program Files\\.\\Tremora\\\\trmvw32.exe"), viewer);
    EXPECT_EQ(drives.linuxPath("C:\\New Folder\\x.exe"), driveC + "/New Folder/x.exe");
    EXPECT_EQ(drives.linuxPath("C:\\..\\..\\etc\\passwd"), driveC + "/etc/passwd");
    EXPECT_EQ(drives.linuxPath("C:\\"), driveC);
    EXPECT_EQ(drives.linuxPath("D:\\Events"), fs::canonical(folder / "data/Events").string());
    for (const char* other :
         {"E:\\x", "Q:\\x", "\\\\server\\share\\x", "C:relative.exe", "trmvw32.exe", "", "1:\\x"})
        EXPECT_EQ(drives.linuxPath(other), std::nullopt) << other;
}

TEST_F(WinePrefixTest, LinuxFilesGetTheNearestDriveAndZForTheRest) {
    WineDrives drives(prefix());
    EXPECT_EQ(drives.windowsPath(prefix() + "/drive_c/users/ana/My Events/a b.evt"),
              "C:\\users\\ana\\My Events\\a b.evt");
    EXPECT_EQ(drives.windowsPath(prefix() + "/dosdevices/c:/x.evt"), "C:\\x.evt");
    EXPECT_EQ(drives.windowsPath(folder / "data/Events/q;1 $(x).evt"), "D:\\Events\\q;1 $(x).evt");
    EXPECT_EQ(drives.windowsPath(folder / "data"), "D:\\");
    EXPECT_EQ(drives.windowsPath("/var/../srv/ev.evt"), "Z:\\srv\\ev.evt");
    // Without a z: link, Z: is still where "/" is.
    fs::remove(prefix() + "/dosdevices/z:");
    EXPECT_EQ(WineDrives(prefix()).windowsPath("/srv/ev.evt"), "Z:\\srv\\ev.evt");
    EXPECT_EQ(WineDrives(folder / "no-prefix").windowsPath("/srv/ev.evt"), "Z:\\srv\\ev.evt");
}

TEST_F(WinePrefixTest, AProgramInADriveCNamesItsPrefixOtherwiseTheDefaultOne) {
    std::string viewer = prefix() + "/drive_c/Program Files/Tremora/trmvw32.exe";
    EXPECT_EQ(winePrefixOf(viewer, "/fallback"), prefix());
    write(viewer, "MZ");
    fs::create_symlink(viewer, folder / "linked.exe");
    EXPECT_EQ(winePrefixOf(folder / "linked.exe", "/fallback"), prefix());
    EXPECT_EQ(winePrefixOf(folder / "data/trmvw32.exe", "/fallback"), "/fallback");
    EXPECT_EQ(winePrefixOf("/drive_c", "/fallback"), "/fallback");

    ScopedEnvironment home("HOME", "/home/ana");
    ScopedEnvironment unset("WINEPREFIX", std::nullopt);
    EXPECT_EQ(defaultWinePrefix(), "/home/ana/.wine");
    ScopedEnvironment empty("WINEPREFIX", "");
    EXPECT_EQ(defaultWinePrefix(), "/home/ana/.wine");
    ScopedEnvironment set("WINEPREFIX", "/srv/wine32");
    EXPECT_EQ(defaultWinePrefix(), "/srv/wine32");
}

TEST_F(WinePrefixTest, OnlyFilesBeginningWithMZAreWindowsPrograms) {
    write(folder / "win.exe", std::string("MZ\x90\0\3\0", 6));
    write(folder / "script.exe", "#!/bin/sh\n");
    write(folder / "m", "M");
    EXPECT_TRUE(isWindowsExecutable(folder / "win.exe"));
    EXPECT_FALSE(isWindowsExecutable(folder / "script.exe"));
    EXPECT_FALSE(isWindowsExecutable(folder / "m"));
    EXPECT_FALSE(isWindowsExecutable(folder / "missing.exe"));
    EXPECT_FALSE(isWindowsExecutable(folder.path()));
}

TEST_F(WinePrefixTest, TheMachineKeyIsReadFromThe32BitViewFirstInA64BitPrefix) {
    write(prefix() + "/system.reg", kSystemReg64);
    EXPECT_EQ(readWineMachineString(prefix(), "SOFTWARE\\Orvane Network\\Tremora", "Location"),
              "C:\\Tremora32\\trmvw32.exe");
    // Only the 64-bit view holds the key.
    std::string only64 = kSystemReg64;
    only64.erase(only64.find("[Software\\\\Wow6432Node"));
    write(prefix() + "/system.reg", only64);
    EXPECT_EQ(readWineMachineString(prefix(), "SOFTWARE\\Orvane Network\\Tremora", "Location"),
              "C:\\Program Files\\Tremora \"x\"\\trmvw32.exe");
    // A 32-bit prefix has no second view.
    std::string win32 = kSystemReg64;
    win32.replace(win32.find("#arch=win64"), 11, "#arch=win32");
    write(prefix() + "/system.reg", win32);
    EXPECT_EQ(readWineMachineString(prefix(), "SOFTWARE\\Orvane Network\\Tremora", "Location"),
              "C:\\Program Files\\Tremora \"x\"\\trmvw32.exe");
    fs::remove(prefix() + "/system.reg");
    EXPECT_EQ(readWineMachineString(prefix(), "SOFTWARE\\Orvane Network\\Tremora", "Location"),
              std::nullopt);
}

// A program waited for by the main loop: its exit status, with the loop
// answering meanwhile; nullopt for a run cut at its time-out.
std::optional<std::optional<int>> runOnTheLoop(const std::string& program,
                                               const std::vector<std::string>& arguments,
                                               const EnvironmentChanges& changes, int timeoutMs,
                                               int* turnsMeanwhile = nullptr) {
    std::optional<std::optional<int>> status;
    auto run = WatchedProgram::start(program, arguments, changes, timeoutMs,
                                     [&](std::optional<int> ended) { status = ended; });
    if (!run)
        return std::nullopt;
    guint ticks = g_timeout_add(
        10,
        [](gpointer turns) -> gboolean {
            if (turns)
                ++*static_cast<int*>(turns);
            return G_SOURCE_CONTINUE;
        },
        turnsMeanwhile);
    testkit::waitUntil(
        [&] {
            g_main_context_iteration(nullptr, TRUE);
            return status.has_value();
        },
        30000);
    g_source_remove(ticks);
    return status;
}

TEST(ProgramRun, TheExitStatusComesBackOnTheLoopWithTheEnvironmentChangedAndALongRunIsCut) {
    EXPECT_EQ(runOnTheLoop("/bin/sh", {"-c", "test \"$ORVANE_X\" = 'a b' && exit 7"},
                           {{"ORVANE_X", "a b"}}, 10000),
              std::optional<int>(7));
    EXPECT_EQ(runOnTheLoop("/bin/sh", {"-c", "exit 0"}, {}, 10000), std::optional<int>(0));
    int turns = 0;
    auto started = std::chrono::steady_clock::now();
    auto cut = runOnTheLoop("/bin/sleep", {"30"}, {}, 300, &turns);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(*cut, std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_GT(turns, 5) << "the loop went on while the program ran";
    EXPECT_EQ(WatchedProgram::start("/no/such/program", {}, {}, 1000, [](std::optional<int>) {}),
              nullptr);
}

// A run dropped while its program runs ends the program and reaps it; its
// end is not reported.
TEST(ProgramRun, ADroppedRunEndsItsProgram) {
    bool reported = false;
    auto run = WatchedProgram::start("/bin/sleep", {"30"}, {}, 60000,
                                     [&](std::optional<int>) { reported = true; });
    ASSERT_TRUE(run);
    pid_t pid = run->pid();
    EXPECT_TRUE(run->running());
    EXPECT_EQ(::kill(pid, 0), 0);
    run.reset();
    EXPECT_NE(::kill(pid, 0), 0) << "still there: not ended, or not reaped";
    for (int i = 0; i < 20; ++i)
        g_main_context_iteration(nullptr, FALSE);
    EXPECT_FALSE(reported);
}

}  // namespace
}  // namespace orvane
