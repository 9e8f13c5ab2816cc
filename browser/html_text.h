#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The text as HTML shows it, in an element or in a quoted attribute: "&",
// "<", ">", '"' and "'" written as character references.
std::string HtmlEscaped(std::string_view text);

}  // namespace orvane
