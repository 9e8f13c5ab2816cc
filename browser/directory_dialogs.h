#pragma once

#include <optional>
#include <string>

namespace orvane {

class CBrowserApp;

inline constexpr char kSelectDirectoryMessage[] =
    "Please select a download directory using the next dialog box.\nNote: You will only see "
    "this message if no download directory is selected.";

// What the Download Directory dialog ended with.
struct DirectoryChoice {
    std::string openFolder;  // the folder open in the chooser
    std::string newDir;      // typed in New Directory; empty unless New... ended with OK
};

// The two dialogs as the desktop shows them.
class DirectoryDialogs {
  public:
    virtual ~DirectoryDialogs() = default;
    // The folder chooser, opened at startFolder; nullopt when cancelled.
    virtual std::optional<DirectoryChoice> RunDownloadDirectoryDialog(
        const std::string& startFolder) = 0;
    // The file chooser for trmvw32.exe, starting at the current path;
    // nullopt when cancelled.
    virtual std::optional<std::string> RunLocateTremoraDialog(const std::string& currentPath) = 0;
};

// Lets the user choose (or create) the download directory and keeps it.
void ChooseDownloadDirectory(CBrowserApp& app, DirectoryDialogs& dialogs);
// The download directory must be set before a download starts: when none
// is, the user is told so and asked for one. False when there is still none.
bool EnsureDownloadDirectory(CBrowserApp& app, DirectoryDialogs& dialogs);
// Lets the user point at the viewer executable and keeps its path.
void LocateViewer(CBrowserApp& app, DirectoryDialogs& dialogs);
// Makes a directory the download directory: it must exist or be creatable
// as one new folder under an existing parent. False (after the message)
// when it is neither.
bool AdoptDownloadDirectory(CBrowserApp& app, const std::string& directory);

}  // namespace orvane
