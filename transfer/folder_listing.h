#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transfer/ftp_listing.h"
#include "transfer/ui_loop.h"

namespace orvane {

class CTransferDlg;

// The outcome of one listing: the entries, or the failure text (with the
// server's reply where it gave one).
struct FolderListing {
    bool failed = false;
    std::string error;
    std::vector<FtpListEntry> entries;
};

// Fetches the listing of an ftp:// folder with the FTP client, without a
// dialog: the connection and the waits on the client's worker thread, the
// replies and the data on the loop's thread, which stays free meanwhile.
// Destroying it cancels a fetch under way; the result is handed over from
// the loop, never from inside the call that started it.
class ListingFetch {
  public:
    using Done = std::function<void(const FolderListing&)>;
    ListingFetch(UiLoop& loop, std::string url, Done done);
    ~ListingFetch();
    ListingFetch(const ListingFetch&) = delete;
    ListingFetch& operator=(const ListingFetch&) = delete;

    void Start();

  private:
    class Host;
    class Surface;
    void Deliver();

    UiLoop& loop_;
    std::string url_;
    Done done_;
    std::unique_ptr<Host> host_;
    std::unique_ptr<Surface> surface_;
    std::unique_ptr<CTransferDlg> dialog_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace orvane
