#pragma once

#include <cstdint>

namespace orvane {

class TransferHost;

// Private messages by which the FTP sockets report their events to the main
// frame, which relays them to the running transfer.
inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_FTP_CONTROL = WM_USER + 1;
inline constexpr unsigned WM_FTP_LISTEN = WM_USER + 3;
inline constexpr unsigned WM_FTP_DATA = WM_USER + 5;

// The frame's relay: hands the notification (wParam the socket, the low word
// of lParam the event) to the host's active transfer, or drops it
// when none runs. Always 0.
long RelayFtpMessage(TransferHost& host, unsigned message, std::uintptr_t wParam, long lParam);

}  // namespace orvane
