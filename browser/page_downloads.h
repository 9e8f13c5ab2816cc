#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace orvane {

class CBrowserApp;
class DirectoryDialogs;
class PageActivity;

// A free name for a file in a folder: the name itself when no file has it,
// else "name (1).ext", "name (2).ext", ... Names in `taken` count as used.
std::string FreeFileName(const std::string& folder, const std::string& name,
                         const std::set<std::string>& taken = {});

// Files that a page links to and the web control cannot show (a .zip, a .pdf
// without a viewer): the control fetches them; this decides where they go
// and keeps it in the Downloads list; the status bar names the file when it
// is saved, and nothing interrupts the user with a box. Event files never
// come here: the view diverts them to the transfer engine before the
// control asks for them.
class PageDownloads {
  public:
    PageDownloads(CBrowserApp& app, DirectoryDialogs& dialogs, PageActivity& activity)
        : app_(app), dialogs_(dialogs), activity_(activity) {}

    // The path to save the file under: the download directory (asked for
    // first when there is none) and a free name after the one the server
    // suggests. nullopt when no directory is chosen: the download is dropped.
    // cancel stops the download (the Downloads window's Cancel).
    std::optional<std::string> DecideDestination(const std::string& suggestedName,
                                                 std::function<void()> cancel = {});
    // Bytes received so far and the size announced (0: unknown).
    void OnProgress(const std::string& path, std::uint64_t received, std::uint64_t expected);
    void OnFinished(const std::string& path);
    void OnFailed(const std::string& path, const std::string& reason);
    void OnCancelled(const std::string& path);

  private:
    CBrowserApp& app_;
    DirectoryDialogs& dialogs_;
    PageActivity& activity_;
    // Paths of the downloads under way, so two never get the same name.
    std::set<std::string> running_;
    std::optional<int> Ended(const std::string& path);
};

}  // namespace orvane
