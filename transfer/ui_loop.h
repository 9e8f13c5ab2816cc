#pragma once

#include <functional>
#include <memory>

namespace orvane {

// Socket events as the transfer's notification handlers number them (the
// low word of a notification's lParam).
inline constexpr long FD_READ = 0x01;
inline constexpr long FD_WRITE = 0x02;
inline constexpr long FD_ACCEPT = 0x08;
inline constexpr long FD_CLOSE = 0x20;

// A running timer or socket watch; it stops when destroyed.
class LoopHandle {
  public:
    virtual ~LoopHandle() = default;
};

// What a connected socket or a listening socket reports.
enum class SocketKind {
    // FD_WRITE once when the watch starts, FD_READ while bytes are waiting
    // (each delivery reads at most one piece), FD_CLOSE once at the end.
    // A pending error (a reset) comes first as one FD_READ, so that the
    // reader's receive reports it; the close follows.
    Stream,
    // FD_ACCEPT while a connection waits, FD_CLOSE on a socket error.
    Listener,
};

// The user-interface thread's event loop as the transfer dialog uses it:
// its timer, the socket notifications and the modal run. Everything except
// Post is called on the user-interface thread only.
class UiLoop {
  public:
    virtual ~UiLoop() = default;
    // Calls tick every periodMs until the handle is destroyed; null on failure.
    virtual std::unique_ptr<LoopHandle> StartTimer(unsigned periodMs,
                                                   std::function<void()> tick) = 0;
    // Reports the socket's events to deliver until the handle is destroyed.
    // The handle must be destroyed before the socket is closed.
    virtual std::unique_ptr<LoopHandle> WatchSocket(int fd, SocketKind kind,
                                                    std::function<void(long event)> deliver) = 0;
    // Runs the loop until finished() holds (checked after each event).
    virtual void RunUntil(const std::function<bool()>& finished) = 0;
    // From any thread: runs the call on the user-interface thread soon after.
    virtual void Post(std::function<void()> call) = 0;
};

}  // namespace orvane
