#pragma once

#include <cstddef>
#include <string_view>

#include "platform/unique_fd.h"

namespace orvane {

class WakeChannel;

// Waits until the socket is ready for the events (POLLIN, POLLOUT). With a
// wake channel the wait has no limit and false means a stop request; without
// one (the user-interface thread, which only sends short command lines) a
// peer that is not ready within a second is given up (false).
bool WaitForSocket(int socket, short events, WakeChannel* wake);

// Like WaitForSocket, but a peer that is not ready within silenceMs (-1:
// no limit) is Silent.
enum class SocketWait { Ready, Stopped, Silent };
SocketWait WaitForSocketWithin(int socket, short events, WakeChannel* wake, int silenceMs);

// A connected byte stream: a TCP socket in the program, scripted bytes in
// tests (and in fuzzing), so that what a server sends can be fed to the
// clients without a network.
class ByteStream {
  public:
    // Results besides a byte count (> 0) and 0 for "the peer has closed".
    static constexpr long kFailed = -1;
    static constexpr long kWouldBlock = -2;
    static constexpr long kStopped = -3;
    // Receive waited the silence limit without a byte.
    static constexpr long kSilent = -4;

    virtual ~ByteStream() = default;
    // The descriptor to watch for events; -1 when there is none.
    virtual int fd() const = 0;
    // Takes what has arrived, without waiting: a count, 0, kWouldBlock or kFailed.
    virtual long ReceiveNow(char* buffer, std::size_t size) = 0;
    // Waits for bytes: a count, 0, kFailed, kStopped after a stop request, or
    // kSilent when none came within the silence limit.
    virtual long Receive(char* buffer, std::size_t size) = 0;
    // Sends all of the bytes (waiting while the peer is slow): the count
    // sent, kFailed or kStopped.
    virtual long Send(std::string_view bytes) = 0;
    // Closes the connection; later calls fail.
    virtual void Close() = 0;
    // How long Receive waits for a byte (-1: without limit).
    void SetSilenceLimit(int ms) { silenceMs_ = ms; }

  protected:
    int silenceMs_ = -1;
};

// A non-blocking TCP socket. Its waits watch the wake channel, when it has
// one, so that a worker blocked on it stops on Cancel.
class SocketStream final : public ByteStream {
  public:
    SocketStream(UniqueFd socket, WakeChannel* wake) : socket_(std::move(socket)), wake_(wake) {}
    int fd() const override { return socket_.get(); }
    long ReceiveNow(char* buffer, std::size_t size) override;
    long Receive(char* buffer, std::size_t size) override;
    long Send(std::string_view bytes) override;
    void Close() override { socket_.reset(); }
    // Hands the socket on (to a TLS session over a proxy's tunnel).
    UniqueFd TakeSocket() { return std::move(socket_); }

  private:
    UniqueFd socket_;
    WakeChannel* wake_;
};

}  // namespace orvane
