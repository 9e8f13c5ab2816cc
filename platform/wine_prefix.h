#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Windows programs run under Wine, each in a Wine prefix: a folder holding
// the program's drive C: ("drive_c"), its drive letters ("dosdevices", one
// symbolic link per drive: "c:" -> "../drive_c", "z:" -> "/") and its
// registry ("system.reg", "user.reg").

// $WINEPREFIX when it is set and not empty, else ~/.wine, as Wine itself.
std::string defaultWinePrefix();

// The prefix of a program: the folder that holds the nearest "drive_c" among
// the folders of its path (as written, else with its links resolved), or
// the fallback when the path lies in no drive_c.
std::string winePrefixOf(const std::string& programPath, const std::string& fallbackPrefix);

// Whether the file begins with "MZ", as every DOS and Windows executable
// does. False for a file that cannot be read.
bool isWindowsExecutable(const std::string& path);

// The drive letters of a prefix, read once from its dosdevices folder.
class WineDrives {
  public:
    explicit WineDrives(const std::string& prefix);

    // The Linux path of a Windows path "X:\..." (or "X:/...", "\\?\X:\...",
    // in double quotes or not) on a drive of the prefix. Each part is
    // matched without regard to letter case when the exact name is missing,
    // as Wine opens files; parts that match nothing stay as written. nullopt
    // for a drive the prefix lacks, a network or relative path.
    std::optional<std::string> linuxPath(std::string_view windowsPath) const;
    // The Windows path of a Linux file: on the drive whose folder is its
    // nearest ancestor (the first letter of several), else on Z:, which
    // Wine gives to "/".
    std::string windowsPath(const std::string& linuxPath) const;

  private:
    struct Drive {
        char letter;       // upper case
        std::string root;  // the drive's folder, links resolved
    };
    std::vector<Drive> drives_;
};

// A string value of HKEY_LOCAL_MACHINE from the prefix's system.reg. A key
// under SOFTWARE is looked for in the 32-bit view of a 64-bit prefix first
// (SOFTWARE\Wow6432Node\..., where 32-bit programs' installers write), then
// in the 64-bit view; a 32-bit prefix has only the one.
std::optional<std::string> readWineMachineString(const std::string& prefix,
                                                 std::string_view keyPath,
                                                 std::string_view valueName);

}  // namespace orvane
