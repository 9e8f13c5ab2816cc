#include "platform/directory_listing.h"

#include <algorithm>
#include <filesystem>

#include "platform/ascii_text.h"

namespace orvane {
namespace fs = std::filesystem;

namespace {

bool listedBefore(const DirectoryEntry& a, const DirectoryEntry& b) {
    std::string foldedA = asciiLowered(a.name), foldedB = asciiLowered(b.name);
    return foldedA != foldedB ? foldedA < foldedB : a.name < b.name;
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> listDirectory(const std::string& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return std::nullopt;
    std::vector<DirectoryEntry> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return std::nullopt;
        DirectoryEntry entry;
        entry.name = it->path().filename().string();
        std::error_code statusError;
        entry.isDirectory = it->is_directory(statusError);
        entry.isHidden = !entry.name.empty() && entry.name.front() == '.';
        entries.push_back(std::move(entry));
    }
    if (ec)
        return std::nullopt;
    std::sort(entries.begin(), entries.end(), listedBefore);
    return entries;
}

}  // namespace orvane
