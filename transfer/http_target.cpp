// Where an HTTP request goes, what it says, and where a redirect leads.
#include <vector>

#include "platform/ascii_text.h"
#include "transfer/http_client.h"
#include "transfer/transfer_url.h"
#include "transfer/url_text.h"

namespace orvane {

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// "name:" before any "/", "?" or "#": a URL of some scheme, followed or not.
bool HasScheme(std::string_view location) {
    std::size_t colon = location.find(':');
    if (colon == std::string_view::npos || colon > location.find_first_of("/?#"))
        return false;
    return IsSchemeName(location.substr(0, colon));
}

// "host[:port]" and what follows it; false when there is no usable host.
bool TakeAuthority(std::string_view rest, HttpTarget& target) {
    std::size_t end = rest.find_first_of("/?");
    std::string_view host = rest.substr(0, end);
    if (host.find('@') != std::string_view::npos || HasUnsafeUrlBytes(host) ||
        !SplitHostPort(host, target.defaultPort()))
        return false;
    target.host = std::string(host);
    std::string_view path = end == std::string_view::npos ? "" : rest.substr(end);
    target.path = path.empty() || path[0] == '?' ? "/" + std::string(path) : std::string(path);
    return true;
}

// The path without "." and ".." segments, the query kept as it is.
std::string WithoutDotSegments(std::string_view path) {
    std::size_t queryAt = std::min(path.find('?'), path.size());
    std::string_view query = path.substr(queryAt);
    std::string_view rest = path.substr(1, queryAt - 1);
    std::vector<std::string_view> segments;
    bool folder = false;
    for (;;) {
        std::size_t slash = rest.find('/');
        std::string_view segment = rest.substr(0, slash);
        folder = segment == "." || segment == "..";
        if (segment == ".." && !segments.empty())
            segments.pop_back();
        if (!folder)
            segments.push_back(segment);
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    std::string result;
    for (std::string_view segment : segments)
        result += "/" + std::string(segment);
    if (result.empty() || (folder && result.back() != '/'))
        result += "/";
    return result + std::string(query);
}

bool HasControlBytes(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

// Bytes a request line cannot carry (blanks, controls, non-ASCII) as %XX.
std::string Escaped(std::string_view path) {
    return PercentEncoded(path, [](char c) { return c > 0x20 && c < 0x7F; });
}

// The folder of a path, up to and with its last slash (the query left out).
std::string FolderOf(std::string_view path) {
    path = path.substr(0, path.find('?'));
    return std::string(path.substr(0, path.rfind('/') + 1));
}

}  // namespace

std::string HttpTarget::url() const {
    return std::string(ftp ? "ftp://" : secure ? kHttps : kHttp) + host + path;
}

namespace {

std::string FieldLine(const char* name, const std::string& value) {
    return value.empty() ? "" : std::string(name) + ": " + value + "\r\n";
}

}  // namespace

std::string FormatHttpRequest(const HttpTarget& target, const std::string& userAgent,
                              const ProxyRoute& route, const std::string& extraFields) {
    bool absolute = route.kind == ProxyRoute::Kind::Http && !target.secure;
    return "GET " + (absolute ? target.url() : target.path) + " HTTP/1.1\r\n" +
           "Referer: " + target.url() + "\r\n" + "Host: " + target.host + "\r\n" +
           FieldLine("User-Agent", userAgent) +
           (absolute ? FieldLine("Proxy-Authorization", route.authorization) : "") + extraFields +
           "\r\n";
}

std::string FormatConnectRequest(const HttpTarget& target, const std::string& userAgent,
                                 const ProxyRoute& route) {
    auto hostPort = SplitHostPort(target.host, target.defaultPort());
    std::string name = hostPort ? hostPort->name : target.host;
    bool v6 = name.find(':') != std::string::npos;
    std::string authority = (v6 ? "[" + name + "]" : name) + ":" +
                            std::to_string(hostPort ? hostPort->port : target.defaultPort());
    return "CONNECT " + authority + " HTTP/1.1\r\n" + "Host: " + authority + "\r\n" +
           FieldLine("User-Agent", userAgent) +
           FieldLine("Proxy-Authorization", route.authorization) + "\r\n";
}

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<HttpTarget> ResolveRedirect(const HttpTarget& from, std::string_view location) {
    if (HasControlBytes(location))
        return std::nullopt;
    location = location.substr(0, location.find('#'));
    HttpTarget target = from;
    bool named = true;
    if (startsWithIgnoringCase(location, kHttp) || startsWithIgnoringCase(location, kHttps)) {
        target.secure = startsWithIgnoringCase(location, kHttps);
        target.ftp = false;
        named =
            TakeAuthority(location.substr(target.secure ? kHttps.size() : kHttp.size()), target);
    } else if (location.starts_with("//")) {
        named = TakeAuthority(location.substr(2), target);
    } else if (location.empty() || HasScheme(location)) {
        named = false;  // the same page again, or a scheme this client does not speak
    } else if (location[0] == '/') {
        target.path = std::string(location);
    } else if (location[0] == '?') {
        target.path = from.path.substr(0, from.path.find('?')) + std::string(location);
    } else {
        target.path = FolderOf(from.path) + std::string(location);
    }
    if (!named)
        return std::nullopt;
    target.path = Escaped(WithoutDotSegments(target.path));
    return target;
}

}  // namespace orvane
