#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// A download's URL taken apart: the client it needs, the host as the URL
// writes it ("name", "name:port", "[v6]:port") and the path with its query.
struct TransferUrl {
    bool ftp = false;
    bool secure = false;  // https://
    std::string host;
    std::string path;
};

// True when the text holds a byte that no host, path or query may carry
// as it is: a control character (CR, LF and TAB included), DEL or a blank.
// Sent on, such a byte would end the request line or the FTP command and
// add lines of its own.
bool HasUnsafeUrlBytes(std::string_view text);

// Splits a download URL after the transfer's own rules: each backslash
// becomes a slash and the URL ends at its first "(" and the blanks before
// it (url is left so). The
// scheme is ftp://, http:// or https:// in lower case. nullopt when the
// scheme is another, no "/" follows the host, the host is shorter than
// 3 characters, or a byte of host, path or query is unsafe.
std::optional<TransferUrl> SplitTransferUrl(std::string& url);

}  // namespace orvane
