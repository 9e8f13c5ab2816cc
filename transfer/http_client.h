#pragma once

#include <string>

#include "transfer/net_address.h"
#include "transfer/wake_channel.h"

namespace orvane {

// Binds the socket to any local address and port 0; nonzero on failure.
int BindAnyPort(int socket);

// Looks the host ("name" or "name:port", port 80 by default) up and connects
// the socket to its first address.
WaitOutcome ConnectHttpHost(int socket, const std::string& host, const NameLookup& lookup,
                            WakeChannel& wake);

// The request for a path on a host, exactly as sent: a GET line, the
// Referer (the file's own URL), the Host as written, and an empty line.
std::string FormatHttpRequest(const std::string& host, const std::string& path);

}  // namespace orvane
