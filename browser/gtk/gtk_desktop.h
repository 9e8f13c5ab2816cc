#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "browser/app_services.h"
#include "browser/directory_dialogs.h"

namespace orvane {

class CBrowserView;
class GtkFrame;
class WebKitControl;

// The application's windows on GTK: the main frame with its web view, the
// message boxes and the About box.
class GtkDesktop final : public AppDesktop {
public:
    GtkDesktop();
    ~GtkDesktop() override;

    void MessageBox(const std::string& text) override;
    void ShowAbout() override;
    bool OpenDocument(CBrowserApp& app) override;
    void ApplyPlacement(const FramePlacement& placement) override;
    FramePlacement CurrentPlacement() override;
    void ShowFrame() override;
    void BringToFront() override;

private:
    void CloseFrame(CBrowserApp& app);

    std::unique_ptr<GtkFrame> frame_;
    std::unique_ptr<WebKitControl> control_;
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
