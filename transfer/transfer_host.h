#pragma once

#include <atomic>
#include <string>

namespace orvane {

class CTransferDlg;

// What the transfer engine needs of the program that runs it: the folder the
// files go to and the slot through which the frame's relay finds the running FTP transfer. The
// browser's application object is one such host, orvane-fetch has its own.
class TransferHost {
  public:
    // The download directory, ending in "/".
    virtual const std::string& DownloadDirectory() const = 0;
    // The FTP transfer that socket notifications are relayed to, or null.
    virtual std::atomic<CTransferDlg*>& ActiveTransfer() = 0;

  protected:
    ~TransferHost() = default;
};

}  // namespace orvane
