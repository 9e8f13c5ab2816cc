#pragma once

#include <glib.h>

#include <memory>
#include <set>

#include "browser/view.h"

namespace orvane {

class CBrowserApp;
class GtkFrameWindow;
class CTransferDlg;
class GtkTransferWindow;
class UiLoop;

// Posted view messages on GLib's main loop: each is handed to the view at
// the next turn of the loop, after the event that posted it has returned.
class GtkViewMessages final : public ViewMessageQueue {
  public:
    GtkViewMessages() = default;
    ~GtkViewMessages() override;
    GtkViewMessages(const GtkViewMessages&) = delete;
    GtkViewMessages& operator=(const GtkViewMessages&) = delete;

    void Attach(CBrowserView& view) { view_ = &view; }
    void PostViewMessage(unsigned message) override;

  private:
    struct Posted;
    static gboolean Deliver(gpointer posted);
    static void Release(gpointer posted);

    CBrowserView* view_ = nullptr;
    std::set<guint> sources_;
};

// Runs the transfer status dialog, CTransferDlg on its GTK window, modal
// over the frame.
class GtkTransferRunner final : public TransferRunner {
  public:
    GtkTransferRunner(CBrowserApp& app, GtkFrameWindow& frame, UiLoop& loop)
        : app_(app), frame_(frame), loop_(loop) {}

    TransferOutcome RunModal(const std::string& url, const std::string& fallbackUrl,
                             bool http) override;
    void CancelRunning() override;
    void StartListing(const std::string& url,
                      std::function<void(const FolderListing&)> done) override;
    void CancelListing() override { listing_.reset(); }
    // The status dialog's window while one runs, else null.
    GtkTransferWindow* runningWindow() { return window_; }

  private:
    CBrowserApp& app_;
    GtkFrameWindow& frame_;
    UiLoop& loop_;
    CTransferDlg* running_ = nullptr;
    GtkTransferWindow* window_ = nullptr;
    std::unique_ptr<ListingFetch> listing_;
};

}  // namespace orvane
