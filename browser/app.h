#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browser/app_services.h"
#include "browser/download_list.h"
#include "browser/endpoints.h"
#include "platform/profile_file.h"
#include "platform/registry_store.h"
#include "transfer/transfer_host.h"

namespace orvane {

class CBrowserView;

inline constexpr char kAppTitle[] = "Orvane Explorer";
inline constexpr char kSettingsSection[] = "Settings";
inline constexpr char kBrowserExecutable[] = "orvaneexplorer";

// The one application object of OrvaneExplorer: its folders, the viewer's
// path, the start URLs, and the state shared with the view, the frame and
// the transfer engine (which sees it as its host).
class CBrowserApp final : public TransferHost {
  public:
    CBrowserApp(AppDesktop& desktop, OutsideWorld& world, ProfileFile settings,
                RegistryStore registry);

    // Start-up, steps in order; false when the main frame could not open.
    bool InitInstance(const std::vector<std::string>& arguments);
    // An execute command from another program; true when it was handled.
    // A well-formed command that arrives before the main frame exists (the
    // DDE service is up from step 8, a start-up message may still be open)
    // is accepted and carried out once the frame has been shown.
    bool HandleDdeCommand(const std::string& command);
    void OnAppAbout() { desktop_.ShowAbout(); }
    // The main frame is closing: keep its placement, stop the sockets.
    void OnFrameClose();

    // Viewer hand-off.
    int IsBrowserRegistered();
    void RegisterBrowserLocation();
    int ReadViewerLocation();
    // The hand-off of a saved file: DDE first, then the viewer's start when
    // no conversation was made. A conversation through another program (the
    // Windows DDE client under Wine) is waited for by the main loop, so the
    // hand-off may end after this returns; the window answers meanwhile.
    // taken, when given, hears whether the viewer (or the quick-look) got
    // the file.
    void HandOffToViewer(const std::string& localPath, std::function<void(bool)> taken = {});
    // result gets 1 when a conversation was made and the command sent, 0
    // otherwise: at once, or later from the main loop when a program has to
    // be waited for. It never runs once the frame has closed.
    using ViewerResult = std::function<void(int)>;
    void OpenInViewer(const std::string& localPath, const std::string& service,
                      ViewerResult result);
    // True when the viewer (or the quick-look) was started.
    bool StartViewer(const std::string& localPath);
    // Hand-offs waiting for another program to end.
    std::size_t handOffsWaiting() const { return waits_.size(); }
    std::string HelpUrl() const;

    // Writes one key of the section "Settings".
    void WriteSetting(const char* key, const std::string& value);
    ProfileFile& settings() { return settings_; }
    RegistryStore& registry() { return registry_; }
    AppDesktop& desktop() { return desktop_; }
    const Endpoints& endpoints() const { return endpoints_; }
    // This run's downloads, event files and files saved from pages alike.
    DownloadList& downloads() { return downloads_; }

    std::function<std::string()> programDirectorySource;
    // The Wine prefix whose registry may name the viewer, and the one a
    // Windows viewer outside every prefix's drive C: runs in.
    std::function<std::string()> winePrefixSource;
    // The member's own download folder, where the download directory's
    // chooser opens while none is set (empty: there is none).
    std::function<std::string()> downloadFolderSource;
    // The folder relative command-line files are taken against, and the home
    // folder that "~" names.
    std::function<std::string()> currentFolderSource;
    std::function<std::string()> homeFolderSource;

    std::string m_szProgramDir;
    std::string m_szDownloadDir;
    std::string m_szViewerPath;
    CBrowserView* m_pBrowserView = nullptr;
    std::string m_strInitialUrl;
    std::string m_strStartPage;
    std::atomic<CTransferDlg*> m_pActiveTransfer{nullptr};

    // The transfer engine's view of the application.
    const std::string& DownloadDirectory() const override { return m_szDownloadDir; }
    std::atomic<CTransferDlg*>& ActiveTransfer() override { return m_pActiveTransfer; }

  private:
    std::string OwnLocation() const;
    std::string ViewerExecutable() const;
    int ReadWineViewerLocation();
    void OpenInWineViewer(const std::string& localPath, const std::string& service,
                          ViewerResult result);
    bool StartQuicklookForMissingViewer(const std::string& localPath);
    void SettleDownloadDirectory();
    void SettleViewerPath();
    void SettleRegistryAndViewer();
    void CarryOutDdeCommand(const std::optional<std::string>& url);
    void StartAtWaitingUrl();
    void RunWaitingDdeCommands();

    AppDesktop& desktop_;
    OutsideWorld& world_;
    ProfileFile settings_;
    RegistryStore registry_;
    Endpoints endpoints_;
    DownloadList downloads_;
    bool frameShown_ = false;
    // Open commands (nullopt: an empty command) that came before the frame.
    std::vector<std::optional<std::string>> waitingDdeCommands_;
    // Programs being waited for, by number; dropping one ends its program.
    std::map<unsigned, std::unique_ptr<ProgramRun>> waits_;
    unsigned nextWait_ = 0;
};

}  // namespace orvane
