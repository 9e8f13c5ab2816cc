#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// The file named by the viewer's DDE command [open("PATH")]; nullopt for
// any other command: another verb, a missing quote, parenthesis or bracket,
// an empty path, or text after the closing bracket (the NUL bytes that end
// a DDE text are allowed).
std::optional<std::string> parseViewerOpenCommand(std::string_view command);

// The log line for a path: the path itself, with CR and LF written as the
// two characters \r and \n so that one file is always one line.
std::string logLineFor(const std::string& path);

}  // namespace orvane
