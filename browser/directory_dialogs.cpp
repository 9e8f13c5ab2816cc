#include "browser/directory_dialogs.h"

#include <sys/stat.h>

#include <filesystem>

#include "browser/app.h"
#include "browser/paths.h"

namespace orvane {

namespace {
bool createSingleDirectory(const std::string& path) {
    return ::mkdir(StripSeparator(path).c_str(), 0777) == 0;
}
}  // namespace

bool AdoptDownloadDirectory(CBrowserApp& app, const std::string& directory) {
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(directory, ec).string();
    if (ec || directory.empty() ||
        (!DirectoryExists(absolute) && !createSingleDirectory(absolute))) {
        app.desktop().MessageBox("Error Creating New Directory");
        return false;
    }
    // Local paths keep their case on this platform.
    app.m_szDownloadDir = AppendSeparator(absolute);
    app.WriteSetting("DownloadDir", app.m_szDownloadDir);
    return true;
}

void ChooseDownloadDirectory(CBrowserApp& app, DirectoryDialogs& dialogs) {
    std::string start = app.m_szDownloadDir;
    if (start.empty() && app.downloadFolderSource)
        start = app.downloadFolderSource();
    if (start.empty())
        start = app.m_szProgramDir;
    auto choice = dialogs.RunDownloadDirectoryDialog(StripSeparator(start));
    if (!choice)
        return;
    AdoptDownloadDirectory(app, choice->newDir.empty() ? choice->openFolder : choice->newDir);
}

bool EnsureDownloadDirectory(CBrowserApp& app, DirectoryDialogs& dialogs) {
    if (app.m_szDownloadDir.empty()) {
        app.desktop().MessageBox(kSelectDirectoryMessage);
        ChooseDownloadDirectory(app, dialogs);
    }
    return !app.m_szDownloadDir.empty();
}

void LocateViewer(CBrowserApp& app, DirectoryDialogs& dialogs) {
    auto path = dialogs.RunLocateTremoraDialog(app.m_szViewerPath);
    if (!path)
        return;
    app.m_szViewerPath = *path;
    app.WriteSetting("TremoraPath", *path);
}

}  // namespace orvane
