#include "browser/gtk/gtk_view_host.h"

#include <memory>

#include "browser/app.h"
#include "browser/gtk/gtk_frame.h"
#include "browser/gtk/gtk_log.h"
#include "browser/gtk/gtk_transfer_window.h"
#include "platform/orvane_version.h"
#include "transfer/transfer_dialog.h"

namespace orvane {

struct GtkViewMessages::Posted {
    GtkViewMessages* owner;
    unsigned message;
    guint source = 0;
};

GtkViewMessages::~GtkViewMessages() {
    // Messages not yet handed over die with the window.
    for (guint source : std::set<guint>(sources_))
        g_source_remove(source);
}

void GtkViewMessages::PostViewMessage(unsigned message) {
    auto posted = std::make_unique<Posted>(Posted{this, message});
    Posted* raw = posted.get();
    raw->source = g_idle_add_full(G_PRIORITY_DEFAULT, Deliver, posted.release(), Release);
    sources_.insert(raw->source);
}

gboolean GtkViewMessages::Deliver(gpointer data) {
    auto* posted = static_cast<Posted*>(data);
    GtkViewMessages* owner = posted->owner;
    owner->sources_.erase(posted->source);
    // The source is gone from the set before the handler may run a nested
    // loop, so that the destructor never removes it twice.
    if (owner->view_)
        owner->view_->OnMessage(posted->message);
    return G_SOURCE_REMOVE;
}

void GtkViewMessages::Release(gpointer data) {
    std::unique_ptr<Posted>(static_cast<Posted*>(data));
}

TransferOutcome GtkTransferRunner::RunModal(const std::string& url, const std::string& fallbackUrl,
                                            bool http) {
    CTransferDlg* dialog = nullptr;
    GtkTransferWindow window(frame_.window(), [&dialog] {
        if (dialog && !dialog->HasEnded())
            dialog->OnCancel();
    });
    CTransferDlg transfer(app_, window, loop_);
    dialog = &transfer;
    transfer.m_szUrl = url;
    transfer.m_szFallbackUrl = fallbackUrl;
    transfer.userAgent = std::string("OrvaneExplorer/") + kOrvaneVersion;
    transfer.m_bHttp = http ? 1 : 0;
    running_ = &transfer;
    window_ = &window;
    frame_.SetInputEnabled(false);
    transfer.DoModal();
    frame_.SetInputEnabled(true);
    running_ = nullptr;
    window_ = nullptr;
    std::string error = transfer.m_szError.get();
    return {transfer.m_bFailed.load(), transfer.m_szLocalPath, error,
            transfer.m_bFailed && error == kCanceledText};
}

void GtkTransferRunner::StartListing(const std::string& url,
                                     std::function<void(const FolderListing&)> done) {
    logFrame("listing " + url);
    listing_ = std::make_unique<ListingFetch>(
        loop_, url, [this, done = std::move(done)](const FolderListing& listing) {
            logFrame(listing.failed
                         ? "listing failed: " + listing.error
                         : "listing of " + std::to_string(listing.entries.size()) + " entries");
            auto finished = std::move(listing_);  // ends after the page is handed on
            done(listing);
        });
    listing_->Start();
}

void GtkTransferRunner::CancelRunning() {
    if (running_ && !running_->HasEnded())
        running_->OnCancel();
}

}  // namespace orvane
