#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace orvane::peers {

using Clock = std::chrono::steady_clock;

// A listening TCP socket on 127.0.0.1 with a port of the system's choice;
// -1 on failure. port receives the port.
int ListenOnLoopback(int backlog, int& port);
// A listening TCP socket on the IPv4 address and port given; -1 on failure.
int ListenOn(const char* address, int port, int backlog);
// Connects to 127.0.0.1:port from the given loopback source address.
int ConnectFrom(const char* sourceAddress, const char* address, int port);
// Waits until fd is readable or the deadline passes.
bool WaitReadable(int fd, Clock::time_point deadline);
// Accepts one connection before the deadline; -1 when none came or stop was set.
int AcceptBefore(int listener, Clock::time_point deadline);
// Reads until the text ends with the terminator, the peer closes or the
// deadline passes (at most 64 KiB); false when the terminator never came.
bool ReadUntil(int fd, const std::string& terminator, std::string& text,
               Clock::time_point deadline);
bool SendAll(int fd, const std::string& bytes);
// Sends all of the bytes unless the peer goes, the deadline passes or stop
// is set first; a client that stops reading cannot hold the server up.
bool SendAllBefore(int fd, const std::string& bytes, Clock::time_point deadline,
                   const std::atomic<bool>& stop);
// Makes the coming close of the connection abort it with a reset (RST)
// instead of the orderly end.
void ResetOnClose(int fd);
// True when the peer closed the connection before the deadline.
bool PeerClosedBefore(int fd, Clock::time_point deadline);

}  // namespace orvane::peers
