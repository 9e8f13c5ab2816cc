#include "browser/page_downloads.h"

#include <filesystem>

#include "browser/app.h"
#include "browser/directory_dialogs.h"
#include "browser/download_list.h"
#include "browser/status_line.h"
#include "transfer/progress_text.h"

namespace orvane {

namespace {
namespace fs = std::filesystem;

constexpr char kDefaultName[] = "download";

// The last part of the suggested name, without characters a file name on
// this platform cannot hold or should not start with.
std::string safeName(const std::string& suggested) {
    std::string name = suggested.substr(suggested.find_last_of('/') + 1);
    std::string clean;
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x20)
            clean += c;
    clean.erase(0, clean.find_first_not_of(". "));
    return clean.empty() ? kDefaultName : clean;
}

std::string fileNameOf(const std::string& path) {
    return fs::path(path).filename().string();
}

std::uint64_t sizeOf(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}
}  // namespace

std::string FreeFileName(const std::string& folder, const std::string& name,
                         const std::set<std::string>& taken) {
    auto used = [&](const std::string& candidate) {
        std::error_code ec;
        return taken.count(candidate) > 0 || fs::exists(fs::path(folder) / candidate, ec) ||
               fs::is_symlink(fs::path(folder) / candidate, ec);
    };
    if (!used(name))
        return name;
    auto dot = name.find_last_of('.');
    if (dot == 0 || dot == std::string::npos)
        dot = name.size();
    std::string stem = name.substr(0, dot), extension = name.substr(dot);
    for (int number = 1;; ++number) {
        std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (!used(candidate))
            return candidate;
    }
}

std::optional<std::string> PageDownloads::DecideDestination(const std::string& suggestedName,
                                                            std::function<void()> cancel) {
    if (!EnsureDownloadDirectory(app_, dialogs_))
        return std::nullopt;
    std::set<std::string> taken;
    for (const std::string& path : running_)
        if (fs::path(path).parent_path() == fs::path(app_.m_szDownloadDir).parent_path())
            taken.insert(fileNameOf(path));
    std::string path =
        app_.m_szDownloadDir + FreeFileName(app_.m_szDownloadDir, safeName(suggestedName), taken);
    running_.insert(path);
    app_.downloads().Add(fileNameOf(path), path, false, std::move(cancel));
    return path;
}

void PageDownloads::OnProgress(const std::string& path, std::uint64_t received,
                               std::uint64_t expected) {
    std::string text = "Downloading " + fileNameOf(path) + " ... ";
    if (expected > 0)
        text += std::to_string(received * 100 / expected) + "% of " +
                ReadableSize(static_cast<std::int64_t>(expected));
    else
        text += ReadableSize(static_cast<std::int64_t>(received));
    activity_.OnDownloadStatus(text);
    if (auto id = app_.downloads().RunningAt(path))
        app_.downloads().Progress(*id, received, expected);
}

std::optional<int> PageDownloads::Ended(const std::string& path) {
    running_.erase(path);
    return app_.downloads().RunningAt(path);
}

void PageDownloads::OnFinished(const std::string& path) {
    if (auto id = Ended(path))
        app_.downloads().Finish(*id, path, sizeOf(path));
    activity_.OnDownloadStatus("Download complete: " + path);
}

void PageDownloads::OnFailed(const std::string& path, const std::string& reason) {
    // The control removes its own partial file.
    if (auto id = Ended(path))
        app_.downloads().Fail(*id, reason);
    activity_.OnDownloadStatus("Download failed: " +
                               (path.empty() ? std::string("the file") : fileNameOf(path)));
}

void PageDownloads::OnCancelled(const std::string& path) {
    if (auto id = Ended(path))
        app_.downloads().MarkCancelled(*id);
    activity_.OnDownloadStatus("Download cancelled: " + fileNameOf(path));
}

}  // namespace orvane
