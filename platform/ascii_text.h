#pragma once

#include <string>
#include <string_view>

namespace orvane {

// Character classes and case folding of ASCII alone, whatever the locale:
// protocol words, header names, host names, drive letters and registry keys
// compare this way, and a byte above 0x7F is never a letter here.
constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isAsciiAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
constexpr bool isAsciiAlnum(char c) {
    return isAsciiAlpha(c) || isAsciiDigit(c);
}
constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string asciiLowered(std::string_view text);
std::string asciiUppered(std::string_view text);
// The same texts but for the case of their ASCII letters.
bool equalIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace orvane
