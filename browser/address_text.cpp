#include "browser/address_text.h"

#include <array>
#include <cctype>
#include <string_view>

namespace orvane {

namespace {
// Schemes written without "//" after the colon.
constexpr std::array<std::string_view, 5> kOpaqueSchemes = {
    "about:", "data:", "file:", "javascript:", "mailto:"};

std::string trimmed(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// "name://" with a scheme name made of letters, digits, "+", "-" and ".".
bool hasHierarchicalScheme(std::string_view text) {
    auto colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char c : text.substr(0, colon))
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}
}  // namespace

std::string CompleteAddress(const std::string& typed) {
    std::string text = trimmed(typed);
    if (text.empty() || hasHierarchicalScheme(text))
        return text;
    for (std::string_view scheme : kOpaqueSchemes)
        if (startsWithNoCase(text, scheme))
            return text;
    if (text.front() == '/')
        return "file://" + text;
    // A host alone gets the root path, as the address box shows it after
    // the page has loaded.
    if (text.find_first_of("/?#") == std::string::npos)
        text += '/';
    return "http://" + text;
}

}  // namespace orvane
