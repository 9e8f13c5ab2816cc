#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

enum class DownloadState { Running, Done, Failed, Cancelled };

// One download of this run: a file saved from a page or an event file.
struct DownloadEntry {
    int id = 0;
    std::string name;  // the file's name, as saved (or as it will be)
    std::string path;  // the local path; empty until it is known
    bool eventFile = false;
    DownloadState state = DownloadState::Running;
    std::uint64_t received = 0;
    std::uint64_t expected = 0;  // announced size, 0: unknown
    std::string reason;          // why it failed
    // Whether the viewer took an event file; nullopt before the hand-off.
    std::optional<bool> viewerTook;
};

// The three texts of a download's line in the Downloads window.
struct DownloadLine {
    std::string name;
    std::string size;
    std::string state;
};

// This run's downloads, newest first, as the Downloads window lists them:
// each line's texts and whether it can still be cancelled. The window is
// told of every change.
class DownloadList {
  public:
    // A new running download; cancel (may be empty) stops it. Its id.
    int Add(const std::string& name, const std::string& path, bool eventFile,
            std::function<void()> cancel);
    void Progress(int id, std::uint64_t received, std::uint64_t expected);
    void Finish(int id, const std::string& path, std::uint64_t size);
    void Fail(int id, const std::string& reason);
    void MarkCancelled(int id);
    void NoteViewer(int id, bool took);
    // Asks the download to stop, when it is still running.
    void Cancel(int id);

    const std::vector<DownloadEntry>& entries() const { return entries_; }
    const DownloadEntry* Find(int id) const;
    // The running download saved under path, or nullopt.
    std::optional<int> RunningAt(const std::string& path) const;
    static DownloadLine LineOf(const DownloadEntry& entry);
    // Runs after every change for as long as its owner keeps it: the list
    // may outlive the window that watches it, and the reverse.
    void SetObserver(std::weak_ptr<std::function<void()>> observer) {
        observer_ = std::move(observer);
    }

  private:
    DownloadEntry* Entry(int id);
    void Ended(DownloadEntry& entry, DownloadState state);
    void Changed() const;

    std::vector<DownloadEntry> entries_;
    std::vector<std::pair<int, std::function<void()>>> cancels_;
    std::weak_ptr<std::function<void()>> observer_;
    int next_ = 1;
};

// The Downloads window on the desktop.
class DownloadsWindow {
  public:
    virtual ~DownloadsWindow() = default;
    // Shows the window and raises it.
    virtual void Present() = 0;
};

}  // namespace orvane
