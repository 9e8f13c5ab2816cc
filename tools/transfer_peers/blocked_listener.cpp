#include "tools/transfer_peers/blocked_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/transfer_peers/peer_socket.h"

namespace orvane::peers {

BlockedListener::BlockedListener() {
    listener_ = ListenOnLoopback(0, port_);
    Fill("127.0.0.1");
}

BlockedListener::BlockedListener(const char* address, int port) : port_(port) {
    listener_ = ListenOn(address, port, 0);
    Fill(address);
}

void BlockedListener::Fill(const char* address) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port_));
    ::inet_pton(AF_INET, address, &target.sin_addr);
    // A few connections fill the queue that is never accepted from.
    for (int i = 0; i < 3 && listener_ >= 0; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target);
        fillers_.push_back(fd);
    }
    ::usleep(100000);
}

int BlockedListener::pendingConnects() const {
    // Lines of /proc/net/tcp: "sl local_address rem_address st ...", the
    // addresses as hex "ADDR:PORT" and the state 02 for SYN_SENT.
    constexpr char kSynSent[] = "02";
    char remote[16];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port_);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    int pending = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, state;
        if (fields >> slot >> local >> peer >> state && peer == remote && state == kSynSent)
            ++pending;
    }
    return pending;
}

BlockedListener::~BlockedListener() {
    for (int fd : fillers_)
        ::close(fd);
    if (listener_ >= 0)
        ::close(listener_);
}

}  // namespace orvane::peers
