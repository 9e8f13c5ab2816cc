#pragma once

#include <vector>

namespace orvane::peers {

// A port on 127.0.0.1 whose queue of waiting connections is full: a client's
// connect to it neither completes nor fails, as with a host that does not
// answer. Released when destroyed.
class BlockedListener {
  public:
    BlockedListener();
    // The same on a loopback address and port of the caller's choice (a
    // host's first address that does not answer, next to a server on
    // another address at the same port).
    BlockedListener(const char* address, int port);
    ~BlockedListener();
    BlockedListener(const BlockedListener&) = delete;
    BlockedListener& operator=(const BlockedListener&) = delete;
    int port() const { return port_; }
    // How many connects to the port are waiting for an answer (SYN sent, no
    // reply), as the kernel lists them: a client's connect shows up here
    // while it is pending.
    int pendingConnects() const;

  private:
    void Fill(const char* address);

    int listener_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

}  // namespace orvane::peers
