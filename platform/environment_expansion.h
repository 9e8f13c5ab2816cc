#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Looks a variable up by its exact name; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

// Replaces every %NAME% whose variable is set by its value, as
// ExpandEnvironmentStrings does: a name that is not set stays as written,
// percent signs included ("%NOPE%"), "%%" stays, and a "%" without a closing
// one stays with the rest of the text. Names are matched exactly, as this
// platform's environment is case-sensitive. Values are not expanded again.
std::string expandEnvironmentStrings(std::string_view text, const EnvironmentLookup& lookup);
// The same against the process environment.
std::string expandEnvironmentStrings(std::string_view text);

}  // namespace orvane
