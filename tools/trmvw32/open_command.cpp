#include "tools/trmvw32/open_command.h"

namespace orvane {

std::optional<std::string> parseViewerOpenCommand(std::string_view command) {
    constexpr std::string_view kPrefix = "[open(\"";
    constexpr std::string_view kSuffix = "\")]";
    while (!command.empty() && command.back() == '\0')
        command.remove_suffix(1);
    if (command.size() <= kPrefix.size() + kSuffix.size())
        return std::nullopt;
    if (command.substr(0, kPrefix.size()) != kPrefix)
        return std::nullopt;
    if (command.substr(command.size() - kSuffix.size()) != kSuffix)
        return std::nullopt;
    command.remove_prefix(kPrefix.size());
    command.remove_suffix(kSuffix.size());
    return std::string(command);
}

std::string logLineFor(const std::string& path) {
    std::string line;
    for (char c : path) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else
            line += c;
    }
    return line + "\n";
}

}  // namespace orvane
