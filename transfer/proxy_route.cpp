#include "transfer/proxy_route.h"

#include <gio/gio.h>

#include <memory>
#include <mutex>

#include "transfer/net_address.h"

namespace orvane {

namespace {

constexpr int kDefaultProxyPort = 8080;

struct GFreeDeleter {
    void operator()(gchar* text) const { g_free(text); }
};

std::string Unescaped(std::string_view text) {
    std::unique_ptr<gchar, GFreeDeleter> plain(
        g_uri_unescape_segment(text.data(), text.data() + text.size(), nullptr));
    return plain ? std::string(plain.get()) : std::string(text);
}

std::string BasicCredentials(std::string_view userInfo) {
    std::size_t colon = userInfo.find(':');
    std::string pair = Unescaped(userInfo.substr(0, colon));
    pair += ":";
    if (colon != std::string_view::npos)
        pair += Unescaped(userInfo.substr(colon + 1));
    std::unique_ptr<gchar, GFreeDeleter> encoded(
        g_base64_encode(reinterpret_cast<const guchar*>(pair.data()), pair.size()));
    return "Basic " + std::string(encoded.get());
}

}  // namespace

ProxyRoute ParseProxyUri(std::string_view uri) {
    ProxyRoute route;
    std::size_t schemeEnd = uri.find("://");
    route.scheme = std::string(uri.substr(0, schemeEnd));
    if (route.scheme == "direct")
        return route;
    route.kind = ProxyRoute::Kind::Unusable;
    if (route.scheme != "http" || schemeEnd == std::string_view::npos)
        return route;
    std::string_view authority = uri.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find('/'));
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        route.authorization = BasicCredentials(authority.substr(0, at));
        authority.remove_prefix(at + 1);
    }
    auto hostPort = SplitHostPort(authority, kDefaultProxyPort);
    if (!hostPort)
        return route;
    bool v6 = hostPort->name.find(':') != std::string::npos;
    route.host =
        (v6 ? "[" + hostPort->name + "]" : hostPort->name) + ":" + std::to_string(hostPort->port);
    route.kind = ProxyRoute::Kind::Http;
    return route;
}

void PrepareSystemProxyLookup() {
    static const bool prepared = [] {
        GProxyResolver* resolver = g_proxy_resolver_get_default();
        return resolver != nullptr && g_proxy_resolver_is_supported(resolver);
    }();
    (void)prepared;
}

std::vector<std::string> SystemProxyLookup(const std::string& url) {
    // One lookup at a time: the resolver's lazily made state is then handed
    // from one helper thread to the next through this lock, which the
    // thread checker sees (GLib's own locks it cannot).
    static std::mutex oneAtATime;
    std::lock_guard guard(oneAtATime);
    std::vector<std::string> answers;
    GError* error = nullptr;
    gchar** proxies =
        g_proxy_resolver_lookup(g_proxy_resolver_get_default(), url.c_str(), nullptr, &error);
    if (proxies == nullptr) {
        g_clear_error(&error);
        return answers;
    }
    for (gchar** proxy = proxies; *proxy != nullptr; ++proxy)
        answers.emplace_back(*proxy);
    g_strfreev(proxies);
    return answers;
}

ProxyRoute ChooseProxyRoute(const std::vector<std::string>& answers) {
    return answers.empty() ? ProxyRoute{} : ParseProxyUri(answers.front());
}

std::string UnusableProxyText(const ProxyRoute& route) {
    return "Proxy Error: a " + route.scheme + " proxy cannot be used";
}

}  // namespace orvane
