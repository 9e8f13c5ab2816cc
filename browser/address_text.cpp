#include "browser/address_text.h"

#include <array>
#include <string_view>

#include "platform/ascii_text.h"
#include "transfer/url_text.h"

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

// "name://" with a scheme name made of letters, digits, "+", "-" and ".".
bool hasHierarchicalScheme(std::string_view text) {
    auto colon = text.find("://");
    return colon != std::string_view::npos && IsSchemeName(text.substr(0, colon));
}
}  // namespace

std::string CompleteAddress(const std::string& typed) {
    std::string text = trimmed(typed);
    if (text.empty() || hasHierarchicalScheme(text))
        return text;
    for (std::string_view scheme : kOpaqueSchemes)
        if (startsWithIgnoringCase(text, scheme))
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
