// orvane-fetch [OPTIONS] URL [DIRECTORY]: downloads one file with the
// browser's own transfer engine, showing the transfer dialog's texts on the
// console.
// orvane-fetch --list ftp://host/folder/: prints the folder's listing, one
// entry a line: its type (d folder, f file, l link, ? not known), its size
// ("-" when not given) and its name.
#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/console.h"
#include "platform/orvane_version.h"
#include "platform/profile_file.h"
#include "platform/user_folders.h"
#include "transfer/console_surface.h"
#include "transfer/fetch_arguments.h"
#include "transfer/folder_listing.h"
#include "transfer/glib_ui_loop.h"
#include "transfer/transfer_dialog.h"
#include "transfer/transfer_host.h"

namespace {

using namespace orvane;

// The browser's settings section that holds its saved download directory.
constexpr char kSettingsSection[] = "Settings";

// The program as the transfer engine's host: one folder, no frame to relay to.
class FetchHost final : public TransferHost {
  public:
    explicit FetchHost(std::string folder) : folder_(std::move(folder)) {}
    const std::string& DownloadDirectory() const override { return folder_; }
    std::atomic<CTransferDlg*>& ActiveTransfer() override { return active_; }

  private:
    std::string folder_;
    std::atomic<CTransferDlg*> active_{nullptr};
};

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The directory given, else the browser's saved download directory when it
// exists, else the current directory; always ending in "/".
std::string DownloadDirectory(std::string directory) {
    if (directory.empty()) {
        ProfileFile settings(browserSettingsPath());
        std::string saved = settings.readString(kSettingsSection, "DownloadDir");
        if (!saved.empty() && IsDirectory(saved))
            directory = saved;
    }
    if (directory.empty()) {
        std::error_code error;
        directory = std::filesystem::current_path(error).string();
    }
    return directory.back() == '/' ? directory : directory + "/";
}

gboolean CancelOnSignal(gpointer dialog) {
    static_cast<CTransferDlg*>(dialog)->OnCancel();
    return G_SOURCE_CONTINUE;
}

gboolean StopOnSignal(gpointer stopped) {
    *static_cast<bool*>(stopped) = true;
    return G_SOURCE_CONTINUE;
}

int PrintListing(Console& console, const std::string& url) {
    GlibUiLoop loop(g_main_context_default());
    std::optional<FolderListing> result;
    bool stopped = false;
    guint interrupt = g_unix_signal_add(SIGINT, StopOnSignal, &stopped);
    guint terminate = g_unix_signal_add(SIGTERM, StopOnSignal, &stopped);
    {
        ListingFetch fetch(loop, url, [&](const FolderListing& listing) { result = listing; });
        fetch.Start();
        loop.RunUntil([&] { return result.has_value() || stopped; });
    }
    g_source_remove(interrupt);
    g_source_remove(terminate);
    if (!result || result->failed) {
        console.err((result ? result->error : std::string("Canceled")) + "\n");
        return 1;
    }
    for (const FtpListEntry& entry : result->entries) {
        std::string size = entry.size < 0 ? "-" : std::to_string(entry.size);
        console.out(std::string(1, KindLetter(entry.kind)) + " " + size + " " + entry.name + "\n");
    }
    return 0;
}

// -o FILE: the folder part (the current folder when none) and the name.
void SplitOutputFile(const std::string& outputFile, std::string& directory, std::string& name) {
    std::filesystem::path path(outputFile);
    name = path.filename().string();
    directory = path.has_parent_path() ? path.parent_path().string() : ".";
}

ProgressStyle StyleFor(const FetchArguments& arguments) {
    if (arguments.quiet)
        return ProgressStyle::Quiet;
    return ::isatty(STDERR_FILENO) ? ProgressStyle::Terminal : ProgressStyle::Log;
}

int Fetch(Console& console, const FetchArguments& arguments) {
    std::string directory = arguments.directory, saveName;
    if (!arguments.outputFile.empty())
        SplitOutputFile(arguments.outputFile, directory, saveName);
    FetchHost host(DownloadDirectory(directory));

    GlibUiLoop loop(g_main_context_default());
    ConsoleTransferSurface surface(console, StyleFor(arguments));
    CTransferDlg dialog(host, surface, loop);
    dialog.m_szUrl = arguments.url;
    dialog.m_szSaveName = saveName;
    dialog.retries = arguments.retries;
    dialog.m_bContinueLocal = arguments.continueLocal;
    if (arguments.silenceLimitMs > 0)
        dialog.silenceLimitMs = arguments.silenceLimitMs;
    dialog.userAgent = std::string("orvane-fetch/") + kOrvaneVersion;
    // The URL decides the client, as the browser's rules would.
    dialog.m_bHttp = arguments.url.rfind("ftp:", 0) == 0 ? 0 : 1;
    guint interrupt = g_unix_signal_add(SIGINT, CancelOnSignal, &dialog);
    guint terminate = g_unix_signal_add(SIGTERM, CancelOnSignal, &dialog);

    surface.Open();
    dialog.OnInitDialog();
    // The console has no one to close a failed dialog: it ends with the
    // transfer, good or failed.
    loop.RunUntil([&] { return dialog.HasEnded() || !dialog.m_bBusy; });
    g_source_remove(interrupt);
    g_source_remove(terminate);
    surface.Finish();

    if (dialog.m_bFailed == 0) {
        console.out(dialog.m_szLocalPath + "\n");
        return 0;
    }
    std::string failure =
        dialog.HasEnded() ? dialog.m_szError.get() : surface.text(transfer_control::kStatus);
    console.err(failure + "\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    StdConsole console;
    std::string error;
    auto arguments = ParseFetchArguments(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!arguments) {
        console.err("orvane-fetch: " + error + "\n" + kFetchUsage);
        return 2;
    }
    switch (arguments->action) {
        case FetchArguments::Action::Help:
            console.out(kFetchUsage);
            return 0;
        case FetchArguments::Action::Version:
            console.out(std::string("orvane-fetch ") + kOrvaneVersion + "\n");
            return 0;
        case FetchArguments::Action::List:
            return PrintListing(console, arguments->url);
        case FetchArguments::Action::Fetch:
            break;
    }
    return Fetch(console, *arguments);
}
