#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "browser/app_services.h"
#include "browser/directory_dialogs.h"

namespace orvane {

class CBrowserView;
class CMainFrame;
class GtkFrameWindow;
class GtkDirectoryDialogs;
class GtkDownloadsWindow;
class GtkTransferRunner;
class GtkViewMessages;
class GlibUiLoop;
class PageDownloads;
class WebKitControl;

// The icon name of every window of the browser (hicolor theme).
inline constexpr char kIconName[] = "orvaneexplorer";

// The application's windows on GTK: the main frame with its bars and web
// view, the message boxes, the About box and the transfer status dialog.
class GtkDesktop final : public AppDesktop {
  public:
    // The program's folder, where the icon theme of its windows is found.
    explicit GtkDesktop(std::string programDir);
    ~GtkDesktop() override;

    void MessageBox(const std::string& text) override;
    void ShowAbout() override;
    bool OpenDocument(CBrowserApp& app) override;
    void ApplyPlacement(const FramePlacement& placement) override;
    FramePlacement CurrentPlacement() override;
    void ShowFrame() override;
    void BringToFront() override;

    // The frame's own close: File / Close or the close box (SIGTERM too).
    void RequestClose();
    CMainFrame* mainFrame() { return mainFrame_.get(); }
    GtkFrameWindow* frame() { return frame_.get(); }
    GtkTransferRunner* transfers() { return transfers_.get(); }

  private:
    // Makes the program's icon the default of its windows, once, before the
    // first window that shows. The icon theme also looks in PREFIX/share/
    // icons beside the program's PREFIX/bin (build/share/icons in a build
    // tree), so the icon shows before the desktop's icon cache knows it, and
    // under any install prefix. Loading the theme takes a while: the frame
    // does it once its first page has been asked for.
    void UseOwnIcon();

    std::string programDir_;
    bool ownIcon_ = false;
    std::unique_ptr<GlibUiLoop> loop_;
    std::unique_ptr<CMainFrame> mainFrame_;
    std::unique_ptr<GtkFrameWindow> frame_;
    std::unique_ptr<WebKitControl> control_;
    std::unique_ptr<GtkViewMessages> messages_;
    std::unique_ptr<GtkDirectoryDialogs> dialogs_;
    std::unique_ptr<GtkTransferRunner> transfers_;
    std::unique_ptr<PageDownloads> downloads_;
    std::unique_ptr<GtkDownloadsWindow> downloadsWindow_;
    std::unique_ptr<CBrowserView> view_;
};

// The Download Directory and Locate Tremora dialogs on GTK.
class GtkDirectoryDialogs final : public DirectoryDialogs {
  public:
    explicit GtkDirectoryDialogs(GtkWindow* owner) : owner_(owner) {}
    std::optional<DirectoryChoice> RunDownloadDirectoryDialog(const std::string& start) override;
    std::optional<std::string> RunLocateTremoraDialog(const std::string& current) override;

  private:
    GtkWindow* owner_;
};

}  // namespace orvane
