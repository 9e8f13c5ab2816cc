#include "transfer/url_text.h"

#include <algorithm>

#include "platform/ascii_text.h"

namespace orvane {

bool IsSchemeName(std::string_view name) {
    return !name.empty() && isAsciiAlpha(name[0]) &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return isAsciiAlnum(c) || c == '+' || c == '-' || c == '.'; });
}

std::string PercentEncoded(std::string_view text, bool (*keep)(char)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : text) {
        if (keep(c)) {
            encoded += c;
            continue;
        }
        auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 15];
    }
    return encoded;
}

}  // namespace orvane
