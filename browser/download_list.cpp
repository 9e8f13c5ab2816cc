#include "browser/download_list.h"

#include <algorithm>

#include "transfer/progress_text.h"

namespace orvane {

int DownloadList::Add(const std::string& name, const std::string& path, bool eventFile,
                      std::function<void()> cancel) {
    DownloadEntry entry;
    entry.id = next_++;
    entry.name = name;
    entry.path = path;
    entry.eventFile = eventFile;
    // Newest first.
    entries_.insert(entries_.begin(), entry);
    if (cancel)
        cancels_.emplace_back(entry.id, std::move(cancel));
    Changed();
    return entry.id;
}

DownloadEntry* DownloadList::Entry(int id) {
    auto found =
        std::find_if(entries_.begin(), entries_.end(), [id](const auto& e) { return e.id == id; });
    return found == entries_.end() ? nullptr : &*found;
}

const DownloadEntry* DownloadList::Find(int id) const {
    return const_cast<DownloadList*>(this)->Entry(id);
}

std::optional<int> DownloadList::RunningAt(const std::string& path) const {
    for (const DownloadEntry& entry : entries_)
        if (entry.state == DownloadState::Running && entry.path == path)
            return entry.id;
    return std::nullopt;
}

void DownloadList::Progress(int id, std::uint64_t received, std::uint64_t expected) {
    DownloadEntry* entry = Entry(id);
    if (!entry || entry->state != DownloadState::Running)
        return;
    entry->received = received;
    entry->expected = expected;
    Changed();
}

void DownloadList::Finish(int id, const std::string& path, std::uint64_t size) {
    DownloadEntry* entry = Entry(id);
    if (!entry || entry->state != DownloadState::Running)
        return;
    if (!path.empty()) {
        entry->path = path;
        entry->name = path.substr(path.find_last_of('/') + 1);
    }
    entry->received = entry->expected = size;
    Ended(*entry, DownloadState::Done);
}

void DownloadList::Fail(int id, const std::string& reason) {
    DownloadEntry* entry = Entry(id);
    if (entry && entry->state == DownloadState::Running) {
        entry->reason = reason;
        Ended(*entry, DownloadState::Failed);
    }
}

void DownloadList::MarkCancelled(int id) {
    if (DownloadEntry* entry = Entry(id))
        Ended(*entry, DownloadState::Cancelled);
}

void DownloadList::NoteViewer(int id, bool took) {
    if (DownloadEntry* entry = Entry(id)) {
        entry->viewerTook = took;
        Changed();
    }
}

void DownloadList::Ended(DownloadEntry& entry, DownloadState state) {
    if (entry.state != DownloadState::Running)
        return;
    entry.state = state;
    // What stops a download lives no longer than the download.
    std::erase_if(cancels_, [&](const auto& cancel) { return cancel.first == entry.id; });
    Changed();
}

void DownloadList::Cancel(int id) {
    auto found = std::find_if(cancels_.begin(), cancels_.end(),
                              [id](const auto& cancel) { return cancel.first == id; });
    if (found == cancels_.end())
        return;
    // The download reports its end itself, which may remove this entry.
    std::function<void()> cancel = found->second;
    cancel();
}

void DownloadList::Changed() const {
    if (auto observer = observer_.lock())
        (*observer)();
}

namespace {
std::string runningSize(const DownloadEntry& entry) {
    if (entry.expected > 0)
        return ReadableShare(static_cast<std::int64_t>(entry.received),
                             static_cast<std::int64_t>(entry.expected));
    return ReadableSize(static_cast<std::int64_t>(entry.received));
}

std::string doneState(const DownloadEntry& entry) {
    if (!entry.viewerTook)
        return "Done";
    return *entry.viewerTook ? "Done, handed to the viewer" : "Done, not taken by the viewer";
}
}  // namespace

DownloadLine DownloadList::LineOf(const DownloadEntry& entry) {
    switch (entry.state) {
        case DownloadState::Running:
            return {
                entry.name, runningSize(entry),
                entry.expected > 0
                    ? "Downloading, " + std::to_string(entry.received * 100 / entry.expected) + "%"
                    : "Downloading"};
        case DownloadState::Done:
            return {entry.name, ReadableSize(static_cast<std::int64_t>(entry.received)),
                    doneState(entry)};
        case DownloadState::Failed:
            return {entry.name, "", "Failed: " + entry.reason};
        case DownloadState::Cancelled:
            return {entry.name, "", "Cancelled"};
    }
    return {entry.name, "", ""};
}

}  // namespace orvane
