#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"
#include "transfer/wake_channel.h"

namespace orvane {

// A host as written in a URL: "name", "name:port", "[v6-address]" or
// "[v6-address]:port"; name holds an IPv6 address without its brackets.
struct HostPort {
    std::string name;
    int port = 0;
};

// Splits a host as written in a URL; a host without a port gets
// defaultPort. nullopt when the port is not a number from 1 to 65535, the
// name is empty, or brackets hold no IPv6 address.
std::optional<HostPort> SplitHostPort(std::string_view host, int defaultPort);

// One IPv4 or IPv6 address of a host, with a port once it is known.
struct NetAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    // The address without the port: "127.0.0.1", "::1".
    std::string text() const;
    // The same address with another port.
    NetAddress WithPort(int port) const;
    // The same host: family and address alike (ports aside).
    bool SameHost(const NetAddress& other) const;
};

// The address a socket call filled in (accept, getpeername, getsockname).
NetAddress AddressFrom(const sockaddr_storage& storage, socklen_t length);
// A dotted IPv4 or an IPv6 address as text; nullopt for a name.
std::optional<NetAddress> ParseAddressLiteral(const std::string& text);

// Looks a host name up: its addresses, IPv4 and IPv6, in the order the
// system's resolver gives them (RFC 6724); empty when it has none.
using NameLookup = std::function<std::vector<NetAddress>(const std::string& name)>;
std::vector<NetAddress> SystemNameLookup(const std::string& name);

enum class WaitOutcome { Done, Failed, Stopped };

// Runs work on a helper thread of its own and waits for its end on the wake
// channel: Stopped at once on a stop request, for calls that cannot be
// interrupted (the system resolver, the proxy resolver). The helper is then
// left to finish by itself, so work must own everything it touches.
WaitOutcome RunAbandonable(std::function<void()> work, WakeChannel& wake);

// An address literal is its own answer; a name is looked up on a helper
// thread of its own so that a stop request abandons the lookup at once: the
// system resolver cannot be interrupted, so the helper is left to finish by
// itself and its answer is dropped.
WaitOutcome LookUpHost(const std::string& name, const NameLookup& lookup, WakeChannel& wake,
                       std::vector<NetAddress>& addresses);

// Connects a socket, waiting on the wake channel so that a stop request
// ends the wait at once; Failed on refusal or after timeoutMs (-1: no
// limit). The socket is left non-blocking.
WaitOutcome ConnectSocket(int socket, const NetAddress& peer, WakeChannel& wake,
                          int timeoutMs = -1);

// Tries the addresses in their order, each connect bounded by timeoutMs,
// and takes the first that answers: the next one is tried after a refusal
// or a time-out. connected receives the socket.
WaitOutcome ConnectToFirstAnswering(const std::vector<NetAddress>& addresses, int port,
                                    WakeChannel& wake, int timeoutMs, UniqueFd& connected);

// How long one address may take to accept a connection before the next
// one is tried.
inline constexpr int kConnectTimeoutMs = 5000;

// Makes a descriptor non-blocking; false when it cannot.
bool SetNonBlocking(int fd);

}  // namespace orvane
