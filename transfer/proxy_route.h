#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// How a request reaches its server: directly, through an HTTP proxy, or not
// at all (a proxy of a kind this engine cannot use is never bypassed).
struct ProxyRoute {
    enum class Kind { Direct, Http, Unusable };
    Kind kind = Kind::Direct;
    // The proxy's host as a URL writes it: "name:port", "[v6]:port".
    std::string host;
    // The value of Proxy-Authorization ("Basic ..." from the proxy URL's
    // user:password); empty when the URL names no user.
    std::string authorization;
    // The proxy's scheme ("http", "socks5", ...), for the texts.
    std::string scheme;
};

// Reads one answer of the proxy resolver: "direct://",
// "http://[user:password@]host[:port]" (port 8080 when none is written,
// user and password %-decoded), or any other scheme, which is Unusable.
ProxyRoute ParseProxyUri(std::string_view uri);

// Asks the resolver for the proxies of a URL, in the order to use them.
using ProxyLookup = std::function<std::vector<std::string>(const std::string& url)>;
// GIO's GProxyResolver, as WebKit asks it for the pages: the desktop's proxy
// settings, else http_proxy, https_proxy, ftp_proxy and no_proxy. A failed
// lookup is no proxy.
std::vector<std::string> SystemProxyLookup(const std::string& url);
// Makes GIO's resolver (its modules, its types, its settings) on the calling
// thread, the one that starts the transfers, so that the lookups on the
// transfers' own threads only use what was made before those threads began.
void PrepareSystemProxyLookup();

// The route of a URL: its first answer decides; none is Direct.
ProxyRoute ChooseProxyRoute(const std::vector<std::string>& answers);

// The text that ends a transfer for an Unusable route.
std::string UnusableProxyText(const ProxyRoute& route);

}  // namespace orvane
