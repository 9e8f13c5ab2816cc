#include "transfer/transfer_url.h"

namespace orvane {

namespace {

constexpr std::size_t kShortestHost = 3;

}  // namespace

bool HasUnsafeUrlBytes(std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

std::optional<TransferUrl> SplitTransferUrl(std::string& url) {
    for (char& c : url)
        if (c == '\\')
            c = '/';
    url = url.substr(0, url.find('('));
    // What stood before a "(" note is the URL, without the blanks between.
    url = url.substr(0, url.find_last_not_of(' ') + 1);
    TransferUrl parts;
    std::string_view rest = url;
    if (rest.starts_with("ftp://")) {
        parts.ftp = true;
        rest.remove_prefix(6);
    } else if (rest.starts_with("http://")) {
        rest.remove_prefix(7);
    } else if (rest.starts_with("https://")) {
        parts.secure = true;
        rest.remove_prefix(8);
    } else {
        return std::nullopt;
    }
    auto slash = rest.find('/');
    if (slash == std::string_view::npos || slash < kShortestHost || HasUnsafeUrlBytes(rest))
        return std::nullopt;
    parts.host = std::string(rest.substr(0, slash));
    parts.path = std::string(rest.substr(slash));
    return parts;
}

}  // namespace orvane
