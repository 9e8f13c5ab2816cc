#pragma once

#include <string>
#include <string_view>

namespace orvane {

// A URL scheme's name (RFC 3986, 3.1): a letter, then letters, digits,
// "+", "-" and ".".
bool IsSchemeName(std::string_view name);

// The text with every byte that `keep` refuses written as "%XX" (capital
// hexadecimal digits).
std::string PercentEncoded(std::string_view text, bool (*keep)(char));

}  // namespace orvane
