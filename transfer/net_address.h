#pragma once

#include <netinet/in.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "transfer/wake_channel.h"

namespace orvane {

// A host as written in a URL: "name" or "name:port".
struct HostPort {
    std::string name;
    int port = 0;
};

// Splits "name:port"; a host without a port gets defaultPort. nullopt when
// the port is not a number from 1 to 65535 or the name is empty.
std::optional<HostPort> SplitHostPort(std::string_view host, int defaultPort);

// Finds the first IPv4 address of a host name.
using NameLookup = std::function<std::optional<in_addr>(const std::string& name)>;
std::optional<in_addr> SystemNameLookup(const std::string& name);

enum class WaitOutcome { Done, Failed, Stopped };

// Looks the name up on a helper thread of its own so that a stop request
// abandons the lookup at once: the system resolver cannot be interrupted,
// so the helper is left to finish by itself and its answer is dropped.
WaitOutcome LookUpHost(const std::string& name, const NameLookup& lookup, WakeChannel& wake,
                       in_addr& address);

// Connects a socket, waiting on the wake channel so that a stop request
// ends the wait. The socket is left non-blocking.
WaitOutcome ConnectSocket(int socket, const sockaddr_in& peer, WakeChannel& wake);

sockaddr_in Ipv4Address(in_addr address, int port);
// Makes a descriptor non-blocking; false when it cannot.
bool SetNonBlocking(int fd);

}  // namespace orvane
