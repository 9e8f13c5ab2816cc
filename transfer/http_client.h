#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "transfer/net_address.h"
#include "transfer/proxy_route.h"
#include "transfer/wake_channel.h"

namespace orvane {

// Where one request goes: http:// or https://, the host as the URL writes it
// ("name" or "name:port") and the path with its query.
struct HttpTarget {
    bool secure = false;
    std::string host;
    std::string path;
    // An ftp:// URL asked of an HTTP proxy (GET ftp://...).
    bool ftp = false;

    int defaultPort() const { return ftp ? 21 : secure ? 443 : 80; }
    // The target as a URL: the scheme, the host, the path.
    std::string url() const;
};

// Looks the host ("name", "name:port", "[v6]:port"; defaultPort when none
// is written) up and connects to the first of its addresses that answers
// within timeoutMs each; connected receives the socket.
WaitOutcome ConnectHttpHost(const std::string& host, int defaultPort, const NameLookup& lookup,
                            WakeChannel& wake, int timeoutMs, UniqueFd& connected);

// The request for a target, exactly as sent: a GET line, the Referer (the
// file's own URL), the Host as written, the User-Agent (none when empty)
// and an empty line. Through an HTTP proxy (not a CONNECT tunnel, which
// https:// takes) the GET line names the whole URL and the proxy's
// Proxy-Authorization follows the User-Agent.
// extraFields: whole field lines (a resumed request's Range and If-Range).
std::string FormatHttpRequest(const HttpTarget& target, const std::string& userAgent,
                              const ProxyRoute& route = {}, const std::string& extraFields = "");

// The CONNECT request that opens a tunnel through the proxy to the
// target's host and port.
std::string FormatConnectRequest(const HttpTarget& target, const std::string& userAgent,
                                 const ProxyRoute& route);

// The redirect statuses that are followed: 301, 302, 303, 307 and 308.
bool IsRedirectStatus(int status);

// The target that a redirect's Location names, read against the target the
// redirect came from (an absolute http:// or https:// URL, "//host/path",
// "/path", or a path relative to the old one; a fragment is dropped, blanks
// and non-ASCII bytes are escaped). nullopt when it names no http:// or
// https:// URL with a host, when its host holds a blank, or when it holds a
// control character anywhere.
std::optional<HttpTarget> ResolveRedirect(const HttpTarget& from, std::string_view location);

}  // namespace orvane
