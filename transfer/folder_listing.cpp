#include "transfer/folder_listing.h"

#include "transfer/transfer_dialog.h"

namespace orvane {

// A listing writes no file and relays to no frame: its own active slot keeps
// it apart from a download running at the same time.
class ListingFetch::Host final : public TransferHost {
  public:
    const std::string& DownloadDirectory() const override { return folder_; }
    std::atomic<CTransferDlg*>& ActiveTransfer() override { return active_; }

  private:
    std::string folder_ = "/";
    std::atomic<CTransferDlg*> active_{nullptr};
};

// Keeps only the status text: a failure at the start is told there.
class ListingFetch::Surface final : public TransferSurface {
  public:
    void Open() override {}
    void SetText(int controlId, const std::string& text) override {
        if (controlId == transfer_control::kStatus)
            status = text;
    }
    void SetTitle(const std::string&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressStep(int) override {}
    void SetProgressPos(int) override {}
    void EndDialog(int) override {}
    std::string status;
};

ListingFetch::ListingFetch(UiLoop& loop, std::string url, Done done)
    : loop_(loop),
      url_(std::move(url)),
      done_(std::move(done)),
      host_(std::make_unique<Host>()),
      surface_(std::make_unique<Surface>()),
      dialog_(std::make_unique<CTransferDlg>(*host_, *surface_, loop_)) {}

ListingFetch::~ListingFetch() {
    dialog_->onFinished = nullptr;
    if (dialog_->m_bBusy)
        dialog_->OnCancel();
    dialog_.reset();
}

void ListingFetch::Start() {
    dialog_->m_szUrl = url_;
    dialog_->m_bHttp = 0;
    dialog_->m_bListing = 1;
    std::weak_ptr<int> alive = alive_;
    auto deliverLater = [this, alive] {
        loop_.Post([this, alive] {
            if (alive.lock())
                Deliver();
        });
    };
    dialog_->onFinished = deliverLater;
    dialog_->OnInitDialog();
    if (!dialog_->m_bBusy)
        deliverLater();
}

void ListingFetch::Deliver() {
    FolderListing listing;
    listing.failed = dialog_->m_bFailed != 0;
    if (listing.failed) {
        listing.error = dialog_->m_szError.get();
        if (listing.error.empty() || !surface_->status.empty())
            listing.error = surface_->status;
    } else {
        listing.entries = ParseListing(dialog_->m_listing);
    }
    // The receiver may destroy this fetch: nothing is touched after.
    Done done = done_;
    done(listing);
}

}  // namespace orvane
