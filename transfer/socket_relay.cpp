#include "transfer/socket_relay.h"

#include "transfer/transfer_dialog.h"

namespace orvane {

long RelayFtpMessage(TransferHost& host, unsigned message, std::uintptr_t wParam, long lParam) {
    CTransferDlg* transfer = host.ActiveTransfer().load();
    if (transfer == nullptr)
        return 0;
    if (message == WM_FTP_CONTROL)
        transfer->OnControlEvent(wParam, lParam);
    if (message == WM_FTP_LISTEN)
        transfer->OnListenEvent(wParam, lParam);
    if (message == WM_FTP_DATA)
        transfer->OnDataEvent(wParam, lParam);
    return 0;
}

}  // namespace orvane
